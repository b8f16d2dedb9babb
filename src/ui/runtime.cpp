#include "ui/runtime.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "services/message_box.h"
#include "services/process.h"

namespace quillane::ui {
namespace {

std::atomic<Runtime*> g_current{nullptr};

int Idx(WindowId w) { return static_cast<int>(w); }

bool ValidWindow(int w) { return w >= 0 && w < kWindowCount; }

bool IsAsking(EventKind kind) {
  return kind == EventKind::MayClose || kind == EventKind::PageChanging;
}

}  // namespace

Runtime::Runtime(std::unique_ptr<Backend> backend)
    : backend_(std::move(backend)), mainThread_(std::this_thread::get_id()) {
  g_current.store(this);
  backend_->Attach(*this);
}

Runtime::~Runtime() {
  std::deque<std::shared_ptr<PendingCall>> left;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    closing_ = true;
    left.swap(queue_);
  }
  // Waiting callers get their fallback results; nothing of theirs runs.
  for (auto& call : left) {
    std::lock_guard<std::mutex> lock(call->m);
    call->done = true;
    call->cv.notify_all();
  }
  for (auto& w : windows_) {
    if (w && w->exists) {
      backend_->Destroy(*w);
      w->exists = false;
    }
  }
  Runtime* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

Runtime* Runtime::Current() { return g_current.load(); }

void Runtime::BindHandler(std::string_view name, Handler handler) {
  OnMain([&] { handlers_[std::string(name)] = std::move(handler); });
}

std::vector<Text> Runtime::UnboundHandlers() {
  return OnMain<std::vector<Text>>(
      [&] {
        std::set<Text> unbound;
        auto check = [&](const std::vector<EventBinding>& bindings) {
          for (const EventBinding& b : bindings) {
            auto it = handlers_.find(std::string_view(b.handler));
            if (it == handlers_.end() || !it->second) unbound.insert(b.handler);
          }
        };
        for (WindowId w : {WindowId::Main, WindowId::Settings}) {
          const WindowDef& def = GetWindowDef(w);
          check(def.events);
          for (const ControlDef& c : def.controls) check(c.events);
        }
        return std::vector<Text>(unbound.begin(), unbound.end());
      },
      {});
}

void Runtime::SetErrorHook(ErrorHook hook) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  errorHook_ = std::move(hook);
}

// --- Calls from other threads ----------------------------------------------

bool Runtime::Dispatch(std::function<void()> fn) {
  auto call = std::make_shared<PendingCall>();
  call->run = std::move(fn);
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (closing_) return false;
    queue_.push_back(call);
  }
  backend_->Wake();
  std::unique_lock<std::mutex> lock(call->m);
  call->cv.wait(lock, [&] { return call->done; });
  return true;
}

void Runtime::OnMain(std::function<void()> fn) {
  if (OnMainThread()) {
    fn();
    return;
  }
  Dispatch(std::move(fn));
}

void Runtime::RunPendingCalls() {
  if (!OnMainThread()) return;
  for (;;) {
    std::shared_ptr<PendingCall> call;
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      if (queue_.empty()) return;
      call = queue_.front();
      queue_.pop_front();
    }
    call->run();
    std::lock_guard<std::mutex> lock(call->m);
    call->done = true;
    call->cv.notify_all();
  }
}

// --- Run-time errors ---------------------------------------------------------

Text Runtime::ErrorReportText(bool hasCode, int code, std::string_view message, int window,
                              std::string_view control) {
  Text t = "运行时出错!\r\n";
  if (hasCode) t += "\r\n错误代码：" + std::to_string(code) + "\r\n";
  if (!message.empty()) {
    t += "\r\n错误信息：";
    t += message;
    t += "\r\n";
  }
  int windowNumber = 0, controlNumber = 0;
  int controlIndex = -1;
  if (window >= 0) {
    windowNumber = window + 1;
    if (ValidWindow(window) && !control.empty()) {
      controlIndex = FindControl(GetWindowDef(static_cast<WindowId>(window)), control);
      controlNumber = controlIndex + 1;
    }
  }
  t += "\r\n" + std::to_string(windowNumber) + ", " + std::to_string(controlNumber);
  if (window >= 0) {
    if (!ValidWindow(window)) {
      t += "\r\n未找到所指定的窗口";
    } else {
      t += "\r\n\"";
      t += GetWindowDef(static_cast<WindowId>(window)).name;
      t += "\"";
      if (!control.empty()) {
        if (controlIndex >= 0) {
          t += "\r\n\"";
          t += control;
          t += "\"";
        } else {
          t += "\r\n未找到所指定的窗口组件";
        }
      }
    }
  }
  t += "\r\n";
  return t;
}

void Runtime::RaiseError(std::string_view message, int window, std::string_view control,
                         bool hasCode, int code) {
  RuntimeError e;
  e.hasCode = hasCode;
  e.code = code;
  e.message = Text(message);
  e.window = window;
  e.control = Text(control);
  e.report = ErrorReportText(hasCode, code, message, window, control);
  ErrorHook hook;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    hook = errorHook_;
  }
  if (hook) {
    hook(e);
    return;
  }
  ShowMessageBox(e.report, kMbIconError, "错误", 0);
  EndProgram(-1);
}

// --- Finding windows and controls -------------------------------------------

std::shared_ptr<WindowState> Runtime::OpenWindow(WindowId id) const {
  const int i = Idx(id);
  if (!ValidWindow(i) || !windows_[i] || !windows_[i]->exists) return nullptr;
  return windows_[i];
}

std::shared_ptr<WindowState> Runtime::Live(WindowState& win) const {
  std::shared_ptr<WindowState> keep = OpenWindow(win.id);
  return keep.get() == &win ? keep : nullptr;
}

bool Runtime::AnyOpen() const {
  return std::any_of(std::begin(windows_), std::end(windows_),
                     [](const auto& w) { return w && w->exists; });
}

Runtime::Target Runtime::Find(WindowId w, std::string_view name, Access access,
                              std::optional<Kind> kind) {
  const int i = Idx(w);
  if (!ValidWindow(i)) {
    RaiseError(kErrNoSuchControl, i, name);
    return {};
  }
  std::shared_ptr<WindowState> win = OpenWindow(w);
  if (!win) {
    std::string_view msg = kErrNoSuchControl;
    switch (access) {
      case Access::Property:
        msg = kErrWindowNotOpen;
        break;
      case Access::KindRead:
        msg = everLoaded_[i] ? kErrWindowNotOpen : kErrReadNotCreated;
        break;
      case Access::KindWrite:
        msg = everLoaded_[i] ? kErrWindowNotOpen : kErrWriteNotCreated;
        break;
      case Access::Operation:
        break;
    }
    RaiseError(msg, i, name);
    return {};
  }
  if (name.empty()) return {win, nullptr};
  ControlState* c = win->Find(name);
  if (c == nullptr || (kind && c->def->kind != *kind)) {
    RaiseError(kErrNoSuchControl, i, name);
    return {};
  }
  return {win, c};
}

// --- Events ----------------------------------------------------------------

bool Runtime::Raise(const std::shared_ptr<WindowState>& win, ControlState* ctl, EventKind kind,
                    int a0, int a1, int a2) {
  if (!win->exists) return true;
  const std::vector<EventBinding>& bindings = ctl != nullptr ? ctl->def->events : win->def->events;
  auto b = std::find_if(bindings.begin(), bindings.end(),
                        [&](const EventBinding& e) { return e.event == kind; });
  if (b == bindings.end()) return true;  // no handler for this event: an asking event allows
  auto it = handlers_.find(std::string_view(b->handler));
  if (it == handlers_.end() || !it->second) return AnswerUnbound(*win, ctl, kind, b->handler);
  Handler h = it->second;  // a copy: the handler may rebind its own name
  Event e{win->id, ctl != nullptr ? Text(ctl->def->name) : Text(), kind, {a0, a1, a2}};
  return h(e);
}

// A handler name of the definitions that nothing is bound to. An asking
// event cannot make its answer up: it answers false and the slip is reported
// as a run-time error. The other events pass silently, so that the logic of
// one window runs (and is tested) without the other window's handlers.
bool Runtime::AnswerUnbound(const WindowState& win, const ControlState* ctl, EventKind kind,
                            std::string_view handler) {
  if (!IsAsking(kind)) return true;
  RaiseError(Text(kErrUnboundHandler) + Text(handler), Idx(win.id),
             ctl != nullptr ? ctl->def->name : "");
  return false;
}

// --- Windows ---------------------------------------------------------------

bool Runtime::LoadWindow(WindowId id, std::uintptr_t owner) {
  return OnMain<bool>(
      [&]() -> bool {
        const int i = Idx(id);
        if (!ValidWindow(i)) return false;
        if (std::shared_ptr<WindowState> open = OpenWindow(id)) {
          backend_->BringToFront(*open);
          return true;
        }
        const WindowDef& def = GetWindowDef(id);
        const Place screen = backend_->Screen();
        std::shared_ptr<WindowState> win = std::make_shared<WindowState>(
            MakeWindowState(def, owner,
                            {(screen.width - def.width) / 2, (screen.height - def.height) / 2,
                             def.width, def.height}));
        if (!backend_->Create(*win)) return false;
        win->exists = true;
        windows_[i] = win;
        everLoaded_[i] = true;
        Raise(win, nullptr, EventKind::Created);
        if (win->exists) Raise(win, nullptr, EventKind::Moved);
        if (win->exists) Raise(win, nullptr, EventKind::Resized);
        if (!win->exists) return false;
        if (def.visible) {
          backend_->Show(*win);
          win->shown = true;
        }
        return true;
      },
      false);
}

bool Runtime::IsOpen(WindowId id) {
  return OnMain<bool>([&] { return OpenWindow(id) != nullptr; }, false);
}

void Runtime::Destroy(const std::shared_ptr<WindowState>& win) {
  if (!win->exists) return;
  Raise(win, nullptr, EventKind::Destroying);
  if (!win->exists) return;
  backend_->Destroy(*win);
  win->exists = false;
  win->shown = false;
  const int i = Idx(win->id);
  if (windows_[i] == win) windows_[i].reset();
  if (!AnyOpen() && looping_) backend_->QuitLoop();
}

bool Runtime::CloseWindow(WindowId id) {
  return OnMain<bool>(
      [&] {
        std::shared_ptr<WindowState> win = OpenWindow(id);
        return win && UserCloseRequest(*win);
      },
      false);
}

int Runtime::RunMessageLoop() {
  if (!OnMainThread()) return -1;
  if (!AnyOpen()) return 0;
  looping_ = true;
  const int rc = backend_->RunLoop();
  looping_ = false;
  return rc;
}

bool Runtime::SetCurrentPage(const Target& t, int page, bool byUser) {
  ControlState& c = *t.ctl;
  if (page < 0 || page >= static_cast<int>(c.pages.size()) || !c.pages[page].Selectable()) {
    return false;
  }
  if (page == c.currentPage) return false;
  if (!byUser) {
    if (!Raise(t.win, &c, EventKind::PageChanging, page)) return false;
    if (!t.win->exists) return false;
  }
  c.currentPage = page;
  backend_->Update(*t.win, c, Change::CurrentPage);
  Raise(t.win, &c, EventKind::PageChanged);
  return true;
}

// --- User input ----------------------------------------------------------------

void Runtime::UserTextChanged(WindowState& win, int control, const Text& text) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep) return;
  ControlState& c = win.controls[control];
  c.text = text;
  if (c.def->kind == Kind::EditBox) Raise(keep, &c, EventKind::TextChanged);
}

void Runtime::UserClicked(WindowState& win, int control) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep || !win.controls[control].enabled) return;
  Raise(keep, &win.controls[control], EventKind::Clicked);
}

void Runtime::UserToolButton(WindowState& win, int control, int button) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep) return;
  ControlState& c = win.controls[control];
  if (button < 0 || button >= static_cast<int>(c.buttons.size())) return;
  const ButtonState& b = c.buttons[button];
  if (b.separator || (b.state & (kDisabled | kHidden)) != 0) return;
  Raise(keep, &c, EventKind::ButtonClicked, button);
}

bool Runtime::UserPageChanging(WindowState& win, int control, int page) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep) return false;
  ControlState& c = win.controls[control];
  if (page < 0 || page >= static_cast<int>(c.pages.size()) || !c.pages[page].Selectable()) {
    return false;
  }
  return Raise(keep, &c, EventKind::PageChanging, page);
}

void Runtime::UserPageChanged(WindowState& win, int control, int page) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (keep) SetCurrentPage({keep, &win.controls[control]}, page, true);
}

void Runtime::UserRowState(WindowState& win, int control, int row, bool selected, bool focused) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep) return;
  ControlState& c = win.controls[control];
  if (row < 0 || row >= static_cast<int>(c.rows.size())) {
    if (!selected) c.selectedRow = -1;  // a click beside the rows clears the selection
    return;
  }
  if (selected)
    c.selectedRow = row;
  else if (c.selectedRow == row)
    c.selectedRow = -1;
  if (focused && c.focusedRow != row) {
    c.focusedRow = row;
    Raise(keep, &c, EventKind::RowChanged);
  } else if (!focused && c.focusedRow == row) {
    c.focusedRow = -1;
  }
}

void Runtime::UserComboSelected(WindowState& win, int control, int index) {
  if (!Live(win)) return;
  ControlState& c = win.controls[control];
  if (index >= -1 && index < static_cast<int>(c.items.size())) c.currentIndex = index;
}

bool Runtime::UserCloseRequest(WindowState& win) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep || !Raise(keep, nullptr, EventKind::MayClose)) return false;
  Destroy(keep);
  return true;
}

void Runtime::UserMovedOrResized(WindowState& win, bool moved, bool resized) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep) return;
  if (moved) Raise(keep, nullptr, EventKind::Moved);
  if (resized && keep->exists) Raise(keep, nullptr, EventKind::Resized);
}

void Runtime::UserEvent(WindowState& win, int control, EventKind kind, int a0, int a1, int a2) {
  std::shared_ptr<WindowState> keep = Live(win);
  if (!keep || control < 0 || control >= static_cast<int>(win.controls.size())) return;
  Raise(keep, &win.controls[control], kind, a0, a1, a2);
}

// --- The logic's window operations on the current runtime -----------------------

namespace {
template <typename R, typename F>
R WithRuntime(R fallback, F&& f) {
  Runtime* rt = Runtime::Current();
  return rt != nullptr ? f(*rt) : fallback;
}
}  // namespace

bool LoadWindow(WindowId id, std::uintptr_t owner,
                bool /*modal: the program loads every window modeless*/) {
  return WithRuntime(false, [&](Runtime& r) { return r.LoadWindow(id, owner); });
}
bool IsWindowOpen(WindowId id) {
  return WithRuntime(false, [&](Runtime& r) { return r.IsOpen(id); });
}
bool CloseWindow(WindowId id) {
  return WithRuntime(false, [&](Runtime& r) { return r.CloseWindow(id); });
}
std::uintptr_t WindowHandle(WindowId id) { return Control(id, {}).Handle(); }
int ClientWidth(WindowId id) { return Control(id, {}).ClientWidth(); }
int ClientHeight(WindowId id) { return Control(id, {}).ClientHeight(); }
int RunMessageLoop() {
  return WithRuntime(0, [&](Runtime& r) { return r.RunMessageLoop(); });
}
void RaiseRuntimeError(std::string_view message, bool hasCode, int code) {
  if (Runtime* r = Runtime::Current()) {
    r->OnMain([&] { r->RaiseError(message, -1, {}, hasCode, code); });
  }
}

void BindHandler(std::string_view name, Handler handler) {
  if (Runtime* r = Runtime::Current()) r->BindHandler(name, std::move(handler));
}
void BindHandler(std::string_view name, std::function<void()> handler) {
  BindHandler(name, Handler([h = std::move(handler)](const Event&) {
                h();
                return true;
              }));
}
void BindHandler(std::string_view name, std::function<void(int)> handler) {
  BindHandler(name, Handler([h = std::move(handler)](const Event& e) {
                h(e.args[0]);
                return true;
              }));
}
void BindAskingHandler(std::string_view name, std::function<bool()> handler) {
  BindHandler(name, Handler([h = std::move(handler)](const Event&) { return h(); }));
}

}  // namespace quillane::ui

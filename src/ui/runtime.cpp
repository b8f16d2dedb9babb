#include "ui/runtime.h"

#include <algorithm>
#include <atomic>

#include "services/message_box.h"
#include "services/process.h"

namespace quillane::ui {
namespace {

std::atomic<Runtime*> g_current{nullptr};

int Idx(WindowId w) { return static_cast<int>(w); }

bool ValidWindow(int w) { return w >= 0 && w < kWindowCount; }

const std::vector<EventBinding>& BindingsOf(const WindowState& win, const ControlState* ctl) {
  return ctl != nullptr ? ctl->def->events : win.def->events;
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

void Runtime::RaiseError(std::string_view message, int window, std::string_view control, bool hasCode, int code) {
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

Runtime::Target Runtime::Find(WindowId w, std::string_view name, Access access, int kind) {
  const int i = Idx(w);
  if (!ValidWindow(i)) {
    RaiseError(kErrNoSuchControl, i, name);
    return {};
  }
  const std::shared_ptr<WindowState>& win = windows_[i];
  if (!win || !win->exists) {
    std::string_view msg = kErrNoSuchControl;
    switch (access) {
      case Access::Property: msg = kErrWindowNotOpen; break;
      case Access::KindRead: msg = everLoaded_[i] ? kErrWindowNotOpen : kErrReadNotCreated; break;
      case Access::KindWrite: msg = everLoaded_[i] ? kErrWindowNotOpen : kErrWriteNotCreated; break;
      case Access::Operation: break;
    }
    RaiseError(msg, i, name);
    return {};
  }
  if (name.empty()) return {win, nullptr};
  ControlState* c = win->Find(name);
  if (c == nullptr || (kind >= 0 && static_cast<int>(c->def->kind) != kind)) {
    RaiseError(kErrNoSuchControl, i, name);
    return {};
  }
  return {win, c};
}

// --- Events ----------------------------------------------------------------

bool Runtime::Raise(const std::shared_ptr<WindowState>& win, ControlState* ctl, EventKind kind, int a0, int a1,
                    int a2) {
  if (!win->exists) return true;
  for (const auto& b : BindingsOf(*win, ctl)) {
    if (b.event != kind) continue;
    auto it = handlers_.find(std::string_view(b.handler));
    if (it == handlers_.end() || !it->second) return true;
    Handler h = it->second;  // a copy: the handler may rebind its own name
    Event e;
    e.window = win->id;
    if (ctl != nullptr) e.control = ctl->def->name;
    e.kind = kind;
    e.args[0] = a0;
    e.args[1] = a1;
    e.args[2] = a2;
    return h(e);
  }
  return true;
}

// --- Windows ---------------------------------------------------------------

bool Runtime::LoadWindow(WindowId id, std::uintptr_t owner) {
  return OnMain<bool>(
      [&]() -> bool {
        const int i = Idx(id);
        if (!ValidWindow(i)) return false;
        if (windows_[i] && windows_[i]->exists) {
          backend_->BringToFront(*windows_[i]);
          return true;
        }
        const WindowDef& def = GetWindowDef(id);
        auto win = std::make_shared<WindowState>();
        win->id = id;
        win->def = &def;
        win->owner = owner;
        const Place screen = backend_->Screen();
        win->place = {(screen.width - def.width) / 2, (screen.height - def.height) / 2, def.width, def.height};
        win->controls.resize(def.controls.size());
        for (std::size_t k = 0; k < def.controls.size(); ++k) {
          const ControlDef& d = def.controls[k];
          ControlState& c = win->controls[k];
          c.def = &d;
          c.index = static_cast<int>(k);
          c.place = {d.left, d.top, d.width, d.height};
          c.enabled = !d.disabled;
          c.text = d.text;
          for (const char* item : d.items) c.items.emplace_back(item);
          c.currentIndex = d.initialIndex;
          for (std::size_t p = 0; p < d.pages.size(); ++p) {
            const PageDef& pd = d.pages[p];
            c.pages.push_back({pd.caption, pd.visible, pd.selectable, pd.removable, -1, static_cast<int>(p)});
          }
          if (!c.pages.empty()) c.currentPage = c.pages[0].Selectable() ? 0 : FirstSelectablePage(c);
          for (const PartDef& pd : d.parts) c.parts.push_back({pd.width, pd.text});
          for (const ToolButtonDef& b : d.buttons) {
            c.buttons.push_back({b.caption ? b.caption : "", b.image, b.state, b.IsSeparator()});
          }
        }
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
  return OnMain<bool>(
      [&] {
        const int i = Idx(id);
        return ValidWindow(i) && windows_[i] && windows_[i]->exists;
      },
      false);
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
  const bool anyOpen = std::any_of(std::begin(windows_), std::end(windows_), [](const auto& w) { return w && w->exists; });
  if (!anyOpen && looping_) backend_->QuitLoop();
}

bool Runtime::CloseWindow(WindowId id) {
  return OnMain<bool>(
      [&] {
        const int i = Idx(id);
        if (!ValidWindow(i) || !windows_[i] || !windows_[i]->exists) return false;
        return UserCloseRequest(*windows_[i]);
      },
      false);
}

int Runtime::RunMessageLoop() {
  if (!OnMainThread()) return -1;
  const bool anyOpen = std::any_of(std::begin(windows_), std::end(windows_), [](const auto& w) { return w && w->exists; });
  if (!anyOpen) return 0;
  looping_ = true;
  const int rc = backend_->RunLoop();
  looping_ = false;
  return rc;
}

// --- Properties ------------------------------------------------------------

PropertyValue Runtime::GetProperty(WindowId w, std::string_view name, Property p) {
  return OnMain<PropertyValue>(
      [&]() -> PropertyValue {
        switch (p) {
          case Property::Left:
          case Property::Top:
          case Property::Width:
          case Property::Height: {
            Target t = Find(w, name, Access::Property);
            if (!t.ctl) return 0;
            const Place pl = backend_->QueryPlace(*t.win, t.ctl);
            return p == Property::Left ? pl.left : p == Property::Top ? pl.top : p == Property::Width ? pl.width : pl.height;
          }
          case Property::Text: {
            Target t = Find(w, name, Access::KindRead);
            if (!t.ctl) return Text();
            ControlState& c = *t.ctl;
            if (c.def->kind == Kind::EditBox) {
              Text live;
              if (backend_->QueryText(*t.win, c, &live)) c.text = live;
            }
            if (c.def->kind == Kind::ComboBox) {
              return c.currentIndex >= 0 && c.currentIndex < static_cast<int>(c.items.size()) ? c.items[c.currentIndex]
                                                                                              : Text();
            }
            return c.text;
          }
          case Property::CurrentIndex: {
            Target t = Find(w, name, Access::KindRead, static_cast<int>(Kind::ComboBox));
            return t.ctl ? t.ctl->currentIndex : -1;
          }
          case Property::CurrentPage: {
            Target t = Find(w, name, Access::KindRead, static_cast<int>(Kind::PageControl));
            return t.ctl ? t.ctl->currentPage : -1;
          }
          case Property::CurrentRow: {
            Target t = Find(w, name, Access::KindRead, static_cast<int>(Kind::ListView));
            return t.ctl ? t.ctl->selectedRow : -1;
          }
        }
        return 0;
      },
      PropertyValue(0));
}

int Runtime::GetInt(WindowId w, std::string_view name, Property p) {
  PropertyValue v = GetProperty(w, name, p);
  const int* i = std::get_if<int>(&v);
  return i != nullptr ? *i : 0;
}

Text Runtime::GetText(WindowId w, std::string_view name) {
  PropertyValue v = GetProperty(w, name, Property::Text);
  const Text* s = std::get_if<Text>(&v);
  return s != nullptr ? *s : Text();
}

void Runtime::SetProperty(WindowId w, std::string_view name, Property p, const PropertyValue& v) {
  OnMain([&] {
    const int* iv = std::get_if<int>(&v);
    const Text* tv = std::get_if<Text>(&v);
    switch (p) {
      case Property::Left:
      case Property::Top:
      case Property::Width:
      case Property::Height: {
        Target t = Find(w, name, Access::Property);
        if (!t.ctl || !iv) return;
        Place pl = backend_->QueryPlace(*t.win, t.ctl);
        (p == Property::Left ? pl.left : p == Property::Top ? pl.top : p == Property::Width ? pl.width : pl.height) = *iv;
        t.ctl->place = pl;
        backend_->Update(*t.win, *t.ctl, Change::Place);
        return;
      }
      case Property::Text: {
        Target t = Find(w, name, Access::KindWrite);
        if (!t.ctl) return;
        const Text text = tv ? *tv : (iv ? std::to_string(*iv) : Text());
        ControlState& c = *t.ctl;
        if (c.def->kind == Kind::ComboBox) {
          auto it = std::find(c.items.begin(), c.items.end(), text);
          if (it != c.items.end()) {
            c.currentIndex = static_cast<int>(it - c.items.begin());
            backend_->Update(*t.win, c, Change::ComboIndex);
          }
          return;
        }
        c.text = text;
        backend_->Update(*t.win, c, Change::Text);
        if (c.def->kind == Kind::EditBox) Raise(t.win, &c, EventKind::TextChanged);
        return;
      }
      case Property::CurrentIndex: {
        Target t = Find(w, name, Access::KindWrite, static_cast<int>(Kind::ComboBox));
        if (!t.ctl || !iv) return;
        ControlState& c = *t.ctl;
        const int clamped = std::clamp(*iv, -1, static_cast<int>(c.items.size()) - 1);
        if (clamped != c.currentIndex) {
          c.currentIndex = clamped;
          backend_->Update(*t.win, c, Change::ComboIndex);
        }
        return;
      }
      case Property::CurrentPage: {
        Target t = Find(w, name, Access::KindWrite, static_cast<int>(Kind::PageControl));
        if (t.ctl && iv) SetCurrentPageInternal(t, *iv, false);
        return;
      }
      case Property::CurrentRow: {
        Target t = Find(w, name, Access::KindWrite, static_cast<int>(Kind::ListView));
        if (t.ctl && iv) SetCurrentRowInternal(t, *iv);
        return;
      }
    }
  });
}

bool Runtime::SetCurrentPageInternal(const Target& t, int page, bool byUser) {
  ControlState& c = *t.ctl;
  if (page < 0 || page >= static_cast<int>(c.pages.size()) || !c.pages[page].Selectable()) return false;
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

void Runtime::SetCurrentRowInternal(const Target& t, int row) {
  ControlState& c = *t.ctl;
  if (row < 0) {
    if (c.selectedRow != -1) {
      c.selectedRow = -1;
      backend_->Update(*t.win, c, Change::Selection);
    }
    return;
  }
  if (row >= static_cast<int>(c.rows.size())) return;
  const bool focusMoves = c.focusedRow != row;
  c.selectedRow = row;
  c.focusedRow = row;
  backend_->Update(*t.win, c, Change::Selection);
  if (focusMoves) Raise(t.win, &c, EventKind::RowChanged);
}

// --- Tab control -------------------------------------------------------------

int Runtime::InsertPage(WindowId w, std::string_view name, const Text& caption, int index, int image) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::PageControl));
        if (!t.ctl) return -1;
        ControlState& c = *t.ctl;
        const int n = static_cast<int>(c.pages.size());
        PageState page{caption, true, true, true, image < 0 ? -1 : image, -1};
        if (index < 0 || index >= n) {
          c.pages.push_back(page);
          backend_->Update(*t.win, c, Change::PageInserted, n);
          return n;
        }
        c.pages.insert(c.pages.begin() + index, page);
        const bool shifted = c.currentPage >= index;
        if (shifted) ++c.currentPage;
        backend_->Update(*t.win, c, Change::PageInserted, index);
        if (shifted) Raise(t.win, &c, EventKind::PageChanged);
        return index;
      },
      -1);
}

bool Runtime::DeletePage(WindowId w, std::string_view name, int index) {
  return OnMain<bool>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::PageControl));
        if (!t.ctl) return false;
        ControlState& c = *t.ctl;
        const int n = static_cast<int>(c.pages.size());
        const int old = c.currentPage;
        if (index == -1) {
          if (old < 0 || !c.pages[old].removable || FirstSelectablePage(c) < 0) return false;
          c.pages.clear();
          c.currentPage = -1;
          backend_->Update(*t.win, c, Change::PagesCleared);
          Raise(t.win, &c, EventKind::PageChanged);
          return true;
        }
        if (index < 0 || index >= n || !c.pages[index].removable) return false;
        bool otherSelectable = false;
        for (int i = 0; i < n; ++i) otherSelectable |= (i != index && c.pages[i].Selectable());
        if (!otherSelectable) return false;
        const int tab = ShownTabOf(c, index);
        c.pages.erase(c.pages.begin() + index);
        if (old > index) {
          c.currentPage = old - 1;
        } else if (old == index) {
          c.currentPage = index < n - 1 && c.pages[index].Selectable() ? index : FirstSelectablePage(c);
        }
        backend_->Update(*t.win, c, Change::PageDeleted, index, tab);
        if (c.currentPage != old) Raise(t.win, &c, EventKind::PageChanged);
        return true;
      },
      false);
}

int Runtime::PageCount(WindowId w, std::string_view name) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::PageControl));
        return t.ctl ? static_cast<int>(t.ctl->pages.size()) : 0;
      },
      0);
}

bool Runtime::SetPageCaption(WindowId w, std::string_view name, int index, const Text& caption) {
  return OnMain<bool>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::PageControl));
        if (!t.ctl || index < 0 || index >= static_cast<int>(t.ctl->pages.size())) return false;
        t.ctl->pages[index].caption = caption;
        backend_->Update(*t.win, *t.ctl, Change::PageCaption, index);
        return true;
      },
      false);
}

Text Runtime::PageCaption(WindowId w, std::string_view name, int index) {
  return OnMain<Text>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::PageControl));
        if (!t.ctl || index < 0 || index >= static_cast<int>(t.ctl->pages.size())) return Text();
        return t.ctl->pages[index].caption;
      },
      Text());
}

// --- Status bar --------------------------------------------------------------

void Runtime::SetPartText(WindowId w, std::string_view name, int part, const Text& text) {
  OnMain([&] {
    Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::StatusBar));
    if (!t.ctl || part < 0 || part >= static_cast<int>(t.ctl->parts.size())) return;
    t.ctl->parts[part].text = text;
    backend_->Update(*t.win, *t.ctl, Change::Parts);
  });
}

void Runtime::SetPartWidth(WindowId w, std::string_view name, int part, int width) {
  OnMain([&] {
    Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::StatusBar));
    if (!t.ctl || part < 0 || part >= static_cast<int>(t.ctl->parts.size())) return;
    t.ctl->parts[part].width = std::max(width, -1);
    backend_->Update(*t.win, *t.ctl, Change::Parts);
  });
}

Text Runtime::PartText(WindowId w, std::string_view name, int part) {
  return OnMain<Text>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::StatusBar));
        if (!t.ctl || part < 0 || part >= static_cast<int>(t.ctl->parts.size())) return Text();
        return t.ctl->parts[part].text;
      },
      Text());
}

int Runtime::PartWidth(WindowId w, std::string_view name, int part) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::StatusBar));
        if (!t.ctl || part < 0 || part >= static_cast<int>(t.ctl->parts.size())) return 0;
        return t.ctl->parts[part].width;
      },
      0);
}

// --- Tool bar ----------------------------------------------------------------

int Runtime::AddButtonState(WindowId w, std::string_view name, int button, int bits) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ToolBar));
        if (!t.ctl || button < 0 || button >= static_cast<int>(t.ctl->buttons.size())) return -1;
        t.ctl->buttons[button].state |= bits & 31;
        backend_->Update(*t.win, *t.ctl, Change::ButtonState, button);
        return t.ctl->buttons[button].state;
      },
      -1);
}

int Runtime::RemoveButtonState(WindowId w, std::string_view name, int button, int bits) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ToolBar));
        if (!t.ctl || button < 0 || button >= static_cast<int>(t.ctl->buttons.size())) return -1;
        t.ctl->buttons[button].state &= ~bits;
        backend_->Update(*t.win, *t.ctl, Change::ButtonState, button);
        return t.ctl->buttons[button].state;
      },
      -1);
}

int Runtime::ButtonStateOf(WindowId w, std::string_view name, int button) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ToolBar));
        if (!t.ctl || button < 0 || button >= static_cast<int>(t.ctl->buttons.size())) return -1;
        return t.ctl->buttons[button].state;
      },
      -1);
}

// --- Report list -------------------------------------------------------------

int Runtime::InsertRow(WindowId w, std::string_view name, int index, const Text& caption) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ListView));
        if (!t.ctl) return -1;
        ControlState& c = *t.ctl;
        const int n = static_cast<int>(c.rows.size());
        if (index < 0 || index > n) index = n;
        std::vector<Text> row(std::max<std::size_t>(c.def->columns.size(), 1));
        row[0] = caption;
        c.rows.insert(c.rows.begin() + index, std::move(row));
        if (c.selectedRow >= index) ++c.selectedRow;
        if (c.focusedRow >= index) ++c.focusedRow;
        backend_->Update(*t.win, c, Change::RowInserted, index);
        return index;
      },
      -1);
}

bool Runtime::DeleteRow(WindowId w, std::string_view name, int row) {
  return OnMain<bool>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ListView));
        if (!t.ctl) return false;
        ControlState& c = *t.ctl;
        if (row < 0 || row >= static_cast<int>(c.rows.size())) return false;
        c.rows.erase(c.rows.begin() + row);
        for (int* r : {&c.selectedRow, &c.focusedRow}) {
          if (*r == row) *r = -1;
          else if (*r > row) --*r;
        }
        backend_->Update(*t.win, c, Change::RowDeleted, row);
        return true;
      },
      false);
}

int Runtime::RowCount(WindowId w, std::string_view name) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ListView));
        return t.ctl ? static_cast<int>(t.ctl->rows.size()) : 0;
      },
      0);
}

Text Runtime::GetCellText(WindowId w, std::string_view name, int row, int column) {
  return OnMain<Text>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ListView));
        if (!t.ctl || row < 0 || row >= static_cast<int>(t.ctl->rows.size())) return Text();
        const auto& cells = t.ctl->rows[row];
        if (column < 0 || column >= static_cast<int>(cells.size())) return Text();
        return cells[column];
      },
      Text());
}

bool Runtime::SetCellText(WindowId w, std::string_view name, int row, int column, const Text& text) {
  return OnMain<bool>(
      [&] {
        Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::ListView));
        if (!t.ctl || row < 0 || row >= static_cast<int>(t.ctl->rows.size())) return false;
        auto& cells = t.ctl->rows[row];
        if (column < 0 || column >= static_cast<int>(cells.size())) return false;
        cells[column] = text;
        backend_->Update(*t.win, *t.ctl, Change::Cell, row, column);
        return true;
      },
      false);
}

// --- Window and control services ----------------------------------------------

std::uintptr_t Runtime::WindowHandle(WindowId w, std::string_view name) {
  return OnMain<std::uintptr_t>(
      [&]() -> std::uintptr_t {
        const int i = Idx(w);
        if (!ValidWindow(i) || !windows_[i] || !windows_[i]->exists) return 0;
        WindowState& win = *windows_[i];
        if (name.empty()) return backend_->Handle(win, nullptr);
        ControlState* c = win.Find(name);
        if (c == nullptr) {
          RaiseError(kErrNoSuchControl, i, name);
          return 0;
        }
        return backend_->Handle(win, c);
      },
      0);
}

int Runtime::ClientWidth(WindowId w, std::string_view name) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation);
        return t.win ? backend_->QueryClient(*t.win, t.ctl).width : 0;
      },
      0);
}

int Runtime::ClientHeight(WindowId w, std::string_view name) {
  return OnMain<int>(
      [&] {
        Target t = Find(w, name, Access::Operation);
        return t.win ? backend_->QueryClient(*t.win, t.ctl).height : 0;
      },
      0);
}

void Runtime::FocusControl(WindowId w, std::string_view name) {
  OnMain([&] {
    Target t = Find(w, name, Access::Operation);
    if (t.ctl) backend_->Focus(*t.win, *t.ctl);
  });
}

void Runtime::AppendText(WindowId w, std::string_view name, const Text& text) {
  OnMain([&] {
    Target t = Find(w, name, Access::Operation, static_cast<int>(Kind::EditBox));
    if (!t.ctl) return;
    t.ctl->text += text;
    backend_->AppendText(*t.win, *t.ctl, text);
    Raise(t.win, t.ctl, EventKind::TextChanged);
  });
}

bool Runtime::IsEnabled(WindowId w, std::string_view name) {
  return OnMain<bool>(
      [&] {
        Target t = Find(w, name, Access::Operation);
        return t.ctl != nullptr && t.ctl->enabled;
      },
      false);
}

void Runtime::SetEnabled(WindowId w, std::string_view name, bool enabled) {
  OnMain([&] {
    Target t = Find(w, name, Access::Operation);
    if (!t.ctl || t.ctl->enabled == enabled) return;
    t.ctl->enabled = enabled;
    backend_->Update(*t.win, *t.ctl, Change::Enabled);
  });
}

bool Runtime::IsShown(WindowId w, std::string_view name) {
  return OnMain<bool>(
      [&] {
        const int i = Idx(w);
        if (!ValidWindow(i) || !windows_[i] || !windows_[i]->exists) return false;
        WindowState& win = *windows_[i];
        if (!win.shown) return false;
        if (name.empty()) return true;
        ControlState* c = win.Find(name);
        return c != nullptr && ControlShown(win, c->index);
      },
      false);
}

// --- User input ----------------------------------------------------------------

void Runtime::UserTextChanged(WindowState& win, int control, const Text& text) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  ControlState& c = win.controls[control];
  c.text = text;
  if (c.def->kind == Kind::EditBox) Raise(keep, &c, EventKind::TextChanged);
}

void Runtime::UserClicked(WindowState& win, int control) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  ControlState& c = win.controls[control];
  if (!c.enabled) return;
  Raise(keep, &c, EventKind::Clicked);
}

void Runtime::UserToolButton(WindowState& win, int control, int button) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  ControlState& c = win.controls[control];
  if (button < 0 || button >= static_cast<int>(c.buttons.size())) return;
  const ButtonState& b = c.buttons[button];
  if (b.separator || (b.state & (kDisabled | kHidden)) != 0) return;
  Raise(keep, &c, EventKind::ButtonClicked, button);
}

bool Runtime::UserPageChanging(WindowState& win, int control, int page) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return false;
  ControlState& c = win.controls[control];
  if (page < 0 || page >= static_cast<int>(c.pages.size()) || !c.pages[page].Selectable()) return false;
  return Raise(keep, &c, EventKind::PageChanging, page);
}

void Runtime::UserPageChanged(WindowState& win, int control, int page) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  SetCurrentPageInternal({keep, &win.controls[control]}, page, true);
}

void Runtime::UserRowState(WindowState& win, int control, int row, bool selected, bool focused) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  ControlState& c = win.controls[control];
  if (row < 0 || row >= static_cast<int>(c.rows.size())) {
    if (!selected) c.selectedRow = -1;  // a click beside the rows clears the selection
    return;
  }
  if (selected) c.selectedRow = row;
  else if (c.selectedRow == row) c.selectedRow = -1;
  if (focused && c.focusedRow != row) {
    c.focusedRow = row;
    Raise(keep, &c, EventKind::RowChanged);
  } else if (!focused && c.focusedRow == row) {
    c.focusedRow = -1;
  }
}

void Runtime::UserComboSelected(WindowState& win, int control, int index) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  ControlState& c = win.controls[control];
  if (index >= -1 && index < static_cast<int>(c.items.size())) c.currentIndex = index;
}

bool Runtime::UserCloseRequest(WindowState& win) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return false;
  if (!Raise(keep, nullptr, EventKind::MayClose)) return false;
  Destroy(keep);
  return true;
}

void Runtime::UserMovedOrResized(WindowState& win, bool moved, bool resized) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists) return;
  if (moved) Raise(keep, nullptr, EventKind::Moved);
  if (resized && keep->exists) Raise(keep, nullptr, EventKind::Resized);
}

void Runtime::UserEvent(WindowState& win, int control, EventKind kind, int a0, int a1, int a2) {
  std::shared_ptr<WindowState> keep = windows_[Idx(win.id)];
  if (keep.get() != &win || !win.exists || control < 0 || control >= static_cast<int>(win.controls.size())) return;
  Raise(keep, &win.controls[control], kind, a0, a1, a2);
}

// --- The logic's handles ------------------------------------------------------

namespace {
template <typename R, typename F>
R WithRuntime(R fallback, F&& f) {
  Runtime* rt = Runtime::Current();
  return rt != nullptr ? f(*rt) : fallback;
}
template <typename F>
void WithRuntime(F&& f) {
  if (Runtime* rt = Runtime::Current()) f(*rt);
}
}  // namespace

int Control::Left() const { return WithRuntime(0, [&](Runtime& r) { return r.GetInt(window_, name_, Property::Left); }); }
int Control::Top() const { return WithRuntime(0, [&](Runtime& r) { return r.GetInt(window_, name_, Property::Top); }); }
int Control::Width() const { return WithRuntime(0, [&](Runtime& r) { return r.GetInt(window_, name_, Property::Width); }); }
int Control::Height() const {
  return WithRuntime(0, [&](Runtime& r) { return r.GetInt(window_, name_, Property::Height); });
}
void Control::SetLeft(int v) const { WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::Left, v); }); }
void Control::SetTop(int v) const { WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::Top, v); }); }
void Control::SetWidth(int v) const { WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::Width, v); }); }
void Control::SetHeight(int v) const {
  WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::Height, v); });
}
Text Control::GetText() const { return WithRuntime(Text(), [&](Runtime& r) { return r.GetText(window_, name_); }); }
void Control::SetText(const Text& text) const {
  WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::Text, text); });
}
int Control::CurrentIndex() const {
  return WithRuntime(-1, [&](Runtime& r) { return r.GetInt(window_, name_, Property::CurrentIndex); });
}
void Control::SetCurrentIndex(int index) const {
  WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::CurrentIndex, index); });
}
int Control::CurrentPage() const {
  return WithRuntime(-1, [&](Runtime& r) { return r.GetInt(window_, name_, Property::CurrentPage); });
}
void Control::SetCurrentPage(int page) const {
  WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::CurrentPage, page); });
}
int Control::CurrentRow() const {
  return WithRuntime(-1, [&](Runtime& r) { return r.GetInt(window_, name_, Property::CurrentRow); });
}
void Control::SetCurrentRow(int row) const {
  WithRuntime([&](Runtime& r) { r.SetProperty(window_, name_, Property::CurrentRow, row); });
}
int Control::InsertPage(const Text& caption, int index, int image) const {
  return WithRuntime(-1, [&](Runtime& r) { return r.InsertPage(window_, name_, caption, index, image); });
}
bool Control::DeletePage(int index) const {
  return WithRuntime(false, [&](Runtime& r) { return r.DeletePage(window_, name_, index); });
}
int Control::PageCount() const { return WithRuntime(0, [&](Runtime& r) { return r.PageCount(window_, name_); }); }
bool Control::SetPageCaption(int index, const Text& caption) const {
  return WithRuntime(false, [&](Runtime& r) { return r.SetPageCaption(window_, name_, index, caption); });
}
Text Control::PageCaption(int index) const {
  return WithRuntime(Text(), [&](Runtime& r) { return r.PageCaption(window_, name_, index); });
}
void Control::SetPartText(int part, const Text& text) const {
  WithRuntime([&](Runtime& r) { r.SetPartText(window_, name_, part, text); });
}
void Control::SetPartWidth(int part, int width) const {
  WithRuntime([&](Runtime& r) { r.SetPartWidth(window_, name_, part, width); });
}
Text Control::PartText(int part) const {
  return WithRuntime(Text(), [&](Runtime& r) { return r.PartText(window_, name_, part); });
}
int Control::AddButtonState(int button, int bits) const {
  return WithRuntime(-1, [&](Runtime& r) { return r.AddButtonState(window_, name_, button, bits); });
}
int Control::RemoveButtonState(int button, int bits) const {
  return WithRuntime(-1, [&](Runtime& r) { return r.RemoveButtonState(window_, name_, button, bits); });
}
int Control::ButtonState(int button) const {
  return WithRuntime(-1, [&](Runtime& r) { return r.ButtonStateOf(window_, name_, button); });
}
int Control::InsertRow(int index, const Text& caption) const {
  return WithRuntime(-1, [&](Runtime& r) { return r.InsertRow(window_, name_, index, caption); });
}
bool Control::DeleteRow(int row) const {
  return WithRuntime(false, [&](Runtime& r) { return r.DeleteRow(window_, name_, row); });
}
int Control::RowCount() const { return WithRuntime(0, [&](Runtime& r) { return r.RowCount(window_, name_); }); }
Text Control::GetCellText(int row, int column) const {
  return WithRuntime(Text(), [&](Runtime& r) { return r.GetCellText(window_, name_, row, column); });
}
bool Control::SetCellText(int row, int column, const Text& text) const {
  return WithRuntime(false, [&](Runtime& r) { return r.SetCellText(window_, name_, row, column, text); });
}
std::uintptr_t Control::Handle() const {
  return WithRuntime(std::uintptr_t{0}, [&](Runtime& r) { return r.WindowHandle(window_, name_); });
}
int Control::ClientWidth() const { return WithRuntime(0, [&](Runtime& r) { return r.ClientWidth(window_, name_); }); }
int Control::ClientHeight() const { return WithRuntime(0, [&](Runtime& r) { return r.ClientHeight(window_, name_); }); }
void Control::Focus() const { WithRuntime([&](Runtime& r) { r.FocusControl(window_, name_); }); }
void Control::AppendText(std::initializer_list<Text> texts) const {
  for (const Text& t : texts) AppendText(t);
}
void Control::AppendText(const Text& text) const { WithRuntime([&](Runtime& r) { r.AppendText(window_, name_, text); }); }
bool Control::IsEnabled() const { return WithRuntime(false, [&](Runtime& r) { return r.IsEnabled(window_, name_); }); }
bool Control::IsShown() const { return WithRuntime(false, [&](Runtime& r) { return r.IsShown(window_, name_); }); }
void Control::SetEnabled(bool enabled) const {
  WithRuntime([&](Runtime& r) { r.SetEnabled(window_, name_, enabled); });
}

bool LoadWindow(WindowId id, std::uintptr_t owner, bool /*modal: the program loads every window modeless*/) {
  return WithRuntime(false, [&](Runtime& r) { return r.LoadWindow(id, owner); });
}
bool IsWindowOpen(WindowId id) { return WithRuntime(false, [&](Runtime& r) { return r.IsOpen(id); }); }
bool CloseWindow(WindowId id) { return WithRuntime(false, [&](Runtime& r) { return r.CloseWindow(id); }); }
std::uintptr_t WindowHandle(WindowId id) {
  return WithRuntime(std::uintptr_t{0}, [&](Runtime& r) { return r.WindowHandle(id, {}); });
}
int ClientWidth(WindowId id) { return WithRuntime(0, [&](Runtime& r) { return r.ClientWidth(id, {}); }); }
int ClientHeight(WindowId id) { return WithRuntime(0, [&](Runtime& r) { return r.ClientHeight(id, {}); }); }
void BindHandler(std::string_view name, Handler handler) {
  WithRuntime([&](Runtime& r) { r.BindHandler(name, std::move(handler)); });
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
int RunMessageLoop() { return WithRuntime(0, [&](Runtime& r) { return r.RunMessageLoop(); }); }
void RaiseRuntimeError(std::string_view message, bool hasCode, int code) {
  WithRuntime([&](Runtime& r) { r.OnMain([&] { r.RaiseError(message, -1, {}, hasCode, code); }); });
}

}  // namespace quillane::ui

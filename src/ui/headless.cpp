#include "ui/headless.h"

#include "services/events.h"

namespace quillane::ui {

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend() { SetProcessEventsHook({}); }

void HeadlessBackend::Attach(Runtime& runtime) {
  Backend::Attach(runtime);
  Runtime* rt = &runtime;
  SetProcessEventsHook([rt] {
    if (Runtime::Current() == rt) rt->RunPendingCalls();
  });
}

Place HeadlessBackend::Screen() { return {0, 0, 1280, 800}; }

bool HeadlessBackend::Create(WindowState& win) {
  if (failNextCreate_) {
    failNextCreate_ = false;
    return false;
  }
  const int i = static_cast<int>(win.id);
  ++builds_[i];
  windows_[i] = &win;
  return true;
}

void HeadlessBackend::Show(WindowState& /*win*/) {}

void HeadlessBackend::BringToFront(WindowState& win) { ++fronts_[static_cast<int>(win.id)]; }

void HeadlessBackend::Destroy(WindowState& win) {
  const int i = static_cast<int>(win.id);
  if (windows_[i] == &win) windows_[i] = nullptr;
}

void HeadlessBackend::Update(WindowState&, ControlState&, Change, int, int) {}

Place HeadlessBackend::QueryPlace(WindowState& win, ControlState* ctl) {
  if (ctl == nullptr) return win.place;
  const Place client = QueryClient(win, nullptr);
  // The tool bar and the status bar keep to the top and bottom edges.
  if (ctl->def->kind == Kind::ToolBar && ctl->def->parent < 0)
    return {0, 0, client.width, kToolBarHeight};
  if (ctl->def->kind == Kind::StatusBar && ctl->def->parent < 0) {
    return {0, client.height - kStatusBarHeight, client.width, kStatusBarHeight};
  }
  return ctl->place;
}

Place HeadlessBackend::QueryClient(WindowState& win, ControlState* ctl) {
  if (ctl == nullptr) {
    // A sizing frame of 8 pixels and a caption of 31; a fixed frame of 3 and 26.
    const bool sizing = win.def->resizable;
    const int w = win.place.width - (sizing ? 16 : 6);
    const int h = win.place.height - (sizing ? 39 : 29);
    return {0, 0, w, h};
  }
  const Place p = QueryPlace(win, ctl);
  const int border = ctl->def->kind == Kind::EditBox || ctl->def->kind == Kind::ListView ? 4 : 0;
  return {0, 0, p.width - border, p.height - border};
}

std::uintptr_t HeadlessBackend::Handle(WindowState& win, ControlState* ctl) {
  const std::uintptr_t base = 0x10000 + 0x1000 * static_cast<std::uintptr_t>(win.id);
  return ctl == nullptr ? base : base + 4 * static_cast<std::uintptr_t>(ctl->index + 1);
}

void HeadlessBackend::Focus(WindowState& /*win*/, ControlState& ctl) { focused_ = ctl.def->name; }

void HeadlessBackend::AppendText(WindowState&, ControlState&, const Text&) {}

void HeadlessBackend::Wake() {
  std::lock_guard<std::mutex> lock(m_);
  woken_ = true;
  cv_.notify_all();
}

int HeadlessBackend::RunLoop() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m_);
      cv_.wait(lock, [&] { return woken_ || quit_; });
      woken_ = false;
      if (quit_) {
        quit_ = false;
        return 0;
      }
    }
    runtime_->RunPendingCalls();
  }
}

void HeadlessBackend::QuitLoop() {
  std::lock_guard<std::mutex> lock(m_);
  quit_ = true;
  cv_.notify_all();
}

// --- Simulated user input --------------------------------------------------

WindowState* HeadlessBackend::Open(WindowId w) {
  WindowState* win = windows_[static_cast<int>(w)];
  return win != nullptr && win->exists ? win : nullptr;
}

int HeadlessBackend::ControlIndex(WindowId w, std::string_view name) {
  WindowState* win = Open(w);
  if (win == nullptr) return -1;
  ControlState* c = win->Find(name);
  // Only a control on screen can be reached with the mouse or keyboard.
  if (c == nullptr || !c->enabled || !win->shown || !ControlShown(*win, c->index)) return -1;
  return c->index;
}

bool HeadlessBackend::ClickButton(WindowId w, std::string_view name) {
  const int i = ControlIndex(w, name);
  if (i < 0) return false;
  runtime_->UserClicked(*Open(w), i);
  return true;
}

bool HeadlessBackend::ClickToolButton(WindowId w, std::string_view name, int button) {
  const int i = ControlIndex(w, name);
  if (i < 0) return false;
  runtime_->UserToolButton(*Open(w), i, button);
  return true;
}

bool HeadlessBackend::TypeText(WindowId w, std::string_view name, std::string_view chars) {
  const int i = ControlIndex(w, name);
  if (i < 0) return false;
  for (std::size_t k = 0; k < chars.size();) {
    WindowState* win = Open(w);
    if (win == nullptr) return false;
    ControlState& c = win->controls[i];
    const unsigned char lead = static_cast<unsigned char>(chars[k]);
    const std::size_t len = lead >= 0x80 && k + 1 < chars.size() ? 2 : 1;
    const std::string_view ch = chars.substr(k, len);
    k += len;
    Text text = c.text;
    if (ch == "\b") {
      if (text.empty()) continue;
      // Remove the last character, double-byte aware.
      std::size_t last = 0;
      for (std::size_t p = 0; p < text.size();) {
        last = p;
        p += static_cast<unsigned char>(text[p]) >= 0x80 && p + 1 < text.size() ? 2 : 1;
      }
      text.erase(last);
    } else {
      if (c.def->wholeNumber && !WholeNumberAccepts(len == 1 ? lead : 0x100)) continue;
      text += ch;
    }
    runtime_->UserTextChanged(*win, i, text);
  }
  return true;
}

bool HeadlessBackend::ClickPage(WindowId w, std::string_view name, int page) {
  const int i = ControlIndex(w, name);
  if (i < 0) return false;
  WindowState* win = Open(w);
  const ControlState& c = win->controls[i];
  if (page < 0 || page >= static_cast<int>(c.pages.size()) || !c.pages[page].Selectable())
    return false;
  if (page == c.currentPage) return true;
  if (!runtime_->UserPageChanging(*win, i, page)) return true;
  if ((win = Open(w)) != nullptr) runtime_->UserPageChanged(*win, i, page);
  return true;
}

bool HeadlessBackend::ClickRow(WindowId w, std::string_view name, int row) {
  const int i = ControlIndex(w, name);
  if (i < 0) return false;
  WindowState* win = Open(w);
  const int old = win->controls[i].selectedRow;
  if (old >= 0 && old != row) {
    runtime_->UserRowState(*win, i, old, false, win->controls[i].focusedRow == old && row < 0);
  }
  // A handler may have closed the window meanwhile: look it up again.
  if ((win = Open(w)) == nullptr) return true;
  if (row >= 0 && row < static_cast<int>(win->controls[i].rows.size()))
    runtime_->UserRowState(*win, i, row, true, true);
  else
    runtime_->UserRowState(*win, i, -1, false, false);
  if ((win = Open(w)) != nullptr) runtime_->UserClicked(*win, i);
  return true;
}

bool HeadlessBackend::SelectComboItem(WindowId w, std::string_view name, int index) {
  const int i = ControlIndex(w, name);
  if (i < 0) return false;
  runtime_->UserComboSelected(*Open(w), i, index);
  return true;
}

bool HeadlessBackend::RequestClose(WindowId w) {
  WindowState* win = Open(w);
  return win != nullptr && runtime_->UserCloseRequest(*win);
}

bool HeadlessBackend::ResizeWindow(WindowId w, int width, int height) {
  WindowState* win = Open(w);
  if (win == nullptr) return false;
  win->place.width = width;
  win->place.height = height;
  runtime_->UserMovedOrResized(*win, false, true);
  return true;
}

}  // namespace quillane::ui

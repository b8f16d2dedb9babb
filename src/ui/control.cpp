// The logic's control operations: each finds its control among the open
// windows of the current runtime, on its main thread, changes the state the
// runtime keeps, has the backend mirror the change and raises the events the
// change brings.
#include <algorithm>

#include "ui/runtime.h"

namespace quillane::ui {

template <typename R, typename F>
R Control::With(R fallback, Access access, std::optional<Kind> kind, F&& body) const {
  Runtime* rt = Runtime::Current();
  if (rt == nullptr) return fallback;
  return rt->OnMain<R>(
      [&]() -> R {
        const Target t = rt->Find(window_, name_, access, kind);
        return t.ctl != nullptr ? body(*rt, t) : fallback;
      },
      fallback);
}

template <typename F>
void Control::Do(Access access, std::optional<Kind> kind, F&& body) const {
  if (Runtime* rt = Runtime::Current()) {
    rt->OnMain([&] {
      const Target t = rt->Find(window_, name_, access, kind);
      if (t.ctl != nullptr) body(*rt, t);
    });
  }
}

namespace {
bool InRange(int i, std::size_t size) { return i >= 0 && i < static_cast<int>(size); }
}  // namespace

// --- Place and size -------------------------------------------------------------

int Control::Edge(int Place::*edge) const {
  return With(0, Access::Property, {}, [&](Runtime& rt, const Target& t) {
    return rt.backend_->QueryPlace(*t.win, t.ctl).*edge;
  });
}

void Control::SetEdge(int Place::*edge, int value) const {
  Do(Access::Property, {}, [&](Runtime& rt, const Target& t) {
    Place place = rt.backend_->QueryPlace(*t.win, t.ctl);
    place.*edge = value;
    t.ctl->place = place;
    rt.backend_->Update(*t.win, *t.ctl, Change::Place);
  });
}

Place Control::Client() const {
  Runtime* rt = Runtime::Current();
  if (rt == nullptr) return {};
  return rt->OnMain<Place>(
      [&]() -> Place {
        const Target t = rt->Find(window_, name_, Access::Operation);
        return t.win ? rt->backend_->QueryClient(*t.win, t.ctl) : Place{};
      },
      {});
}

// --- Texts and current items --------------------------------------------------

Text Control::GetText() const {
  return With(Text(), Access::KindRead, {}, [&](Runtime& rt, const Target& t) -> Text {
    ControlState& c = *t.ctl;
    if (c.def->kind == Kind::EditBox) {
      Text live;
      if (rt.backend_->QueryText(*t.win, c, &live)) c.text = live;
    }
    if (c.def->kind == Kind::ComboBox) {
      return InRange(c.currentIndex, c.items.size()) ? c.items[c.currentIndex] : Text();
    }
    return c.text;
  });
}

void Control::SetText(const Text& text) const {
  Do(Access::KindWrite, {}, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    if (c.def->kind == Kind::ComboBox) {
      auto it = std::find(c.items.begin(), c.items.end(), text);
      if (it != c.items.end()) {
        c.currentIndex = static_cast<int>(it - c.items.begin());
        rt.backend_->Update(*t.win, c, Change::ComboIndex);
      }
      return;
    }
    c.text = text;
    rt.backend_->Update(*t.win, c, Change::Text);
    if (c.def->kind == Kind::EditBox) rt.Raise(t.win, &c, EventKind::TextChanged);
  });
}

int Control::CurrentIndex() const {
  return With(-1, Access::KindRead, Kind::ComboBox,
              [](Runtime&, const Target& t) { return t.ctl->currentIndex; });
}

void Control::SetCurrentIndex(int index) const {
  Do(Access::KindWrite, Kind::ComboBox, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    const int clamped = std::clamp(index, -1, static_cast<int>(c.items.size()) - 1);
    if (clamped == c.currentIndex) return;
    c.currentIndex = clamped;
    rt.backend_->Update(*t.win, c, Change::ComboIndex);
  });
}

int Control::CurrentPage() const {
  return With(-1, Access::KindRead, Kind::PageControl,
              [](Runtime&, const Target& t) { return t.ctl->currentPage; });
}

void Control::SetCurrentPage(int page) const {
  Do(Access::KindWrite, Kind::PageControl,
     [&](Runtime& rt, const Target& t) { rt.SetCurrentPage(t, page, false); });
}

int Control::CurrentRow() const {
  return With(-1, Access::KindRead, Kind::ListView,
              [](Runtime&, const Target& t) { return t.ctl->selectedRow; });
}

void Control::SetCurrentRow(int row) const {
  Do(Access::KindWrite, Kind::ListView, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    if (row < 0) {
      if (c.selectedRow == -1) return;
      c.selectedRow = -1;
      rt.backend_->Update(*t.win, c, Change::Selection);
      return;
    }
    if (row >= static_cast<int>(c.rows.size())) return;
    const bool focusMoves = c.focusedRow != row;
    c.selectedRow = row;
    c.focusedRow = row;
    rt.backend_->Update(*t.win, c, Change::Selection);
    if (focusMoves) rt.Raise(t.win, &c, EventKind::RowChanged);
  });
}

// --- Tab control -------------------------------------------------------------

int Control::InsertPage(const Text& caption, int index, int image) const {
  return With(-1, Access::Operation, Kind::PageControl, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    const int n = static_cast<int>(c.pages.size());
    const PageState page{caption, true, true, true, image < 0 ? -1 : image, -1};
    if (index < 0 || index >= n) {
      c.pages.push_back(page);
      rt.backend_->Update(*t.win, c, Change::PageInserted, n);
      return n;
    }
    c.pages.insert(c.pages.begin() + index, page);
    const bool shifted = c.currentPage >= index;
    if (shifted) ++c.currentPage;
    rt.backend_->Update(*t.win, c, Change::PageInserted, index);
    if (shifted) rt.Raise(t.win, &c, EventKind::PageChanged);
    return index;
  });
}

bool Control::DeletePage(int index) const {
  return With(false, Access::Operation, Kind::PageControl, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    const int n = static_cast<int>(c.pages.size());
    const int old = c.currentPage;
    if (index == -1) {
      if (old < 0 || !c.pages[old].removable || FirstSelectablePage(c) < 0) return false;
      c.pages.clear();
      c.currentPage = -1;
      rt.backend_->Update(*t.win, c, Change::PagesCleared);
      rt.Raise(t.win, &c, EventKind::PageChanged);
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
    rt.backend_->Update(*t.win, c, Change::PageDeleted, index, tab);
    if (c.currentPage != old) rt.Raise(t.win, &c, EventKind::PageChanged);
    return true;
  });
}

int Control::PageCount() const {
  return With(0, Access::Operation, Kind::PageControl,
              [](Runtime&, const Target& t) { return static_cast<int>(t.ctl->pages.size()); });
}

bool Control::SetPageCaption(int index, const Text& caption) const {
  return With(false, Access::Operation, Kind::PageControl, [&](Runtime& rt, const Target& t) {
    if (!InRange(index, t.ctl->pages.size())) return false;
    t.ctl->pages[index].caption = caption;
    rt.backend_->Update(*t.win, *t.ctl, Change::PageCaption, index);
    return true;
  });
}

Text Control::PageCaption(int index) const {
  return With(Text(), Access::Operation, Kind::PageControl, [&](Runtime&, const Target& t) {
    return InRange(index, t.ctl->pages.size()) ? t.ctl->pages[index].caption : Text();
  });
}

// --- Status bar --------------------------------------------------------------

void Control::SetPartText(int part, const Text& text) const {
  Do(Access::Operation, Kind::StatusBar, [&](Runtime& rt, const Target& t) {
    if (!InRange(part, t.ctl->parts.size())) return;
    t.ctl->parts[part].text = text;
    rt.backend_->Update(*t.win, *t.ctl, Change::Parts);
  });
}

void Control::SetPartWidth(int part, int width) const {
  Do(Access::Operation, Kind::StatusBar, [&](Runtime& rt, const Target& t) {
    if (!InRange(part, t.ctl->parts.size())) return;
    t.ctl->parts[part].width = std::max(width, -1);
    rt.backend_->Update(*t.win, *t.ctl, Change::Parts);
  });
}

Text Control::PartText(int part) const {
  return With(Text(), Access::Operation, Kind::StatusBar, [&](Runtime&, const Target& t) {
    return InRange(part, t.ctl->parts.size()) ? t.ctl->parts[part].text : Text();
  });
}

int Control::PartWidth(int part) const {
  return With(0, Access::Operation, Kind::StatusBar, [&](Runtime&, const Target& t) {
    return InRange(part, t.ctl->parts.size()) ? t.ctl->parts[part].width : 0;
  });
}

// --- Tool bar ----------------------------------------------------------------

int Control::AddButtonState(int button, int bits) const {
  return With(-1, Access::Operation, Kind::ToolBar, [&](Runtime& rt, const Target& t) {
    if (!InRange(button, t.ctl->buttons.size())) return -1;
    t.ctl->buttons[button].state |= bits & 31;
    rt.backend_->Update(*t.win, *t.ctl, Change::ButtonState, button);
    return t.ctl->buttons[button].state;
  });
}

int Control::RemoveButtonState(int button, int bits) const {
  return With(-1, Access::Operation, Kind::ToolBar, [&](Runtime& rt, const Target& t) {
    if (!InRange(button, t.ctl->buttons.size())) return -1;
    t.ctl->buttons[button].state &= ~bits;
    rt.backend_->Update(*t.win, *t.ctl, Change::ButtonState, button);
    return t.ctl->buttons[button].state;
  });
}

int Control::ButtonState(int button) const {
  return With(-1, Access::Operation, Kind::ToolBar, [&](Runtime&, const Target& t) {
    return InRange(button, t.ctl->buttons.size()) ? t.ctl->buttons[button].state : -1;
  });
}

// --- Report list -------------------------------------------------------------

int Control::InsertRow(int index, const Text& caption) const {
  return With(-1, Access::Operation, Kind::ListView, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    const int n = static_cast<int>(c.rows.size());
    const int at = index < 0 || index > n ? n : index;
    std::vector<Text> row(std::max<std::size_t>(c.def->columns.size(), 1));
    row[0] = caption;
    c.rows.insert(c.rows.begin() + at, std::move(row));
    if (c.selectedRow >= at) ++c.selectedRow;
    if (c.focusedRow >= at) ++c.focusedRow;
    rt.backend_->Update(*t.win, c, Change::RowInserted, at);
    return at;
  });
}

bool Control::DeleteRow(int row) const {
  return With(false, Access::Operation, Kind::ListView, [&](Runtime& rt, const Target& t) {
    ControlState& c = *t.ctl;
    if (!InRange(row, c.rows.size())) return false;
    c.rows.erase(c.rows.begin() + row);
    for (int* r : {&c.selectedRow, &c.focusedRow}) {
      if (*r == row)
        *r = -1;
      else if (*r > row)
        --*r;
    }
    rt.backend_->Update(*t.win, c, Change::RowDeleted, row);
    return true;
  });
}

int Control::RowCount() const {
  return With(0, Access::Operation, Kind::ListView,
              [](Runtime&, const Target& t) { return static_cast<int>(t.ctl->rows.size()); });
}

Text Control::GetCellText(int row, int column) const {
  return With(Text(), Access::Operation, Kind::ListView, [&](Runtime&, const Target& t) {
    if (!InRange(row, t.ctl->rows.size())) return Text();
    const std::vector<Text>& cells = t.ctl->rows[row];
    return InRange(column, cells.size()) ? cells[column] : Text();
  });
}

bool Control::SetCellText(int row, int column, const Text& text) const {
  return With(false, Access::Operation, Kind::ListView, [&](Runtime& rt, const Target& t) {
    if (!InRange(row, t.ctl->rows.size())) return false;
    std::vector<Text>& cells = t.ctl->rows[row];
    if (!InRange(column, cells.size())) return false;
    cells[column] = text;
    rt.backend_->Update(*t.win, *t.ctl, Change::Cell, row, column);
    return true;
  });
}

// --- Window and control services ----------------------------------------------

// Unlike the other operations, asking for the handle of a window that is not
// open is no error: the answer 0 says so.
std::uintptr_t Control::Handle() const {
  Runtime* rt = Runtime::Current();
  if (rt == nullptr) return 0;
  return rt->OnMain<std::uintptr_t>(
      [&]() -> std::uintptr_t {
        std::shared_ptr<WindowState> win = rt->OpenWindow(window_);
        if (!win) return 0;
        if (name_.empty()) return rt->backend_->Handle(*win, nullptr);
        ControlState* c = win->Find(name_);
        if (c == nullptr) {
          rt->RaiseError(kErrNoSuchControl, static_cast<int>(window_), name_);
          return 0;
        }
        return rt->backend_->Handle(*win, c);
      },
      0);
}

void Control::Focus() const {
  Do(Access::Operation, {},
     [](Runtime& rt, const Target& t) { rt.backend_->Focus(*t.win, *t.ctl); });
}

void Control::AppendText(std::initializer_list<Text> texts) const {
  for (const Text& t : texts) AppendText(t);
}

void Control::AppendText(const Text& text) const {
  Do(Access::Operation, Kind::EditBox, [&](Runtime& rt, const Target& t) {
    t.ctl->text += text;
    rt.backend_->AppendText(*t.win, *t.ctl, text);
    rt.Raise(t.win, t.ctl, EventKind::TextChanged);
  });
}

bool Control::IsEnabled() const {
  return With(false, Access::Operation, {},
              [](Runtime&, const Target& t) { return t.ctl->enabled; });
}

void Control::SetEnabled(bool enabled) const {
  Do(Access::Operation, {}, [&](Runtime& rt, const Target& t) {
    if (t.ctl->enabled == enabled) return;
    t.ctl->enabled = enabled;
    rt.backend_->Update(*t.win, *t.ctl, Change::Enabled);
  });
}

// Whether the window is shown and, for a control, whether it is on screen;
// asking about a window that is not open or a control it lacks is no error.
bool Control::IsShown() const {
  Runtime* rt = Runtime::Current();
  if (rt == nullptr) return false;
  return rt->OnMain<bool>(
      [&] {
        std::shared_ptr<WindowState> win = rt->OpenWindow(window_);
        if (!win || !win->shown) return false;
        if (name_.empty()) return true;
        ControlState* c = win->Find(name_);
        return c != nullptr && ControlShown(*win, c->index);
      },
      false);
}

}  // namespace quillane::ui

#include "ui/model.h"

namespace quillane::ui {

ControlState* WindowState::Find(std::string_view name) {
  for (auto& c : controls) {
    if (name == c.def->name) return &c;
  }
  return nullptr;
}

WindowState MakeWindowState(const WindowDef& def, std::uintptr_t owner, const Place& place) {
  WindowState win;
  win.id = def.id;
  win.def = &def;
  win.owner = owner;
  win.place = place;
  win.controls.resize(def.controls.size());
  for (std::size_t k = 0; k < def.controls.size(); ++k) {
    const ControlDef& d = def.controls[k];
    ControlState& c = win.controls[k];
    c.def = &d;
    c.index = static_cast<int>(k);
    c.place = {d.left, d.top, d.width, d.height};
    c.enabled = !d.disabled;
    c.text = d.text;
    for (const char* item : d.items) c.items.emplace_back(item);
    c.currentIndex = d.initialIndex;
    for (std::size_t p = 0; p < d.pages.size(); ++p) {
      const PageDef& pd = d.pages[p];
      c.pages.push_back(
          {pd.caption, pd.visible, pd.selectable, pd.removable, -1, static_cast<int>(p)});
    }
    if (!c.pages.empty()) c.currentPage = c.pages[0].Selectable() ? 0 : FirstSelectablePage(c);
    for (const PartDef& pd : d.parts) c.parts.push_back({pd.width, pd.text});
    for (const ToolButtonDef& b : d.buttons) {
      c.buttons.push_back({b.caption ? b.caption : "", b.image, b.state, b.IsSeparator()});
    }
  }
  return win;
}

std::vector<int> PartEdges(const std::vector<PartState>& parts) {
  std::vector<int> edges;
  edges.reserve(parts.size());
  int sum = 0;
  bool toEdge = false;
  for (const auto& p : parts) {
    if (toEdge || p.width < 0) {
      toEdge = true;
      edges.push_back(-1);
      continue;
    }
    sum += p.width;
    edges.push_back(sum);
  }
  return edges;
}

int ShownTabOf(const ControlState& tabs, int page) {
  if (page < 0 || page >= static_cast<int>(tabs.pages.size()) || !tabs.pages[page].visible)
    return -1;
  int tab = 0;
  for (int i = 0; i < page; ++i) {
    if (tabs.pages[i].visible) ++tab;
  }
  return tab;
}

int PageOfShownTab(const ControlState& tabs, int tab) {
  if (tab < 0) return -1;
  for (int i = 0; i < static_cast<int>(tabs.pages.size()); ++i) {
    if (tabs.pages[i].visible && tab-- == 0) return i;
  }
  return -1;
}

bool ControlShown(const WindowState& win, int control) {
  for (int i = control; i >= 0;) {
    const ControlState& c = win.controls[i];
    if (!c.def->visible) return false;
    const int parent = c.def->parent;
    if (parent < 0) break;
    const ControlState& p = win.controls[parent];
    if (c.def->page >= 0) {
      // The page of the definition may have moved since pages were inserted.
      const int cur = p.currentPage;
      if (cur < 0 || cur >= static_cast<int>(p.pages.size()) || p.pages[cur].defPage != c.def->page)
        return false;
    }
    i = parent;
  }
  return true;
}

int FirstSelectablePage(const ControlState& tabs) {
  for (int i = 0; i < static_cast<int>(tabs.pages.size()); ++i) {
    if (tabs.pages[i].Selectable()) return i;
  }
  return -1;
}

}  // namespace quillane::ui

#include "ui/model.h"

namespace quillane::ui {

ControlState* WindowState::Find(std::string_view name) {
  for (auto& c : controls) {
    if (name == c.def->name) return &c;
  }
  return nullptr;
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
  if (page < 0 || page >= static_cast<int>(tabs.pages.size()) || !tabs.pages[page].visible) return -1;
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
      if (cur < 0 || cur >= static_cast<int>(p.pages.size()) || p.pages[cur].defPage != c.def->page) return false;
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

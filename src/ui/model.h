// The state of open windows and their controls, kept by the runtime and
// mirrored by a backend (Win32 or headless). Everything the logic can observe
// lives here; the backends only show it and report what the user does.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "services/types.h"
#include "ui/definitions.h"

namespace quillane::ui {

struct Place {
  int left = 0, top = 0, width = 0, height = 0;
};

struct PageState {
  Text caption;
  bool visible = true;
  bool selectable = true;
  bool removable = true;
  int image = -1;
  int defPage = -1;  // the page's index in the definition; -1 for pages added at run time
  bool Selectable() const { return visible && selectable; }
};

struct PartState {
  int width = 50;
  Text text;
};

struct ButtonState {
  Text caption;
  int image = -1;
  int state = 0;  // ButtonStateBits
  bool separator = false;
};

struct ControlState {
  const ControlDef* def = nullptr;
  int index = 0;
  Place place;
  bool enabled = true;
  Text text;
  std::vector<Text> items;  // combo box
  int currentIndex = -1;
  std::vector<PageState> pages;  // tab control
  int currentPage = -1;
  std::vector<PartState> parts;         // status bar
  std::vector<ButtonState> buttons;     // tool bar
  std::vector<std::vector<Text>> rows;  // report list, one text per column
  int selectedRow = -1;
  int focusedRow = -1;
  void* native = nullptr;  // the backend's handle of the control (Win32: its HWND), not owned
};

struct WindowState {
  WindowId id = WindowId::Main;
  const WindowDef* def = nullptr;
  std::vector<ControlState> controls;  // same order as def->controls; never resized
  Place place;                         // outer place when built
  std::uintptr_t owner = 0;
  bool exists = false;  // between building and destruction
  bool shown = false;
  ControlState* Find(std::string_view name);
};

// The state of a window as its definition describes it, at the given outer
// place, before it is built.
WindowState MakeWindowState(const WindowDef& def, std::uintptr_t owner, const Place& place);

// Right edges of status-bar parts: each the sum of the widths so far; a width
// of -1 reaches the right edge of the bar (-1), and so do the parts after it.
std::vector<int> PartEdges(const std::vector<PartState>& parts);

// Position of a page among the tabs actually shown (hidden pages have no tab);
// -1 for a hidden page or an index that is not a page.
int ShownTabOf(const ControlState& tabs, int page);
// The page shown as the given tab, -1 if there is none.
int PageOfShownTab(const ControlState& tabs, int tab);

// Whether a control is on screen: its own visible flag, and every tab page on
// the way up to the window is its tab control's current page.
bool ControlShown(const WindowState& win, int control);

// The first selectable page, -1 if there is none.
int FirstSelectablePage(const ControlState& tabs);

}  // namespace quillane::ui

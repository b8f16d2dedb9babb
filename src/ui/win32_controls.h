// The Win32 backend's native side of a window and its controls: what a
// window owns (fonts, tool-bar images, the brush of its white boxes), how
// controls are made from their state, and how a change of the state is shown
// in them. Only the Win32 backend includes this header.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "services/unique_handle.h"
#include "ui/model.h"

namespace quillane::ui {

// Image lists of ImageList_Create.
using UniqueImageList = UniqueNullable<HIMAGELIST, &ImageList_Destroy>;

// What the backend keeps for an open window. The window procedure finds it
// through the window's user data; the window's controls are destroyed with
// the window before the fonts, images and brush they use.
struct WinNative {
  WindowState* win = nullptr;
  HWND hwnd = nullptr;
  std::vector<UniqueFont> fonts;
  UniqueImageList images;
  UniqueBrush white;
  HFONT guiFont = nullptr;  // default font of the controls
  bool building = true;     // no Moved/Resized from the system while building
};

inline HWND Hwnd(const ControlState& c) { return static_cast<HWND>(c.native); }

Text WindowTextOf(HWND hwnd);

// The default font of the controls: the system's default GUI font, or where
// that may not show Chinese well, a Chinese face of the same size (owned by
// the window).
HFONT DefaultFont(WinNative& native);

// Makes the control's window as a child of its parent (the window or another
// control), with its contents; c.native is its handle, null when it could not
// be made.
void CreateControl(HINSTANCE instance, WinNative& native, ControlState& c);

// Makes a tab strip pass its children's notices on to the top-level window,
// as the tab strips of the windows do; every other message goes on to the
// tab strip's own procedure without a call into the window system.
void SubclassTabStrip(HWND tabs);

// --- Showing state changes ----------------------------------------------------

BYTE ToolState(int bits);
void InsertTab(HWND tabs, int tab, const PageState& page);
void SetTabCaption(HWND tabs, int tab, const Text& caption);
void InsertRow(HWND list, const ControlState& c, int row);
void SetCell(HWND list, const ControlState& c, int row, int col);
// Shows the current page's controls and hides the others' and selects the
// current tab.
void SyncPages(WindowState& win, ControlState& tabs);
void SyncParts(ControlState& c);
void SyncSelection(ControlState& c);

}  // namespace quillane::ui

// The two window definitions of the program, held as read-only data tables.
// Windows are built from them at run time; the logic and uidriver address the
// controls by the names given here (GBK bytes, like every text of the program).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace quillane::ui {

enum class WindowId : int { Main = 0, Settings = 1 };
constexpr int kWindowCount = 2;

enum class Kind {
  EditBox,
  GroupBox,
  Button,
  ComboBox,
  PageControl,
  StatusBar,
  ToolBar,
  ListView,
  TransLabel
};

// Events a window or control can raise. The handler receives up to three
// integer arguments; the asking events (MayClose, PageChanging) return a bool.
enum class EventKind {
  Created,
  MayClose,
  Destroying,
  Moved,
  Resized,
  ButtonClicked,    // tool bar: button index, separators counted
  DropDownClicked,  // tool bar: button index, screen x, y
  PageChanged,
  PageChanging,  // new page index; false keeps the current page
  RowChanged,
  RowActivated,
  ColumnClicked,  // column index
  Clicked,
  TextChanged,
};

// 0xFF000000: the system's default colour of that element.
constexpr std::uint32_t kSystemColour = 0xFF000000u;

struct FontDef {
  const char* face;  // ASCII face name, e.g. "SimSun"
  int height;        // LOGFONT height (negative: character height)
  int weight;
  int charset;  // 134: GB2312
};

enum class Align { Left, Right, Centre };

struct ColumnDef {
  const char* header;
  int width;
  Align align;
};

struct PageDef {
  const char* caption;
  bool visible;
  bool selectable;
  bool removable;
};

struct PartDef {
  int width;
  const char* text;
};

// Tool-bar button state bits.
enum ButtonStateBits : int {
  kChecked = 1,
  kPressed = 2,
  kDisabled = 4,
  kHidden = 8,
  kIndeterminate = 16
};

struct ToolButtonDef {
  const char* caption;  // nullptr for a separator
  int image;            // index into the tool bar's image list, -1 for none
  int state;            // ButtonStateBits
  bool IsSeparator() const { return caption == nullptr; }
};

struct EventBinding {
  EventKind event;
  const char* handler;  // name an application handler is bound to
};

// Parent of a control: the window itself (kParentWindow) or another control
// of the same definition by index; for a tab control, also the page.
constexpr int kParentWindow = -1;

struct ControlDef {
  const char* name;
  Kind kind;
  int parent = kParentWindow;
  int page = -1;  // page of the parent tab control, -1 when the parent is not one
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true;
  bool disabled = false;
  bool tabStop = false;
  const char* text = "";  // caption or initial text
  const FontDef* font = nullptr;
  std::uint32_t textColour = kSystemColour;
  std::uint32_t backColour = kSystemColour;
  // Edit boxes (and labels: multiLine wraps a label's text).
  bool multiLine = false;
  Align textAlign = Align::Left;
  bool wholeNumber = false;  // typing accepts only digits and '-'
  // Combo boxes.
  std::vector<const char*> items;
  int initialIndex = -1;
  // Kind-specific contents.
  std::vector<ColumnDef> columns;
  std::vector<PageDef> pages;
  std::vector<PartDef> parts;
  std::vector<ToolButtonDef> buttons;
  std::vector<EventBinding> events;
};

enum class StartPosition { CentreScreen };

struct WindowDef {
  WindowId id;
  const char* name;     // name used in run-time error reports
  const char* caption;  // title-bar text
  int width, height;    // outer size
  bool resizable;
  bool minimizeBox, maximizeBox;
  bool movable;
  bool showInTaskBar;
  bool visible;
  std::vector<EventBinding> events;
  std::vector<ControlDef> controls;  // parents come before their children
};

const WindowDef& GetWindowDef(WindowId id);

// Index of the named control in the definition, -1 if there is none.
int FindControl(const WindowDef& def, std::string_view name);

// The native control id of a control: one fixed number per control of a
// definition, shared by the Win32 runtime and uidriver.
constexpr int kControlIdBase = 0x5100;
inline int ControlNativeId(int controlIndex) { return kControlIdBase + controlIndex; }

// Tool-bar buttons carry the command id kToolCommandBase + their index.
constexpr int kToolCommandBase = 0x6100;

// Whether an edit box with the whole-number filter accepts a typed character:
// control characters pass, others only when they are 0-9 or '-'.
bool WholeNumberAccepts(std::uint32_t ch);

// The tool bar's images: 17 x 17 pixels, 0xAARRGGBB, on a white background.
constexpr int kToolImageSize = 17;
constexpr int kToolImageCount = 5;
using ToolImage = std::array<std::uint32_t, kToolImageSize * kToolImageSize>;
const std::array<ToolImage, kToolImageCount>& ToolBarImages();

}  // namespace quillane::ui

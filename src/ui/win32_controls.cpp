#include "ui/win32_controls.h"

#include <algorithm>
#include <string>

#include "services/encoding.h"
#include "ui/win32_backend.h"

namespace quillane::ui {
namespace {

// --- Fonts -------------------------------------------------------------------

int CALLBACK FoundFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  const WindowDc screen(nullptr);
  EnumFontFamiliesExW(screen.get(), &lf, FoundFont, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The face to use for a defined font: itself when installed (SimSun also under
// its Chinese name), else the first installed Chinese face, else none (the
// font mapper then picks a face of the character set).
std::wstring ChooseFace(const char* face) {
  const std::wstring wanted = WideFromGbk(face);
  if (FontInstalled(wanted.c_str())) return wanted;
  if (wanted == L"SimSun" && FontInstalled(L"\u5B8B\u4F53")) return L"\u5B8B\u4F53";
  for (const wchar_t* f :
       {L"NSimSun", L"Microsoft YaHei", L"SimHei", L"WenQuanYi Zen Hei", L"Noto Sans CJK SC"}) {
    if (FontInstalled(f)) return f;
  }
  return L"";
}

UniqueFont MakeFont(const FontDef& f) {
  LOGFONTW lf{};
  lf.lfHeight = f.height;
  lf.lfWeight = f.weight;
  lf.lfCharSet = static_cast<BYTE>(f.charset);
  lf.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = ChooseFace(f.face);
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&lf));
}

// A font the window keeps until it is destroyed.
HFONT KeepFont(WinNative& native, UniqueFont font) {
  native.fonts.push_back(std::move(font));
  return native.fonts.back().get();
}

// --- Tool-bar images ------------------------------------------------------------

UniqueImageList MakeToolImages() {
  UniqueImageList list(
      ImageList_Create(kToolImageSize, kToolImageSize, ILC_COLOR32 | ILC_MASK, kToolImageCount, 0));
  for (const ToolImage& img : ToolBarImages()) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = kToolImageSize;
    bi.bmiHeader.biHeight = -kToolImageSize;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap colour;
    {
      const WindowDc screen(nullptr);
      colour.reset(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    }
    if (!colour || bits == nullptr) continue;
    // The white background becomes transparent: alpha 0 (premultiplied),
    // and set in the mask for the drawing without alpha.
    auto* px = static_cast<std::uint32_t*>(bits);
    std::vector<BYTE> mask(static_cast<std::size_t>(kToolImageSize) * 4,
                           0);  // rows padded to 32 bits
    for (int y = 0; y < kToolImageSize; ++y) {
      for (int x = 0; x < kToolImageSize; ++x) {
        const std::uint32_t p = img[y * kToolImageSize + x];
        const bool background = p == 0xFFFFFFFFu;
        px[y * kToolImageSize + x] = background ? 0u : p;
        if (background) mask[y * 4 + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      }
    }
    const UniqueBitmap maskBmp(CreateBitmap(kToolImageSize, kToolImageSize, 1, 1, nullptr));
    // CreateBitmap wants rows padded to 16 bits: 17 pixels need 4 bytes.
    SetBitmapBits(maskBmp.get(), static_cast<LONG>(mask.size()), mask.data());
    ImageList_Add(list.get(), colour.get(), maskBmp.get());
  }
  return list;
}

// --- Subclass procedures ------------------------------------------------------------

// An edit box that takes whole numbers only.
LRESULT CALLBACK NumberProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_CHAR && !WholeNumberAccepts(static_cast<std::uint32_t>(wp))) {
    MessageBeep(0);
    return 0;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// Group boxes and tab strips: their children send their notifications to
// them; they pass them on to the top-level window. True, with the answer,
// when the message was such a notice of one of our own controls.
bool ForwardChildNotice(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* answer) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
      // Only for our own controls; a window placed here by another program
      // keeps its messages to itself.
      HWND from =
          msg == WM_NOTIFY ? reinterpret_cast<NMHDR*>(lp)->hwndFrom : reinterpret_cast<HWND>(lp);
      if (from != nullptr && GetPropW(from, kWin32ControlProp) != nullptr) {
        *answer = SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK ForwardProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                             DWORD_PTR groupBox) {
  if (msg == WM_ERASEBKGND && groupBox) {
    // A group box paints no inside of its own; it is white.
    RECT r{};
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 1;
  }
  LRESULT answer = 0;
  if (ForwardChildNotice(hwnd, msg, wp, lp, &answer)) return answer;
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// The tab strip's own procedure: that of its window class.
WNDPROC TabStripClassProc(HWND hwnd) {
  return reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd, GCLP_WNDPROC));
}

// Tab strips pass their children's notices on in a subclass made by hand:
// the common controls' subclassing looks its list up in a window property on
// every message, which under Wine is a call into the window server each time,
// and every message a shop client sends the host passes the main window's tab
// strip.
LRESULT CALLBACK TabStripProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT answer = 0;
  if (ForwardChildNotice(hwnd, msg, wp, lp, &answer)) return answer;
  return CallWindowProcW(TabStripClassProc(hwnd), hwnd, msg, wp, lp);
}

}  // namespace

void SubclassTabStrip(HWND h) {
  const auto previous =
      SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TabStripProc));
  // Only a tab strip still on its class's procedure can be subclassed by
  // hand; any other gets the common controls' subclass.
  if (reinterpret_cast<WNDPROC>(previous) != TabStripClassProc(h)) {
    SetWindowLongPtrW(h, GWLP_WNDPROC, previous);
    SetWindowSubclass(h, &ForwardProc, 2, 0);
  }
}

namespace {

// --- Making controls ---------------------------------------------------------

// The window class and styles of a control of the given definition.
struct ControlClass {
  const wchar_t* name = WC_STATICW;
  DWORD style = 0;
  DWORD exStyle = 0;
  int height = 0;
  bool textual = false;  // made with its text
};

ControlClass ClassFor(const ControlDef& d) {
  ControlClass k;
  k.height = d.height;
  switch (d.kind) {
    case Kind::EditBox:
      k = {WC_EDITW,
           d.multiLine ? DWORD{ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN}
                       : DWORD{ES_AUTOHSCROLL},
           WS_EX_CLIENTEDGE, d.height, true};
      if (d.textAlign == Align::Right) k.style |= ES_RIGHT;
      if (d.textAlign == Align::Centre) k.style |= ES_CENTER;
      break;
    case Kind::GroupBox:
      k = {WC_BUTTONW, BS_GROUPBOX | WS_CLIPCHILDREN, 0, d.height, true};
      break;
    case Kind::Button:
      k = {WC_BUTTONW, BS_PUSHBUTTON, 0, d.height, true};
      break;
    case Kind::ComboBox:
      // Room below for the drop-down list.
      k = {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL, 0, d.height + 160, false};
      break;
    case Kind::PageControl:
      k = {WC_TABCONTROLW, WS_CLIPCHILDREN, 0, d.height, false};
      break;
    case Kind::StatusBar:
      k = {STATUSCLASSNAMEW, 0, 0, d.height, false};
      break;
    case Kind::ToolBar:
      k = {TOOLBARCLASSNAMEW, TBSTYLE_FLAT | CCS_TOP, 0, d.height, false};
      break;
    case Kind::ListView:
      // The chosen row stays marked while the user types into other
      // controls, so it is clear which row 修改 and 删除 will act on.
      k = {WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, d.height,
           false};
      break;
    case Kind::TransLabel:
      // One line, as a caption; a multi-line label wraps its text.
      k = {WC_STATICW, static_cast<DWORD>(d.multiLine ? SS_LEFT : SS_LEFTNOWORDWRAP) | SS_NOPREFIX,
           0, d.height, true};
      break;
  }
  return k;
}

void FillToolBar(HWND h, WinNative& native, const ControlState& c) {
  SendMessageW(h, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  native.images = MakeToolImages();
  SendMessageW(h, TB_SETBITMAPSIZE, 0, MAKELPARAM(kToolImageSize, kToolImageSize));
  SendMessageW(h, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(native.images.get()));
  std::vector<std::wstring> captions;
  captions.reserve(c.buttons.size());
  std::vector<TBBUTTON> buttons(c.buttons.size());
  for (std::size_t i = 0; i < c.buttons.size(); ++i) {
    const ButtonState& b = c.buttons[i];
    captions.push_back(WideFromGbk(b.caption));
    TBBUTTON& t = buttons[i];
    t.idCommand = kToolCommandBase + static_cast<int>(i);
    t.fsState = ToolState(b.state);
    if (b.separator) {
      t.iBitmap = 0;
      t.fsStyle = BTNS_SEP;
    } else {
      t.iBitmap = b.image < 0 ? I_IMAGENONE : b.image;
      t.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
      t.iString = reinterpret_cast<INT_PTR>(captions.back().c_str());
    }
  }
  SendMessageW(h, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  SendMessageW(h, TB_AUTOSIZE, 0, 0);
}

void AddColumns(HWND h, const ControlDef& d) {
  SendMessageW(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  for (std::size_t i = 0; i < d.columns.size(); ++i) {
    const ColumnDef& col = d.columns[i];
    std::wstring text = WideFromGbk(col.header);
    LVCOLUMNW lc{};
    lc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    lc.fmt = col.align == Align::Centre  ? LVCFMT_CENTER
             : col.align == Align::Right ? LVCFMT_RIGHT
                                         : LVCFMT_LEFT;
    lc.cx = col.width;
    lc.pszText = text.data();
    lc.iSubItem = static_cast<int>(i);
    SendMessageW(h, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&lc));
  }
}

// The contents a control of the given kind starts with.
void FillControl(HWND h, WinNative& native, ControlState& c) {
  const ControlDef& d = *c.def;
  switch (d.kind) {
    case Kind::EditBox:
      SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no length limit beyond the system's own
      if (d.wholeNumber) SetWindowSubclass(h, &NumberProc, 1, 0);
      break;
    case Kind::GroupBox:
      SetWindowSubclass(h, &ForwardProc, 2, 1);
      break;
    case Kind::PageControl:
      SubclassTabStrip(h);
      for (const auto& p : c.pages) {
        if (p.visible) InsertTab(h, static_cast<int>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0)), p);
      }
      SendMessageW(h, TCM_SETCURSEL, static_cast<WPARAM>(ShownTabOf(c, c.currentPage)), 0);
      break;
    case Kind::ComboBox:
      for (const auto& item : c.items) {
        SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromGbk(item).c_str()));
      }
      SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(c.currentIndex), 0);
      break;
    case Kind::StatusBar:
      SyncParts(c);
      break;
    case Kind::ToolBar:
      FillToolBar(h, native, c);
      break;
    case Kind::ListView:
      AddColumns(h, d);
      break;
    case Kind::Button:
    case Kind::TransLabel:
      break;
  }
}

}  // namespace

Text WindowTextOf(HWND hwnd) {
  const int len = GetWindowTextLengthW(hwnd);
  std::wstring buf(static_cast<std::size_t>(len) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, buf.data(), len + 1);
  return GbkFromWide(std::wstring_view(buf.data(), static_cast<std::size_t>(std::max(got, 0))));
}

HFONT DefaultFont(WinNative& native) {
  if (GetACP() != 936) {
    static const FontDef kChineseGui{"SimSun", -12, 400, 134};
    if (UniqueFont font = MakeFont(kChineseGui)) return KeepFont(native, std::move(font));
  }
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void CreateControl(HINSTANCE instance, WinNative& native, ControlState& c) {
  const ControlDef& d = *c.def;
  WindowState& win = *native.win;
  HWND parent = d.parent < 0 ? native.hwnd : Hwnd(win.controls[d.parent]);
  const ControlClass k = ClassFor(d);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | k.style;
  if (ControlShown(win, c.index)) style |= WS_VISIBLE;
  if (d.disabled) style |= WS_DISABLED;
  if (d.tabStop) style |= WS_TABSTOP;
  HWND h = CreateWindowExW(k.exStyle, k.name, k.textual ? WideFromGbk(c.text).c_str() : L"", style,
                           d.left, d.top, d.width, k.height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlNativeId(c.index))),
                           instance, nullptr);
  if (h == nullptr) return;
  c.native = h;
  SetPropW(h, kWin32ControlProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(c.index + 1)));
  const HFONT font = d.font != nullptr ? KeepFont(native, MakeFont(*d.font)) : native.guiFont;
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  FillControl(h, native, c);
}

// --- Showing state changes ----------------------------------------------------

BYTE ToolState(int bits) {
  BYTE s = 0;
  if (bits & kChecked) s |= TBSTATE_CHECKED;
  if (bits & kPressed) s |= TBSTATE_PRESSED;
  if (!(bits & kDisabled)) s |= TBSTATE_ENABLED;
  if (bits & kHidden) s |= TBSTATE_HIDDEN;
  if (bits & kIndeterminate) s |= TBSTATE_INDETERMINATE;
  return s;
}

void InsertTab(HWND tabs, int tab, const PageState& page) {
  std::wstring text = WideFromGbk(page.caption);
  TCITEMW item{};
  item.mask = TCIF_TEXT | TCIF_IMAGE;
  item.pszText = text.data();
  item.iImage = page.image;
  SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
}

void SetTabCaption(HWND tabs, int tab, const Text& caption) {
  std::wstring text = WideFromGbk(caption);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = text.data();
  SendMessageW(tabs, TCM_SETITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
  InvalidateRect(tabs, nullptr, TRUE);
}

void InsertRow(HWND list, const ControlState& c, int row) {
  std::wstring text = WideFromGbk(c.rows[row][0]);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = text.data();
  SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  for (int col = 1; col < static_cast<int>(c.rows[row].size()); ++col) SetCell(list, c, row, col);
}

void SetCell(HWND list, const ControlState& c, int row, int col) {
  std::wstring text = WideFromGbk(c.rows[row][col]);
  LVITEMW item{};
  item.iSubItem = col;
  item.pszText = text.data();
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void SyncPages(WindowState& win, ControlState& tabs) {
  SendMessageW(Hwnd(tabs), TCM_SETCURSEL, static_cast<WPARAM>(ShownTabOf(tabs, tabs.currentPage)),
               0);
  for (auto& c : win.controls) {
    if (c.def->page < 0 || Hwnd(c) == nullptr) continue;
    ShowWindow(Hwnd(c), ControlShown(win, c.index) ? SW_SHOW : SW_HIDE);
  }
}

void SyncParts(ControlState& c) {
  std::vector<int> edges = PartEdges(c.parts);
  SendMessageW(Hwnd(c), SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (std::size_t i = 0; i < c.parts.size(); ++i) {
    SendMessageW(Hwnd(c), SB_SETTEXTW, i | SBT_NOBORDERS,
                 reinterpret_cast<LPARAM>(WideFromGbk(c.parts[i].text).c_str()));
  }
}

namespace {
// Sets the given state bits of a report-list row (-1: of every row).
void SetRowState(HWND list, int row, UINT mask, UINT state) {
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}
}  // namespace

void SyncSelection(ControlState& c) {
  HWND h = Hwnd(c);
  SetRowState(h, -1, LVIS_SELECTED, 0);
  if (c.focusedRow >= 0) SetRowState(h, c.focusedRow, LVIS_FOCUSED, LVIS_FOCUSED);
  if (c.selectedRow >= 0) {
    SetRowState(h, c.selectedRow, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(h, LVM_ENSUREVISIBLE, static_cast<WPARAM>(c.selectedRow), FALSE);
  }
}

}  // namespace quillane::ui

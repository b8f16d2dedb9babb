#include "ui/win32_backend.h"

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <string>
#include <vector>

#include "services/encoding.h"
#include "ui/runtime.h"

namespace quillane::ui {
namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr wchar_t kCallWindowClass[] = L"QuillaneCalls";

std::wstring W(std::string_view gbk) {
  const std::u16string u = GbkToUtf16(gbk);
  return std::wstring(u.begin(), u.end());
}

Text FromW(const wchar_t* s, int len) {
  return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(s), static_cast<std::size_t>(len)));
}

Text WindowTextOf(HWND hwnd) {
  const int len = GetWindowTextLengthW(hwnd);
  std::wstring buf(static_cast<std::size_t>(len) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, buf.data(), len + 1);
  return FromW(buf.data(), std::max(got, 0));
}

HWND Hwnd(const ControlState& c) { return static_cast<HWND>(c.native); }

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
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, FoundFont, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

// The face to use for a defined font: itself when installed (SimSun also under
// its Chinese name), else the first installed Chinese face, else none (the
// font mapper then picks a face of the character set).
std::wstring ChooseFace(const char* face) {
  const std::wstring wanted = W(face);
  if (FontInstalled(wanted.c_str())) return wanted;
  if (wanted == L"SimSun" && FontInstalled(L"\u5B8B\u4F53")) return L"\u5B8B\u4F53";
  for (const wchar_t* f : {L"NSimSun", L"Microsoft YaHei", L"SimHei", L"WenQuanYi Zen Hei", L"Noto Sans CJK SC"}) {
    if (FontInstalled(f)) return f;
  }
  return L"";
}

HFONT MakeFont(const FontDef& f) {
  LOGFONTW lf{};
  lf.lfHeight = f.height;
  lf.lfWeight = f.weight;
  lf.lfCharSet = static_cast<BYTE>(f.charset);
  lf.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = ChooseFace(f.face);
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

// The font of controls without one of their own: the system's default GUI
// font. On a system whose code page is not Chinese that font may not show
// Chinese well, so a Chinese face of the same size stands in for it.
HFONT MakeDefaultFont() {
  if (GetACP() == 936) return nullptr;  // the stock font serves
  static const FontDef kChineseGui{"SimSun", -12, 400, 134};
  return MakeFont(kChineseGui);
}

// --- Per-window native data ---------------------------------------------------

struct WinNative {
  HWND hwnd = nullptr;
  std::vector<HFONT> fonts;
  HIMAGELIST images = nullptr;
  HBRUSH white = nullptr;
  HFONT guiFont = nullptr;  // default font of the controls
  bool building = true;  // no Moved/Resized from the system while building
  ~WinNative() {
    for (HFONT f : fonts) DeleteObject(f);
    if (images) ImageList_Destroy(images);
    if (white) DeleteObject(white);
  }
};

WinNative* NativeOf(WindowState& w) { return static_cast<WinNative*>(w.native); }

COLORREF Colour(std::uint32_t c, COLORREF fallback) { return c == kSystemColour ? fallback : static_cast<COLORREF>(c); }

class Win32Backend;
Win32Backend* g_backend = nullptr;

class Win32Backend : public Backend {
 public:
  Win32Backend() {
    g_backend = this;
    instance_ = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                              ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &Win32Backend::TopProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWin32WindowClass;
    RegisterClassExW(&wc);
    WNDCLASSEXW cc{};
    cc.cbSize = sizeof(cc);
    cc.lpfnWndProc = &Win32Backend::CallProc;
    cc.hInstance = instance_;
    cc.lpszClassName = kCallWindowClass;
    RegisterClassExW(&cc);
    callWindow_ = CreateWindowExW(0, kCallWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr);
  }

  ~Win32Backend() override {
    if (callWindow_) DestroyWindow(callWindow_);
    g_backend = nullptr;
  }

  Place Screen() override { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

  bool Create(WindowState& win) override {
    const WindowDef& d = *win.def;
    auto* native = new WinNative();
    native->white = CreateSolidBrush(RGB(255, 255, 255));
    win.native = native;
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (d.resizable) style |= WS_THICKFRAME;
    if (d.minimizeBox) style |= WS_MINIMIZEBOX;
    if (d.maximizeBox) style |= WS_MAXIMIZEBOX;
    HWND owner = reinterpret_cast<HWND>(win.owner);
    HWND hwnd = CreateWindowExW(0, kWin32WindowClass, W(d.caption).c_str(), style, win.place.left, win.place.top,
                                win.place.width, win.place.height, owner, nullptr, instance_, &win);
    if (hwnd == nullptr) {
      delete native;
      win.native = nullptr;
      return false;
    }
    native->hwnd = hwnd;
    if (!d.movable) DeleteMenu(GetSystemMenu(hwnd, FALSE), SC_MOVE, MF_BYCOMMAND);
    native->guiFont = MakeDefaultFont();
    if (native->guiFont != nullptr) native->fonts.push_back(native->guiFont);
    else native->guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(native->guiFont), FALSE);
    for (auto& c : win.controls) CreateControl(win, c);
    native->building = false;
    return true;
  }

  void Show(WindowState& win) override {
    HWND hwnd = NativeOf(win)->hwnd;
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
  }

  void BringToFront(WindowState& win) override {
    HWND hwnd = NativeOf(win)->hwnd;
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    else SetForegroundWindow(hwnd);
  }

  void Destroy(WindowState& win) override {
    WinNative* native = NativeOf(win);
    if (native == nullptr) return;
    SetWindowLongPtrW(native->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(native->hwnd);
    for (auto& c : win.controls) c.native = nullptr;
    delete native;
    win.native = nullptr;
  }

  void Update(WindowState& win, ControlState& c, Change change, int a, int b) override {
    HWND h = Hwnd(c);
    if (h == nullptr) return;
    ++suppress_;
    switch (change) {
      case Change::Place:
        MoveWindow(h, c.place.left, c.place.top, c.place.width, c.place.height, TRUE);
        break;
      case Change::Text:
        SetWindowTextW(h, W(c.text).c_str());
        break;
      case Change::ComboIndex:
        SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(c.currentIndex), 0);
        break;
      case Change::PageInserted: {
        const int tab = ShownTabOf(c, a);
        if (tab >= 0) InsertTab(h, tab, c.pages[a]);
        SyncPages(win, c);
        break;
      }
      case Change::PageDeleted:
        if (b >= 0) SendMessageW(h, TCM_DELETEITEM, static_cast<WPARAM>(b), 0);
        SyncPages(win, c);
        break;
      case Change::PagesCleared:
        SendMessageW(h, TCM_DELETEALLITEMS, 0, 0);
        SyncPages(win, c);
        break;
      case Change::PageCaption: {
        const int tab = ShownTabOf(c, a);
        if (tab >= 0) {
          std::wstring text = W(c.pages[a].caption);
          TCITEMW item{};
          item.mask = TCIF_TEXT;
          item.pszText = text.data();
          SendMessageW(h, TCM_SETITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
          InvalidateRect(h, nullptr, TRUE);
        }
        break;
      }
      case Change::CurrentPage:
        SyncPages(win, c);
        break;
      case Change::Parts:
        SyncParts(c);
        break;
      case Change::ButtonState:
        SendMessageW(h, TB_SETSTATE, static_cast<WPARAM>(kToolCommandBase + a),
                     MAKELPARAM(ToolState(c.buttons[a].state), 0));
        break;
      case Change::RowInserted: {
        std::wstring text = W(c.rows[a][0]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = a;
        item.pszText = text.data();
        SendMessageW(h, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int col = 1; col < static_cast<int>(c.rows[a].size()); ++col) SetCell(h, c, a, col);
        SyncSelection(c);
        break;
      }
      case Change::RowDeleted:
        SendMessageW(h, LVM_DELETEITEM, static_cast<WPARAM>(a), 0);
        SyncSelection(c);
        break;
      case Change::Cell:
        SetCell(h, c, a, b);
        break;
      case Change::Selection:
        SyncSelection(c);
        break;
      case Change::Enabled:
        EnableWindow(h, c.enabled ? TRUE : FALSE);
        break;
    }
    --suppress_;
  }

  Place QueryPlace(WindowState& win, ControlState* c) override {
    HWND h = c ? Hwnd(*c) : NativeOf(win)->hwnd;
    RECT r{};
    GetWindowRect(h, &r);
    if (c != nullptr) MapWindowPoints(HWND_DESKTOP, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }

  Place QueryClient(WindowState& win, ControlState* c) override {
    HWND h = c ? Hwnd(*c) : NativeOf(win)->hwnd;
    RECT r{};
    GetClientRect(h, &r);
    return {0, 0, r.right - r.left, r.bottom - r.top};
  }

  std::uintptr_t Handle(WindowState& win, ControlState* c) override {
    return reinterpret_cast<std::uintptr_t>(c ? Hwnd(*c) : NativeOf(win)->hwnd);
  }

  void Focus(WindowState&, ControlState& c) override { SetFocus(Hwnd(c)); }

  bool QueryText(WindowState&, ControlState& c, Text* text) override {
    if (Hwnd(c) == nullptr) return false;
    *text = WindowTextOf(Hwnd(c));
    return true;
  }

  void AppendText(WindowState&, ControlState& c, const Text& text) override {
    HWND h = Hwnd(c);
    ++suppress_;
    const int len = GetWindowTextLengthW(h);
    SendMessageW(h, EM_SETSEL, static_cast<WPARAM>(len), static_cast<LPARAM>(len));
    SendMessageW(h, EM_SCROLLCARET, 0, 0);
    SendMessageW(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(W(text).c_str()));
    --suppress_;
  }

  void Wake() override { PostMessageW(callWindow_, kWakeMessage, 0, 0); }

  int RunLoop() override {
    MSG msg;
    for (;;) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) break;
      HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
      if (root != nullptr && IsOurWindow(root) && IsDialogMessageW(root, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return 0;
  }

  void QuitLoop() override { PostQuitMessage(0); }

 private:
  static bool IsOurWindow(HWND hwnd) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return lstrcmpW(cls, kWin32WindowClass) == 0;
  }

  static BYTE ToolState(int bits) {
    BYTE s = 0;
    if (bits & kChecked) s |= TBSTATE_CHECKED;
    if (bits & kPressed) s |= TBSTATE_PRESSED;
    if (!(bits & kDisabled)) s |= TBSTATE_ENABLED;
    if (bits & kHidden) s |= TBSTATE_HIDDEN;
    if (bits & kIndeterminate) s |= TBSTATE_INDETERMINATE;
    return s;
  }

  static void InsertTab(HWND h, int tab, const PageState& page) {
    std::wstring text = W(page.caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = text.data();
    item.iImage = page.image;
    SendMessageW(h, TCM_INSERTITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
  }

  static void SetCell(HWND h, const ControlState& c, int row, int col) {
    std::wstring text = W(c.rows[row][col]);
    LVITEMW item{};
    item.iSubItem = col;
    item.pszText = text.data();
    SendMessageW(h, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }

  // Shows the current page's controls and hides the others' and selects the
  // current tab.
  static void SyncPages(WindowState& win, ControlState& tabs) {
    SendMessageW(Hwnd(tabs), TCM_SETCURSEL, static_cast<WPARAM>(ShownTabOf(tabs, tabs.currentPage)), 0);
    for (auto& c : win.controls) {
      if (c.def->page < 0 || Hwnd(c) == nullptr) continue;
      ShowWindow(Hwnd(c), ControlShown(win, c.index) ? SW_SHOW : SW_HIDE);
    }
  }

  static void SyncParts(ControlState& c) {
    const std::vector<int> edges = PartEdges(c.parts);
    std::vector<int> e(edges.begin(), edges.end());
    SendMessageW(Hwnd(c), SB_SETPARTS, e.size(), reinterpret_cast<LPARAM>(e.data()));
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
      SendMessageW(Hwnd(c), SB_SETTEXTW, i | SBT_NOBORDERS, reinterpret_cast<LPARAM>(W(c.parts[i].text).c_str()));
    }
  }

  static void SyncSelection(ControlState& c) {
    HWND h = Hwnd(c);
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED;
    SendMessageW(h, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    if (c.focusedRow >= 0) {
      LVITEMW f{};
      f.stateMask = LVIS_FOCUSED;
      f.state = LVIS_FOCUSED;
      SendMessageW(h, LVM_SETITEMSTATE, static_cast<WPARAM>(c.focusedRow), reinterpret_cast<LPARAM>(&f));
    }
    if (c.selectedRow >= 0) {
      LVITEMW s{};
      s.stateMask = LVIS_SELECTED;
      s.state = LVIS_SELECTED;
      SendMessageW(h, LVM_SETITEMSTATE, static_cast<WPARAM>(c.selectedRow), reinterpret_cast<LPARAM>(&s));
      SendMessageW(h, LVM_ENSUREVISIBLE, static_cast<WPARAM>(c.selectedRow), FALSE);
    }
  }

  HIMAGELIST MakeToolImages() {
    HIMAGELIST list = ImageList_Create(kToolImageSize, kToolImageSize, ILC_COLOR32 | ILC_MASK, kToolImageCount, 0);
    for (const ToolImage& img : ToolBarImages()) {
      BITMAPINFO bi{};
      bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
      bi.bmiHeader.biWidth = kToolImageSize;
      bi.bmiHeader.biHeight = -kToolImageSize;  // top-down
      bi.bmiHeader.biPlanes = 1;
      bi.bmiHeader.biBitCount = 32;
      bi.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      HDC dc = GetDC(nullptr);
      HBITMAP colour = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
      ReleaseDC(nullptr, dc);
      // The white background becomes transparent: alpha 0 (premultiplied),
      // and set in the mask for the drawing without alpha.
      auto* px = static_cast<std::uint32_t*>(bits);
      std::vector<BYTE> mask(static_cast<std::size_t>(kToolImageSize) * 4, 0);  // rows padded to 32 bits
      for (int y = 0; y < kToolImageSize; ++y) {
        for (int x = 0; x < kToolImageSize; ++x) {
          const std::uint32_t p = img[y * kToolImageSize + x];
          const bool background = p == 0xFFFFFFFFu;
          px[y * kToolImageSize + x] = background ? 0u : p;
          if (background) mask[y * 4 + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
      }
      HBITMAP maskBmp = CreateBitmap(kToolImageSize, kToolImageSize, 1, 1, nullptr);
      // CreateBitmap wants rows padded to 16 bits: 17 pixels need 4 bytes.
      SetBitmapBits(maskBmp, static_cast<LONG>(mask.size()), mask.data());
      ImageList_Add(list, colour, maskBmp);
      DeleteObject(colour);
      DeleteObject(maskBmp);
    }
    return list;
  }

  void CreateControl(WindowState& win, ControlState& c) {
    const ControlDef& d = *c.def;
    WinNative* native = NativeOf(win);
    HWND parent = d.parent < 0 ? native->hwnd : Hwnd(win.controls[d.parent]);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (ControlShown(win, c.index)) style |= WS_VISIBLE;
    if (d.disabled) style |= WS_DISABLED;
    if (d.tabStop) style |= WS_TABSTOP;
    DWORD ex = 0;
    const wchar_t* cls = WC_STATICW;
    int height = d.height;
    switch (d.kind) {
      case Kind::EditBox:
        cls = WC_EDITW;
        ex = WS_EX_CLIENTEDGE;
        style |= d.multiLine ? (ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN) : ES_AUTOHSCROLL;
        if (d.textAlign == Align::Right) style |= ES_RIGHT;
        if (d.textAlign == Align::Centre) style |= ES_CENTER;
        break;
      case Kind::GroupBox:
        cls = WC_BUTTONW;
        style |= BS_GROUPBOX | WS_CLIPCHILDREN;
        break;
      case Kind::Button:
        cls = WC_BUTTONW;
        style |= BS_PUSHBUTTON;
        break;
      case Kind::ComboBox:
        cls = WC_COMBOBOXW;
        style |= CBS_DROPDOWNLIST | WS_VSCROLL;
        height = d.height + 160;  // room for the drop-down list
        break;
      case Kind::PageControl:
        cls = WC_TABCONTROLW;
        style |= WS_CLIPCHILDREN;
        break;
      case Kind::StatusBar:
        cls = STATUSCLASSNAMEW;
        break;
      case Kind::ToolBar:
        cls = TOOLBARCLASSNAMEW;
        style |= TBSTYLE_FLAT | CCS_TOP;
        break;
      case Kind::ListView:
        cls = WC_LISTVIEWW;
        ex = WS_EX_CLIENTEDGE;
        // The chosen row stays marked while the user types into other
        // controls, so it is clear which row 修改 and 删除 will act on.
        style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
        break;
      case Kind::TransLabel:
        cls = WC_STATICW;
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;  // one line, as a caption
        break;
    }
    const bool textual = d.kind == Kind::EditBox || d.kind == Kind::GroupBox || d.kind == Kind::Button ||
                         d.kind == Kind::TransLabel;
    HWND h = CreateWindowExW(ex, cls, textual ? W(c.text).c_str() : L"", style, d.left, d.top, d.width, height,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlNativeId(c.index))),
                             instance_, nullptr);
    if (h == nullptr) return;
    c.native = h;
    SetPropW(h, kWin32ControlProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(c.index + 1)));
    HFONT font = native->guiFont;
    if (d.font != nullptr) {
      font = MakeFont(*d.font);
      native->fonts.push_back(font);
    }
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    switch (d.kind) {
      case Kind::EditBox:
        SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no length limit beyond the system's own
        if (d.wholeNumber) SetWindowSubclass(h, &Win32Backend::NumberProc, 1, 0);
        break;
      case Kind::GroupBox:
      case Kind::PageControl:
        // Children of these send their notifications to them; pass them on to
        // the top-level window.
        SetWindowSubclass(h, &Win32Backend::ForwardProc, 2, d.kind == Kind::GroupBox ? 1 : 0);
        if (d.kind == Kind::PageControl) {
          for (const auto& p : c.pages) {
            if (p.visible) InsertTab(h, static_cast<int>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0)), p);
          }
          SendMessageW(h, TCM_SETCURSEL, static_cast<WPARAM>(ShownTabOf(c, c.currentPage)), 0);
        }
        break;
      case Kind::ComboBox:
        for (const auto& item : c.items) SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item).c_str()));
        SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(c.currentIndex), 0);
        break;
      case Kind::StatusBar:
        SyncParts(c);
        break;
      case Kind::ToolBar: {
        SendMessageW(h, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        native->images = MakeToolImages();
        SendMessageW(h, TB_SETBITMAPSIZE, 0, MAKELPARAM(kToolImageSize, kToolImageSize));
        SendMessageW(h, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(native->images));
        std::vector<std::wstring> captions;
        captions.reserve(c.buttons.size());
        std::vector<TBBUTTON> buttons(c.buttons.size());
        for (std::size_t i = 0; i < c.buttons.size(); ++i) {
          const ButtonState& b = c.buttons[i];
          captions.push_back(W(b.caption));
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
        break;
      }
      case Kind::ListView: {
        SendMessageW(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                     LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
        for (std::size_t i = 0; i < d.columns.size(); ++i) {
          const ColumnDef& col = d.columns[i];
          std::wstring text = W(col.header);
          LVCOLUMNW lc{};
          lc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
          lc.fmt = col.align == Align::Centre ? LVCFMT_CENTER : col.align == Align::Right ? LVCFMT_RIGHT : LVCFMT_LEFT;
          lc.cx = col.width;
          lc.pszText = text.data();
          lc.iSubItem = static_cast<int>(i);
          SendMessageW(h, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&lc));
        }
        break;
      }
      default:
        break;
    }
  }

  // --- Window procedures ------------------------------------------------------

  static LRESULT CALLBACK CallProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kWakeMessage && g_backend != nullptr && g_backend->runtime_ != nullptr) {
      g_backend->runtime_->RunPendingCalls();
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  static LRESULT CALLBACK NumberProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_CHAR && !WholeNumberAccepts(static_cast<std::uint32_t>(wp))) {
      MessageBeep(0);
      return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  }

  static LRESULT CALLBACK ForwardProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR groupBox) {
    switch (msg) {
      case WM_ERASEBKGND:
        if (groupBox) {
          // A group box paints no inside of its own; it is white.
          RECT r{};
          GetClientRect(hwnd, &r);
          FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
          return 1;
        }
        break;
      case WM_COMMAND:
      case WM_NOTIFY:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORLISTBOX: {
        // Only for our own controls; a window placed here by another program
        // keeps its messages to itself.
        HWND from = msg == WM_NOTIFY ? reinterpret_cast<NMHDR*>(lp)->hwndFrom : reinterpret_cast<HWND>(lp);
        if (from != nullptr && GetPropW(from, kWin32ControlProp) != nullptr) {
          return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
        }
        break;
      }
      default:
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  }

  static int ControlIndexOf(WindowState& win, HWND child) {
    if (child == nullptr || GetAncestor(child, GA_ROOT) != NativeOf(win)->hwnd) return -1;
    const auto v = reinterpret_cast<INT_PTR>(GetPropW(child, kWin32ControlProp));
    return v >= 1 && v <= static_cast<INT_PTR>(win.controls.size()) ? static_cast<int>(v - 1) : -1;
  }

  static LRESULT CALLBACK TopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* win = reinterpret_cast<WindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    Win32Backend* self = g_backend;
    if (win == nullptr || self == nullptr || self->runtime_ == nullptr || win->native == nullptr) {
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    Runtime& rt = *self->runtime_;
    WinNative* native = NativeOf(*win);
    switch (msg) {
      case WM_CLOSE:
        rt.UserCloseRequest(*win);
        return 0;
      case WM_SIZE: {
        for (auto& c : win->controls) {
          if (c.native == nullptr || c.def->parent >= 0) continue;
          if (c.def->kind == Kind::ToolBar) SendMessageW(Hwnd(c), TB_AUTOSIZE, 0, 0);
          if (c.def->kind == Kind::StatusBar) SendMessageW(Hwnd(c), WM_SIZE, 0, 0);
        }
        if (!native->building && wp != SIZE_MINIMIZED) rt.UserMovedOrResized(*win, false, true);
        return 0;
      }
      case WM_MOVE:
        if (!native->building) rt.UserMovedOrResized(*win, true, false);
        return 0;
      case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lp);
        const int i = ControlIndexOf(*win, from);
        if (i < 0) break;
        ControlState& c = win->controls[i];
        const int code = HIWORD(wp);
        const int id = LOWORD(wp);
        if (c.def->kind == Kind::ToolBar) {
          rt.UserToolButton(*win, i, id - kToolCommandBase);
        } else if (c.def->kind == Kind::Button && code == BN_CLICKED) {
          rt.UserClicked(*win, i);
        } else if (c.def->kind == Kind::EditBox && code == EN_CHANGE && self->suppress_ == 0) {
          rt.UserTextChanged(*win, i, WindowTextOf(from));
        } else if (c.def->kind == Kind::ComboBox && code == CBN_SELCHANGE) {
          rt.UserComboSelected(*win, i, static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0)));
        }
        return 0;
      }
      case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        const int i = ControlIndexOf(*win, hdr->hwndFrom);
        if (i < 0 || self->suppress_ != 0) break;
        ControlState& c = win->controls[i];
        if (c.def->kind == Kind::PageControl && hdr->code == TCN_SELCHANGE) {
          const int tab = static_cast<int>(SendMessageW(hdr->hwndFrom, TCM_GETCURSEL, 0, 0));
          const int page = PageOfShownTab(c, tab);
          HWND tabs = hdr->hwndFrom;
          if (page >= 0 && rt.UserPageChanging(*win, i, page)) {
            rt.UserPageChanged(*win, i, page);
          } else if (IsWindow(hwnd) && GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0) {
            // Refused: the tab strip goes back to the current page (the
            // window may have gone meanwhile, hence the checks).
            SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(ShownTabOf(c, c.currentPage)), 0);
          }
          return 0;
        }
        if (c.def->kind == Kind::ListView) {
          if (hdr->code == LVN_ITEMCHANGED) {
            auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
            const UINT changed = (nm->uOldState ^ nm->uNewState) & (LVIS_SELECTED | LVIS_FOCUSED);
            if ((nm->uChanged & LVIF_STATE) && changed != 0) {
              rt.UserRowState(*win, i, nm->iItem, (nm->uNewState & LVIS_SELECTED) != 0,
                              (nm->uNewState & LVIS_FOCUSED) != 0);
            }
          } else if (hdr->code == NM_CLICK) {
            rt.UserClicked(*win, i);
          } else if (hdr->code == LVN_ITEMACTIVATE) {
            rt.UserEvent(*win, i, EventKind::RowActivated);
          } else if (hdr->code == LVN_COLUMNCLICK) {
            rt.UserEvent(*win, i, EventKind::ColumnClicked, reinterpret_cast<NMLISTVIEW*>(lp)->iSubItem);
          }
          return 0;
        }
        break;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN: {
        const int i = ControlIndexOf(*win, reinterpret_cast<HWND>(lp));
        if (i < 0) break;
        const ControlDef& d = *win->controls[i].def;
        HDC dc = reinterpret_cast<HDC>(wp);
        if (d.kind == Kind::TransLabel) {
          // No background of its own: the parent's (a tab page, a group box)
          // is painted under the text.
          DrawThemeParentBackground(reinterpret_cast<HWND>(lp), dc, nullptr);
          SetBkMode(dc, TRANSPARENT);
          SetTextColor(dc, Colour(d.textColour, GetSysColor(COLOR_WINDOWTEXT)));
          return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
        if (d.kind == Kind::EditBox || d.kind == Kind::GroupBox) {
          SetTextColor(dc, Colour(d.textColour, GetSysColor(COLOR_WINDOWTEXT)));
          SetBkColor(dc, Colour(d.backColour, GetSysColor(COLOR_WINDOW)));
          return reinterpret_cast<LRESULT>(native->white);
        }
        break;
      }
      default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  HINSTANCE instance_ = nullptr;
  HWND callWindow_ = nullptr;
  int suppress_ = 0;
};

}  // namespace

std::unique_ptr<Backend> CreateWin32Backend() { return std::make_unique<Win32Backend>(); }

}  // namespace quillane::ui

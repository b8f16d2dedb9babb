#include "ui/win32_backend.h"

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <memory>
#include <optional>

#include "services/encoding.h"
#include "ui/runtime.h"
#include "ui/win32_controls.h"

namespace quillane::ui {
namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr wchar_t kCallWindowClass[] = L"QuillaneCalls";

COLORREF Colour(std::uint32_t c, COLORREF fallback) {
  return c == kSystemColour ? fallback : static_cast<COLORREF>(c);
}

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
    callWindow_ = CreateWindowExW(0, kCallWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance_, nullptr);
  }

  ~Win32Backend() override {
    if (callWindow_) DestroyWindow(callWindow_);
    g_backend = nullptr;
  }

  Place Screen() override {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }

  bool Create(WindowState& win) override {
    const WindowDef& d = *win.def;
    std::unique_ptr<WinNative>& slot = natives_[static_cast<int>(win.id)];
    slot = std::make_unique<WinNative>();
    WinNative& native = *slot;
    native.win = &win;
    native.white.reset(CreateSolidBrush(RGB(255, 255, 255)));
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (d.resizable) style |= WS_THICKFRAME;
    if (d.minimizeBox) style |= WS_MINIMIZEBOX;
    if (d.maximizeBox) style |= WS_MAXIMIZEBOX;
    HWND owner = reinterpret_cast<HWND>(win.owner);
    HWND hwnd = CreateWindowExW(0, kWin32WindowClass, WideFromGbk(d.caption).c_str(), style,
                                win.place.left, win.place.top, win.place.width, win.place.height,
                                owner, nullptr, instance_, &native);
    if (hwnd == nullptr) {
      slot.reset();
      return false;
    }
    native.hwnd = hwnd;
    if (!d.movable) DeleteMenu(GetSystemMenu(hwnd, FALSE), SC_MOVE, MF_BYCOMMAND);
    native.guiFont = DefaultFont(native);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(native.guiFont), FALSE);
    for (auto& c : win.controls) CreateControl(instance_, native, c);
    native.building = false;
    return true;
  }

  void Show(WindowState& win) override {
    HWND hwnd = WindowOf(win);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
  }

  void BringToFront(WindowState& win) override {
    HWND hwnd = WindowOf(win);
    if (IsIconic(hwnd))
      ShowWindow(hwnd, SW_RESTORE);
    else
      SetForegroundWindow(hwnd);
  }

  void Destroy(WindowState& win) override {
    std::unique_ptr<WinNative>& slot = natives_[static_cast<int>(win.id)];
    if (!slot || slot->win != &win) return;
    SetWindowLongPtrW(slot->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(slot->hwnd);
    for (auto& c : win.controls) c.native = nullptr;
    slot.reset();
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
        SetWindowTextW(h, WideFromGbk(c.text).c_str());
        break;
      case Change::ComboIndex:
        SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(c.currentIndex), 0);
        break;
      case Change::PageInserted:
        if (const int tab = ShownTabOf(c, a); tab >= 0) InsertTab(h, tab, c.pages[a]);
        SyncPages(win, c);
        break;
      case Change::PageDeleted:
        if (b >= 0) SendMessageW(h, TCM_DELETEITEM, static_cast<WPARAM>(b), 0);
        SyncPages(win, c);
        break;
      case Change::PagesCleared:
        SendMessageW(h, TCM_DELETEALLITEMS, 0, 0);
        SyncPages(win, c);
        break;
      case Change::PageCaption:
        if (const int tab = ShownTabOf(c, a); tab >= 0) SetTabCaption(h, tab, c.pages[a].caption);
        break;
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
      case Change::RowInserted:
        InsertRow(h, c, a);
        SyncSelection(c);
        break;
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
    HWND h = c ? Hwnd(*c) : WindowOf(win);
    RECT r{};
    GetWindowRect(h, &r);
    if (c != nullptr) MapWindowPoints(HWND_DESKTOP, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }

  Place QueryClient(WindowState& win, ControlState* c) override {
    HWND h = c ? Hwnd(*c) : WindowOf(win);
    RECT r{};
    GetClientRect(h, &r);
    return {0, 0, r.right - r.left, r.bottom - r.top};
  }

  std::uintptr_t Handle(WindowState& win, ControlState* c) override {
    return reinterpret_cast<std::uintptr_t>(c ? Hwnd(*c) : WindowOf(win));
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
    SendMessageW(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(WideFromGbk(text).c_str()));
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
  HWND WindowOf(const WindowState& win) const { return natives_[static_cast<int>(win.id)]->hwnd; }

  static bool IsOurWindow(HWND hwnd) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return lstrcmpW(cls, kWin32WindowClass) == 0;
  }

  // --- Window procedures ------------------------------------------------------
  //
  // A handler of the top-level window's messages answers nothing for the
  // messages it leaves to DefWindowProcW. It must not touch `native` after a
  // call into the runtime that can destroy the window, unless it checks first.

  static LRESULT CALLBACK CallProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kWakeMessage && g_backend != nullptr && g_backend->runtime_ != nullptr) {
      g_backend->runtime_->RunPendingCalls();
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  static LRESULT CALLBACK TopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* native = reinterpret_cast<WinNative*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    Win32Backend* self = g_backend;
    if (native == nullptr || self == nullptr || self->runtime_ == nullptr) {
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    const std::optional<LRESULT> answer = self->OnMessage(*native, msg, wp, lp);
    return answer ? *answer : DefWindowProcW(hwnd, msg, wp, lp);
  }

  std::optional<LRESULT> OnMessage(WinNative& native, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CLOSE:
        return OnClose(native);
      case WM_SIZE:
        return OnSize(native, wp);
      case WM_MOVE:
        return OnMove(native);
      case WM_COMMAND:
        return OnCommand(native, wp, reinterpret_cast<HWND>(lp));
      case WM_NOTIFY:
        return OnNotify(native, lp);
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN:
        return OnControlColour(native, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
      default:
        return std::nullopt;
    }
  }

  // The control of the window a child window is, -1 for none of ours.
  static int ControlIndexOf(const WinNative& native, HWND child) {
    if (child == nullptr || GetAncestor(child, GA_ROOT) != native.hwnd) return -1;
    const auto v = reinterpret_cast<INT_PTR>(GetPropW(child, kWin32ControlProp));
    return v >= 1 && v <= static_cast<INT_PTR>(native.win->controls.size())
               ? static_cast<int>(v - 1)
               : -1;
  }

  LRESULT OnClose(WinNative& native) {
    runtime_->UserCloseRequest(*native.win);
    return 0;
  }

  LRESULT OnSize(WinNative& native, WPARAM kind) {
    for (auto& c : native.win->controls) {
      if (c.native == nullptr || c.def->parent >= 0) continue;
      if (c.def->kind == Kind::ToolBar) SendMessageW(Hwnd(c), TB_AUTOSIZE, 0, 0);
      if (c.def->kind == Kind::StatusBar) SendMessageW(Hwnd(c), WM_SIZE, 0, 0);
    }
    if (!native.building && kind != SIZE_MINIMIZED) {
      runtime_->UserMovedOrResized(*native.win, false, true);
    }
    return 0;
  }

  LRESULT OnMove(WinNative& native) {
    if (!native.building) runtime_->UserMovedOrResized(*native.win, true, false);
    return 0;
  }

  std::optional<LRESULT> OnCommand(WinNative& native, WPARAM wp, HWND from) {
    const int i = ControlIndexOf(native, from);
    if (i < 0) return std::nullopt;
    WindowState& win = *native.win;
    const Kind kind = win.controls[i].def->kind;
    const int code = HIWORD(wp);
    if (kind == Kind::ToolBar) {
      runtime_->UserToolButton(win, i, LOWORD(wp) - kToolCommandBase);
    } else if (kind == Kind::Button && code == BN_CLICKED) {
      runtime_->UserClicked(win, i);
    } else if (kind == Kind::EditBox && code == EN_CHANGE && suppress_ == 0) {
      runtime_->UserTextChanged(win, i, WindowTextOf(from));
    } else if (kind == Kind::ComboBox && code == CBN_SELCHANGE) {
      runtime_->UserComboSelected(win, i, static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0)));
    }
    return 0;
  }

  std::optional<LRESULT> OnNotify(WinNative& native, LPARAM lp) {
    const NMHDR& hdr = *reinterpret_cast<NMHDR*>(lp);
    const int i = ControlIndexOf(native, hdr.hwndFrom);
    if (i < 0 || suppress_ != 0) return std::nullopt;
    const Kind kind = native.win->controls[i].def->kind;
    if (kind == Kind::PageControl && hdr.code == TCN_SELCHANGE) {
      OnTabChosen(native, i, hdr.hwndFrom);
      return 0;
    }
    if (kind == Kind::ListView) {
      OnListNotice(*native.win, i, hdr.code, lp);
      return 0;
    }
    return std::nullopt;
  }

  void OnTabChosen(WinNative& native, int control, HWND tabs) {
    HWND hwnd = native.hwnd;
    WindowState& win = *native.win;
    const int page = PageOfShownTab(win.controls[control],
                                    static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)));
    if (page >= 0 && runtime_->UserPageChanging(win, control, page)) {
      runtime_->UserPageChanged(win, control, page);
    } else if (IsWindow(hwnd) && GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0) {
      // Refused: the tab strip goes back to the current page (the window may
      // have gone meanwhile, hence the checks).
      const ControlState& c = win.controls[control];
      SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(ShownTabOf(c, c.currentPage)), 0);
    }
  }

  void OnListNotice(WindowState& win, int control, UINT code, LPARAM lp) {
    if (code == LVN_ITEMCHANGED) {
      const NMLISTVIEW& nm = *reinterpret_cast<NMLISTVIEW*>(lp);
      const UINT changed = (nm.uOldState ^ nm.uNewState) & (LVIS_SELECTED | LVIS_FOCUSED);
      if ((nm.uChanged & LVIF_STATE) && changed != 0) {
        runtime_->UserRowState(win, control, nm.iItem, (nm.uNewState & LVIS_SELECTED) != 0,
                               (nm.uNewState & LVIS_FOCUSED) != 0);
      }
    } else if (code == NM_CLICK) {
      runtime_->UserClicked(win, control);
    } else if (code == LVN_ITEMACTIVATE) {
      runtime_->UserEvent(win, control, EventKind::RowActivated);
    } else if (code == LVN_COLUMNCLICK) {
      runtime_->UserEvent(win, control, EventKind::ColumnClicked,
                          reinterpret_cast<NMLISTVIEW*>(lp)->iSubItem);
    }
  }

  std::optional<LRESULT> OnControlColour(WinNative& native, HDC dc, HWND from) {
    const int i = ControlIndexOf(native, from);
    if (i < 0) return std::nullopt;
    const ControlDef& d = *native.win->controls[i].def;
    if (d.kind == Kind::TransLabel) {
      // No background of its own: the parent's (a tab page, a group box) is
      // painted under the text.
      DrawThemeParentBackground(from, dc, nullptr);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, Colour(d.textColour, GetSysColor(COLOR_WINDOWTEXT)));
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    if (d.kind == Kind::EditBox || d.kind == Kind::GroupBox) {
      SetTextColor(dc, Colour(d.textColour, GetSysColor(COLOR_WINDOWTEXT)));
      SetBkColor(dc, Colour(d.backColour, GetSysColor(COLOR_WINDOW)));
      return reinterpret_cast<LRESULT>(native.white.get());
    }
    return std::nullopt;
  }

  HINSTANCE instance_ = nullptr;
  HWND callWindow_ = nullptr;
  int suppress_ = 0;
  std::unique_ptr<WinNative> natives_[kWindowCount];
};

}  // namespace

std::unique_ptr<Backend> CreateWin32Backend() { return std::make_unique<Win32Backend>(); }

}  // namespace quillane::ui

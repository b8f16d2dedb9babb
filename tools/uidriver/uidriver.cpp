// uidriver: drives the program's windows from outside, as a user would, for
// the end-to-end tests. Windows are found by caption among the program's
// top-level windows; controls by the names of the window definitions, which
// map to the fixed control ids the runtime gives them. Arguments come in as
// UTF-16 (wide command line), output goes out as UTF-8.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "services/encoding.h"
#include "ui/definitions.h"

namespace {

using quillane::ui::FindControl;
using quillane::ui::GetWindowDef;
using quillane::ui::WindowDef;
using quillane::ui::WindowId;

constexpr wchar_t kWindowClass[] = L"QuillaneWindow";
constexpr wchar_t kControlProp[] = L"Quillane.Control";
int g_timeoutMs = 5000;

// --- Output ------------------------------------------------------------------

// Straight UTF-16 to UTF-8 (texts read from windows may hold characters
// outside GBK).
std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void Write(HANDLE h, const std::string& s) {
  DWORD done = 0;
  WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &done, nullptr);
}
void Out(const std::wstring& line) { Write(GetStdHandle(STD_OUTPUT_HANDLE), ToUtf8(line) + "\n"); }
int Fail(const std::wstring& msg, int rc = 1) {
  Write(GetStdHandle(STD_ERROR_HANDLE), "uidriver: " + ToUtf8(msg) + "\n");
  return rc;
}
int TimedOut(const std::wstring& what) {
  return Fail(L"timed out after " + std::to_wstring(g_timeoutMs) + L" ms waiting for " + what, 2);
}

std::wstring WideOf(const char* gbk) {
  const std::u16string u = quillane::GbkToUtf16(gbk);
  return std::wstring(u.begin(), u.end());
}

std::string GbkOf(const std::wstring& w) { return quillane::Utf16ToGbk(std::u16string(w.begin(), w.end())); }

// --- Finding windows and controls ---------------------------------------------

std::wstring TextOf(HWND h) {
  const LRESULT len = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
  std::wstring buf(static_cast<std::size_t>(len) + 1, L'\0');
  const LRESULT got = SendMessageW(h, WM_GETTEXT, static_cast<WPARAM>(len + 1), reinterpret_cast<LPARAM>(buf.data()));
  buf.resize(static_cast<std::size_t>(got));
  return buf;
}

std::wstring ClassOf(HWND h) {
  wchar_t cls[128] = {};
  GetClassNameW(h, cls, 128);
  return cls;
}

struct CaptionSearch {
  const std::wstring* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectByCaption(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<CaptionSearch*>(lp);
  if (ClassOf(h) == kWindowClass && TextOf(h) == *c->caption) c->found.push_back(h);
  return TRUE;
}

std::vector<HWND> TopWindows(const std::wstring& caption) {
  CaptionSearch ctx{&caption, {}};
  EnumWindows(CollectByCaption, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// Waits up to the timeout for cond() to give a non-null result.
template <typename F>
auto WaitFor(F cond) -> decltype(cond()) {
  const DWORD start = GetTickCount();
  for (;;) {
    auto r = cond();
    if (r) return r;
    if (GetTickCount() - start >= static_cast<DWORD>(g_timeoutMs)) return r;
    Sleep(25);
  }
}

bool WindowOf(const std::wstring& caption, WindowId* id) {
  for (WindowId w : {WindowId::Main, WindowId::Settings}) {
    if (WideOf(GetWindowDef(w).caption) == caption) {
      *id = w;
      return true;
    }
  }
  return false;
}

struct Target {
  HWND top = nullptr;
  HWND ctl = nullptr;
  int index = -1;
  const WindowDef* def = nullptr;
};

struct ControlSearch {
  int index;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<ControlSearch*>(lp);
  if (GetDlgCtrlID(h) == quillane::ui::ControlNativeId(c->index) &&
      reinterpret_cast<INT_PTR>(GetPropW(h, kControlProp)) == c->index + 1) {
    c->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND FindDescendant(HWND top, int index) {
  ControlSearch ctx{index, nullptr};
  EnumChildWindows(top, MatchControl, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// Resolves "caption control"; prints the failure and returns false.
bool Resolve(const std::wstring& caption, const std::wstring& control, Target* t, int* rc) {
  WindowId id;
  if (!WindowOf(caption, &id)) {
    *rc = Fail(L"no window definition has the caption \"" + caption + L"\"");
    return false;
  }
  t->def = &GetWindowDef(id);
  if (!control.empty()) {
    t->index = FindControl(*t->def, GbkOf(control));
    if (t->index < 0) {
      *rc = Fail(L"window \"" + caption + L"\" has no control \"" + control + L"\"");
      return false;
    }
  }
  t->top = WaitFor([&]() -> HWND {
    auto w = TopWindows(caption);
    return w.empty() ? nullptr : w.front();
  });
  if (t->top == nullptr) {
    *rc = TimedOut(L"window \"" + caption + L"\"");
    return false;
  }
  if (!control.empty()) {
    t->ctl = WaitFor([&] { return FindDescendant(t->top, t->index); });
    if (t->ctl == nullptr) {
      *rc = TimedOut(L"control \"" + control + L"\"");
      return false;
    }
  }
  return true;
}

// --- Memory in the program's process, for the controls whose messages
// carry pointers -----------------------------------------------------------------

class Remote {
 public:
  Remote(HWND h, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) mem_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~Remote() {
    if (mem_) VirtualFreeEx(process_, mem_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;
  bool ok() const { return mem_ != nullptr; }
  char* at(std::size_t offset) const { return static_cast<char*>(mem_) + offset; }
  bool Put(std::size_t offset, const void* data, std::size_t n) {
    SIZE_T done = 0;
    return offset + n <= size_ && WriteProcessMemory(process_, at(offset), data, n, &done) && done == n;
  }
  bool Get(std::size_t offset, void* data, std::size_t n) {
    SIZE_T done = 0;
    return offset + n <= size_ && ReadProcessMemory(process_, at(offset), data, n, &done) && done == n;
  }
  std::wstring GetText(std::size_t offset, std::size_t chars) {
    std::wstring s(chars, L'\0');
    if (!Get(offset, s.data(), chars * sizeof(wchar_t))) return {};
    s.resize(wcsnlen(s.c_str(), chars));
    return s;
  }

 private:
  HANDLE process_ = nullptr;
  void* mem_ = nullptr;
  std::size_t size_;
};

constexpr std::size_t kTextChars = 8192;
constexpr std::size_t kTextOffset = 1024;
constexpr std::size_t kRemoteSize = kTextOffset + kTextChars * sizeof(wchar_t);

// Left button down and up at the middle of a rectangle of the control.
void ClickAt(HWND h, const RECT& r) {
  const LPARAM pt = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(h, WM_MOUSEMOVE, 0, pt);
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, pt);
  SendMessageW(h, WM_LBUTTONUP, 0, pt);
}

// --- Commands ------------------------------------------------------------------

int ParseInt(const std::wstring& s, int* v) {
  wchar_t* end = nullptr;
  const long n = std::wcstol(s.c_str(), &end, 10);
  if (s.empty() || *end != L'\0') return Fail(L"not a number: " + s);
  *v = static_cast<int>(n);
  return 0;
}

int ToolbarItems(const Target& t) {
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int n = static_cast<int>(SendMessageW(t.ctl, TB_BUTTONCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    TBBUTTON b{};
    if (!SendMessageW(t.ctl, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(mem.at(0))) ||
        !mem.Get(0, &b, sizeof(b))) {
      return Fail(L"cannot read tool-bar button " + std::to_wstring(i));
    }
    std::wstring caption = L"-";
    if (!(b.fsStyle & BTNS_SEP)) {
      SendMessageW(t.ctl, TB_GETBUTTONTEXTW, static_cast<WPARAM>(b.idCommand), reinterpret_cast<LPARAM>(mem.at(kTextOffset)));
      caption = mem.GetText(kTextOffset, kTextChars);
    }
    Out(std::to_wstring(i) + L"\t" + caption + L"\t" + ((b.fsState & TBSTATE_HIDDEN) ? L"hidden" : L"visible") + L"\t" +
        ((b.fsState & TBSTATE_ENABLED) ? L"enabled" : L"disabled"));
  }
  return 0;
}

int ClickTool(const Target& t, int index) {
  const auto& buttons = t.def->controls[t.index].buttons;
  if (index < 0 || index >= static_cast<int>(buttons.size())) return Fail(L"no tool-bar button " + std::to_wstring(index));
  if (buttons[index].IsSeparator()) return Fail(L"tool-bar item " + std::to_wstring(index) + L" is a separator");
  const LRESULT state = SendMessageW(t.ctl, TB_GETSTATE, static_cast<WPARAM>(quillane::ui::kToolCommandBase + index), 0);
  if (state == -1) return Fail(L"no tool-bar button " + std::to_wstring(index));
  if (state & TBSTATE_HIDDEN) return Fail(L"tool-bar button " + std::to_wstring(index) + L" is hidden");
  if (!(state & TBSTATE_ENABLED)) return Fail(L"tool-bar button " + std::to_wstring(index) + L" is disabled");
  Remote mem(t.ctl, kRemoteSize);
  RECT r{};
  if (!mem.ok() || !SendMessageW(t.ctl, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(mem.at(0))) ||
      !mem.Get(0, &r, sizeof(r))) {
    return Fail(L"cannot find where tool-bar button " + std::to_wstring(index) + L" is");
  }
  ClickAt(t.ctl, r);
  return 0;
}

int ReadStatus(const Target& t, int part) {
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int parts = static_cast<int>(SendMessageW(t.ctl, SB_GETPARTS, 0, 0));
  if (part < 0 || part >= parts) return Fail(L"the status bar has no part " + std::to_wstring(part));
  const LRESULT len = SendMessageW(t.ctl, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
  if (LOWORD(len) >= kTextChars) return Fail(L"status text too long");
  SendMessageW(t.ctl, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(mem.at(kTextOffset)));
  Out(mem.GetText(kTextOffset, LOWORD(len) + 1));
  return 0;
}

int Tabs(const Target& t) {
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int n = static_cast<int>(SendMessageW(t.ctl, TCM_GETITEMCOUNT, 0, 0));
  const int cur = static_cast<int>(SendMessageW(t.ctl, TCM_GETCURSEL, 0, 0));
  for (int i = 0; i < n; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(mem.at(kTextOffset));
    item.cchTextMax = static_cast<int>(kTextChars);
    mem.Put(0, &item, sizeof(item));
    SendMessageW(t.ctl, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(mem.at(0)));
    Out(std::wstring(i == cur ? L"*" : L" ") + L"\t" + mem.GetText(kTextOffset, kTextChars));
  }
  return 0;
}

int SelectTab(const Target& t, int tab) {
  Remote mem(t.ctl, kRemoteSize);
  RECT r{};
  if (!mem.ok() || !SendMessageW(t.ctl, TCM_GETITEMRECT, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(mem.at(0))) ||
      !mem.Get(0, &r, sizeof(r))) {
    return Fail(L"no tab " + std::to_wstring(tab));
  }
  ClickAt(t.ctl, r);
  return 0;
}

int ReadCells(const Target& t, int row, int column) {
  const int rows = static_cast<int>(SendMessageW(t.ctl, LVM_GETITEMCOUNT, 0, 0));
  if (row < 0 || row >= rows) return Fail(L"the list has no row " + std::to_wstring(row));
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  const int columns = static_cast<int>(t.def->controls[t.index].columns.size());
  std::wstring line;
  for (int c = column < 0 ? 0 : column; c < (column < 0 ? columns : column + 1); ++c) {
    LVITEMW item{};
    item.iSubItem = c;
    item.pszText = reinterpret_cast<wchar_t*>(mem.at(kTextOffset));
    item.cchTextMax = static_cast<int>(kTextChars);
    mem.Put(0, &item, sizeof(item));
    const LRESULT n = SendMessageW(t.ctl, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.at(0)));
    if (c > 0 && column < 0) line += L"\t";
    line += mem.GetText(kTextOffset, static_cast<std::size_t>(n) + 1);
  }
  Out(line);
  return 0;
}

int SelectRow(const Target& t, int row) {
  const int rows = static_cast<int>(SendMessageW(t.ctl, LVM_GETITEMCOUNT, 0, 0));
  if (row < 0 || row >= rows) return Fail(L"the list has no row " + std::to_wstring(row));
  Remote mem(t.ctl, kRemoteSize);
  if (!mem.ok()) return Fail(L"cannot reach the program's memory");
  SetFocus(nullptr);
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  mem.Put(0, &item, sizeof(item));
  SendMessageW(t.ctl, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.at(0)));
  return 0;
}

// The topmost visible dialog box of a message box.
BOOL CALLBACK MatchDialog(HWND h, LPARAM lp) {
  if (IsWindowVisible(h) && ClassOf(h) == L"#32770") {
    *reinterpret_cast<HWND*>(lp) = h;
    return FALSE;
  }
  return TRUE;
}

HWND TopMessageBox() {
  HWND found = nullptr;
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

BOOL CALLBACK LongestStatic(HWND h, LPARAM lp) {
  auto* best = reinterpret_cast<std::wstring*>(lp);
  if (ClassOf(h) == L"Static") {
    std::wstring s = TextOf(h);
    if (s.size() > best->size()) *best = s;
  }
  return TRUE;
}

std::wstring MessageBoxText(HWND box) {
  for (int id : {0xFFFF, 100}) {
    HWND text = GetDlgItem(box, id);
    if (text != nullptr && ClassOf(text) == L"Static") {
      const std::wstring s = TextOf(text);
      if (!s.empty()) return s;
    }
  }
  // Else the longest static text of the box.
  std::wstring best;
  EnumChildWindows(box, LongestStatic, reinterpret_cast<LPARAM>(&best));
  return best;
}

int AnswerBox(const std::wstring& answer) {
  int id = 0;
  if (answer == L"OK" || answer == L"ok") id = IDOK;
  else if (answer == L"CANCEL" || answer == L"Cancel" || answer == L"cancel") id = IDCANCEL;
  else return Fail(L"answer OK or CANCEL, not " + answer);
  HWND box = WaitFor(TopMessageBox);
  if (box == nullptr) return TimedOut(L"a message box");
  std::wstring text = MessageBoxText(box);
  for (auto& ch : text) {
    if (ch == L'\r' || ch == L'\n') ch = L' ';
  }
  Out(TextOf(box));
  Out(text);
  HWND button = GetDlgItem(box, id);
  if (button == nullptr) return Fail(L"the box has no such button");
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  const bool gone = WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); });
  return gone ? 0 : TimedOut(L"the message box to close");
}

void Help() {
  Out(L"uidriver [--timeout MS] COMMAND ARGUMENTS   (WINDOW is a caption: Quillane or \u8BBE\u7F6E;");
  Out(L"                                             CONTROL is a control name of its definition)");
  Out(L"  help                              this list");
  Out(L"  wait-window WINDOW                wait until the window is open");
  Out(L"  wait-gone WINDOW                  wait until the window is closed");
  Out(L"  count-windows WINDOW              print how many such windows are open");
  Out(L"  foreground                        print the caption of the window in the foreground");
  Out(L"  close WINDOW                      ask the window to close (its close box)");
  Out(L"  toolbar-items WINDOW CONTROL      print each tool-bar item: index, caption (- for a separator),");
  Out(L"                                    visible|hidden, enabled|disabled");
  Out(L"  click-tool WINDOW CONTROL INDEX   click a tool-bar button by index (separators counted)");
  Out(L"  click WINDOW CONTROL              click a button (returns after 1 s if it opens a box)");
  Out(L"  type WINDOW CONTROL TEXT          type the characters into an edit box");
  Out(L"  set-text WINDOW CONTROL TEXT      set the text of an edit box");
  Out(L"  get-text WINDOW CONTROL           print the text of an edit box, combo box, button or label");
  Out(L"  select-combo WINDOW CONTROL INDEX select a combo box item");
  Out(L"  select-row WINDOW CONTROL ROW     select a report-list row");
  Out(L"  row-count WINDOW CONTROL          print the number of report-list rows");
  Out(L"  get-row WINDOW CONTROL ROW        print the cells of a row, tab-separated");
  Out(L"  get-cell WINDOW CONTROL ROW COL   print one cell");
  Out(L"  status-text WINDOW CONTROL PART   print the text of a status-bar part");
  Out(L"  handle WINDOW CONTROL             print the control's window handle in decimal");
  Out(L"  tabs WINDOW CONTROL               print the tab captions, * marking the current tab");
  Out(L"  select-tab WINDOW CONTROL TAB     click a tab (counting the tabs shown)");
  Out(L"  state WINDOW CONTROL              print enabled|disabled and visible|hidden");
  Out(L"  answer-box OK|CANCEL              wait for the topmost message box, print its title and text,");
  Out(L"                                    press the button");
  Out(L"Exit codes: 0 done, 1 refused or bad arguments, 2 timed out.");
}

int Run(std::vector<std::wstring> a) {
  if (a.size() >= 2 && a[0] == L"--timeout") {
    int ms = 0;
    if (int rc = ParseInt(a[1], &ms)) return rc;
    g_timeoutMs = ms;
    a.erase(a.begin(), a.begin() + 2);
  }
  if (a.empty() || a[0] == L"help" || a[0] == L"--help") {
    Help();
    return a.empty() ? 1 : 0;
  }
  const std::wstring cmd = a[0];
  auto need = [&](std::size_t n) { return a.size() == n + 1; };
  int rc = 0;
  Target t;

  if (cmd == L"wait-window" && need(1)) return Resolve(a[1], L"", &t, &rc) ? 0 : rc;
  if (cmd == L"wait-gone" && need(1)) {
    return WaitFor([&] { return TopWindows(a[1]).empty(); }) ? 0 : TimedOut(L"window \"" + a[1] + L"\" to close");
  }
  if (cmd == L"count-windows" && need(1)) {
    Out(std::to_wstring(TopWindows(a[1]).size()));
    return 0;
  }
  if (cmd == L"close" && need(1)) {
    if (!Resolve(a[1], L"", &t, &rc)) return rc;
    PostMessageW(t.top, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == L"answer-box" && need(1)) return AnswerBox(a[1]);
  if (cmd == L"foreground" && need(0)) {
    const HWND front = GetForegroundWindow();
    Out(front ? TextOf(GetAncestor(front, GA_ROOT)) : L"");
    return 0;
  }

  if (a.size() < 3) return Fail(L"missing arguments; see uidriver help");
  if (!Resolve(a[1], a[2], &t, &rc)) return rc;
  const quillane::ui::Kind kind = t.def->controls[t.index].kind;
  using quillane::ui::Kind;
  auto kindIs = [&](Kind k, const wchar_t* what) {
    if (kind == k) return true;
    rc = Fail(a[2] + L" is not " + what);
    return false;
  };
  int n = 0, m = 0;
  if (cmd == L"toolbar-items" && need(2)) return kindIs(Kind::ToolBar, L"a tool bar") ? ToolbarItems(t) : rc;
  if (cmd == L"click-tool" && need(3)) {
    if (!kindIs(Kind::ToolBar, L"a tool bar")) return rc;
    if ((rc = ParseInt(a[3], &n))) return rc;
    return ClickTool(t, n);
  }
  if (cmd == L"handle" && need(2)) {
    Out(std::to_wstring(reinterpret_cast<std::uintptr_t>(t.ctl)));
    return 0;
  }
  if (cmd == L"state" && need(2)) {
    Out(std::wstring(IsWindowEnabled(t.ctl) ? L"enabled" : L"disabled") + L"\t" +
        (IsWindowVisible(t.ctl) ? L"visible" : L"hidden"));
    return 0;
  }
  if (cmd == L"get-text" && need(2)) {
    Out(TextOf(t.ctl));
    return 0;
  }
  if (cmd == L"click" && need(2)) {
    if (!kindIs(Kind::Button, L"a button")) return rc;
    if (!IsWindowEnabled(t.ctl)) return Fail(a[2] + L" is disabled");
    // Returns when the click has been handled, or after a second when the
    // handler shows a modal box (answer it with answer-box).
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(t.ctl, BM_CLICK, 0, 0, SMTO_NORMAL, 1000, &ignored);
    return 0;
  }
  if ((cmd == L"type" || cmd == L"set-text") && need(3)) {
    if (!kindIs(Kind::EditBox, L"an edit box")) return rc;
    if (!IsWindowEnabled(t.ctl)) return Fail(a[2] + L" is disabled");
    if (cmd == L"set-text") {
      SendMessageW(t.ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[3].c_str()));
    } else {
      // The caret goes to the end, as after a click behind the text.
      const LRESULT len = SendMessageW(t.ctl, WM_GETTEXTLENGTH, 0, 0);
      SendMessageW(t.ctl, EM_SETSEL, static_cast<WPARAM>(len), len);
      for (wchar_t ch : a[3]) SendMessageW(t.ctl, WM_CHAR, ch, 1);
    }
    return 0;
  }
  if (cmd == L"select-combo" && need(3)) {
    if (!kindIs(Kind::ComboBox, L"a combo box")) return rc;
    if ((rc = ParseInt(a[3], &n))) return rc;
    if (SendMessageW(t.ctl, CB_SETCURSEL, static_cast<WPARAM>(n), 0) == CB_ERR && n != -1) {
      return Fail(L"the combo box has no item " + a[3]);
    }
    SendMessageW(GetParent(t.ctl), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(t.ctl), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(t.ctl));
    return 0;
  }
  if (cmd == L"select-row" && need(3)) {
    if (!kindIs(Kind::ListView, L"a report list")) return rc;
    if ((rc = ParseInt(a[3], &n))) return rc;
    return SelectRow(t, n);
  }
  if (cmd == L"row-count" && need(2)) {
    if (!kindIs(Kind::ListView, L"a report list")) return rc;
    Out(std::to_wstring(SendMessageW(t.ctl, LVM_GETITEMCOUNT, 0, 0)));
    return 0;
  }
  if (cmd == L"get-row" && need(3)) {
    if (!kindIs(Kind::ListView, L"a report list")) return rc;
    if ((rc = ParseInt(a[3], &n))) return rc;
    return ReadCells(t, n, -1);
  }
  if (cmd == L"get-cell" && need(4)) {
    if (!kindIs(Kind::ListView, L"a report list")) return rc;
    if ((rc = ParseInt(a[3], &n)) || (rc = ParseInt(a[4], &m))) return rc;
    return ReadCells(t, n, m);
  }
  if (cmd == L"status-text" && need(3)) {
    if (!kindIs(Kind::StatusBar, L"a status bar")) return rc;
    if ((rc = ParseInt(a[3], &n))) return rc;
    return ReadStatus(t, n);
  }
  if (cmd == L"tabs" && need(2)) return kindIs(Kind::PageControl, L"a tab control") ? Tabs(t) : rc;
  if (cmd == L"select-tab" && need(3)) {
    if (!kindIs(Kind::PageControl, L"a tab control")) return rc;
    if ((rc = ParseInt(a[3], &n))) return rc;
    return SelectTab(t, n);
  }
  return Fail(L"unknown command or wrong arguments: " + cmd + L"; see uidriver help");
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return Run(args);
}

#include "driver.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <utility>

#include "services/encoding.h"
#include "ui/win32_backend.h"

namespace uidriver {
namespace {

using quillane::GbkFromWide;
using quillane::WideFromGbk;
using quillane::ui::FindControl;
using quillane::ui::GetWindowDef;
using quillane::ui::kWin32ControlProp;
using quillane::ui::kWin32WindowClass;
using quillane::ui::WindowId;

// --- Output ------------------------------------------------------------------

// Straight UTF-16 to UTF-8 (texts read from windows may hold characters
// outside GBK).
std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

void Write(HANDLE h, const std::string& s) {
  DWORD done = 0;
  WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &done, nullptr);
}
std::wstring ClassOf(HWND h) {
  wchar_t cls[128] = {};
  GetClassNameW(h, cls, 128);
  return cls;
}

}  // namespace

int g_timeoutMs = 5000;

void Out(const std::wstring& line) { Write(GetStdHandle(STD_OUTPUT_HANDLE), ToUtf8(line) + "\n"); }
int Fail(const std::wstring& msg, int rc) {
  Write(GetStdHandle(STD_ERROR_HANDLE), "uidriver: " + ToUtf8(msg) + "\n");
  return rc;
}
int TimedOut(const std::wstring& what) {
  return Fail(L"timed out after " + std::to_wstring(g_timeoutMs) + L" ms waiting for " + what, 2);
}

int ParseInt(const std::wstring& s, int* v) {
  wchar_t* end = nullptr;
  const long n = std::wcstol(s.c_str(), &end, 10);
  if (s.empty() || *end != L'\0') return Fail(L"not a number: " + s);
  *v = static_cast<int>(n);
  return 0;
}

// --- Finding windows and controls ---------------------------------------------

std::wstring TextOf(HWND h) {
  const LRESULT len = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
  std::wstring buf(static_cast<std::size_t>(len) + 1, L'\0');
  const LRESULT got = SendMessageW(h, WM_GETTEXT, static_cast<WPARAM>(len + 1),
                                   reinterpret_cast<LPARAM>(buf.data()));
  buf.resize(static_cast<std::size_t>(got));
  return buf;
}

namespace {

struct CaptionSearch {
  const std::wstring* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectByCaption(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<CaptionSearch*>(lp);
  if (ClassOf(h) == kWin32WindowClass && TextOf(h) == *c->caption) c->found.push_back(h);
  return TRUE;
}

}  // namespace

std::vector<HWND> TopWindows(const std::wstring& caption) {
  CaptionSearch ctx{&caption, {}};
  EnumWindows(CollectByCaption, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

namespace {

bool WindowOf(const std::wstring& caption, WindowId* id) {
  for (WindowId w : {WindowId::Main, WindowId::Settings}) {
    if (WideFromGbk(GetWindowDef(w).caption) == caption) {
      *id = w;
      return true;
    }
  }
  return false;
}

struct ControlSearch {
  int index;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<ControlSearch*>(lp);
  if (GetDlgCtrlID(h) == quillane::ui::ControlNativeId(c->index) &&
      reinterpret_cast<INT_PTR>(GetPropW(h, kWin32ControlProp)) == c->index + 1) {
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

}  // namespace

bool Resolve(const std::wstring& caption, const std::wstring& control, Target* t, int* rc) {
  WindowId id;
  if (!WindowOf(caption, &id)) {
    *rc = Fail(L"no window definition has the caption \"" + caption + L"\"");
    return false;
  }
  t->def = &GetWindowDef(id);
  if (!control.empty()) {
    t->index = FindControl(*t->def, GbkFromWide(control));
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

// --- Message boxes, open and save dialogs ----------------------------------------

namespace {

struct ChildById {
  int id;
  HWND found;
};

BOOL CALLBACK MatchVisibleChildId(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<ChildById*>(lp);
  if (GetDlgCtrlID(h) == c->id && IsWindowVisible(h)) {
    c->found = h;
    return FALSE;
  }
  return TRUE;
}

// The file-name field of an open or save dialog: the combo box of the newer
// layout (its edit takes the text) or the edit box of the older one.
HWND FileNameField(HWND dialog) {
  constexpr int kFileNameCombo = 0x47C;  // cmb13
  constexpr int kFileNameEdit = 0x480;   // edt1
  for (int id : {kFileNameCombo, kFileNameEdit}) {
    ChildById ctx{id, nullptr};
    EnumChildWindows(dialog, MatchVisibleChildId, reinterpret_cast<LPARAM>(&ctx));
    if (ctx.found != nullptr) return ctx.found;
  }
  return nullptr;
}

// The topmost visible dialog box with the given button that is not an open or
// save dialog: a message box. (An open or save dialog that has just asked
// whether to replace a file stays up a moment after the answer.)
struct BoxSearch {
  int button;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<BoxSearch*>(lp);
  if (IsWindowVisible(h) && ClassOf(h) == L"#32770" && GetDlgItem(h, s->button) != nullptr &&
      FileNameField(h) == nullptr) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND TopMessageBox(int button) {
  BoxSearch search{button, nullptr};
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
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

// The button of an answer: OK, CANCEL, YES or NO in any letter case.
int AnswerButton(std::wstring answer) {
  for (auto& ch : answer) ch = static_cast<wchar_t>(std::towupper(ch));
  static const std::pair<const wchar_t*, int> kButtons[] = {
      {L"OK", IDOK}, {L"CANCEL", IDCANCEL}, {L"YES", IDYES}, {L"NO", IDNO}};
  for (const auto& [name, id] : kButtons) {
    if (answer == name) return id;
  }
  return 0;
}

// Presses a button of a dialog as a click would and waits until it is gone,
// or (`orAsks`) until it asks a question of its own, which disables it.
bool PressAndWaitGone(HWND dialog, int id, bool orAsks = false) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  return WaitFor([&] {
    return !IsWindow(dialog) || !IsWindowVisible(dialog) || (orAsks && !IsWindowEnabled(dialog));
  });
}

struct CaptionedDialog {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK MatchCaptionedDialog(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<CaptionedDialog*>(lp);
  if (IsWindowVisible(h) && ClassOf(h) == L"#32770" && TextOf(h) == *c->caption) {
    c->found = h;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int ChooseFile(const std::wstring& caption, const std::wstring& path) {
  HWND dialog = WaitFor([&]() -> HWND {
    CaptionedDialog ctx{&caption, nullptr};
    EnumWindows(MatchCaptionedDialog, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
  });
  if (dialog == nullptr) return TimedOut(L"the dialog \"" + caption + L"\"");
  if (path == L"CANCEL") {
    return PressAndWaitGone(dialog, IDCANCEL) ? 0 : TimedOut(L"the dialog to close");
  }
  HWND field = WaitFor([&] { return FileNameField(dialog); });
  if (field == nullptr) return Fail(L"the dialog \"" + caption + L"\" has no file name field");
  SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  // A dialog that stays open did not take the name (no such file or folder);
  // one that asks first (a file to replace) leaves that box to answer-box.
  return PressAndWaitGone(dialog, IDOK, true) ? 0 : Fail(L"the dialog did not take " + path);
}

int AnswerBox(const std::wstring& answer) {
  const int id = AnswerButton(answer);
  if (id == 0) return Fail(L"answer OK, CANCEL, YES or NO, not " + answer);
  HWND box = WaitFor([id] { return TopMessageBox(id); });
  if (box == nullptr) return TimedOut(L"a message box with the button " + answer);
  // A box can be found while it is being made, before its title and text
  // are in; every box of the program has a title.
  const DWORD start = GetTickCount();
  while (TextOf(box).empty() && IsWindow(box) && GetTickCount() - start < 1000) Sleep(25);
  std::wstring text = MessageBoxText(box);
  for (auto& ch : text) {
    if (ch == L'\r' || ch == L'\n') ch = L' ';
  }
  Out(TextOf(box));
  Out(text);
  return PressAndWaitGone(box, id) ? 0 : TimedOut(L"the message box to close");
}

}  // namespace uidriver

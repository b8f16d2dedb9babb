// uidriver: drives the program's windows from outside, as a user would, for
// the end-to-end tests. Windows are found by caption among the program's
// top-level windows; controls by the names of the window definitions, which
// map to the fixed control ids the runtime gives them. Arguments come in as
// UTF-16 (wide command line), output goes out as UTF-8.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"
#include "services/unique_handle.h"
#include "ui/definitions.h"

namespace uidriver {
namespace {

// --- The commands ----------------------------------------------------------------

// A command's words after its name; for a command on a control, the control
// they name (resolved and of the right kind) and the numbers among its
// further words.
struct Call {
  std::vector<std::wstring> words;
  Target t;
  std::vector<int> numbers;
};

using Kind = quillane::ui::Kind;

int WaitWindow(const Call& c) {
  Target t;
  int rc = 0;
  return Resolve(c.words[0], L"", &t, &rc) ? 0 : rc;
}

int WaitGone(const Call& c) {
  return WaitFor([&] { return TopWindows(c.words[0]).empty(); })
             ? 0
             : TimedOut(L"window \"" + c.words[0] + L"\" to close");
}

int CountWindows(const Call& c) {
  Out(std::to_wstring(TopWindows(c.words[0]).size()));
  return 0;
}

int Foreground(const Call&) {
  const HWND front = GetForegroundWindow();
  Out(front ? TextOf(GetAncestor(front, GA_ROOT)) : L"");
  return 0;
}

int Close(const Call& c) {
  Target t;
  int rc = 0;
  if (!Resolve(c.words[0], L"", &t, &rc)) return rc;
  PostMessageW(t.top, WM_CLOSE, 0, 0);
  return 0;
}

int Handle(const Call& c) {
  Out(std::to_wstring(reinterpret_cast<std::uintptr_t>(c.t.ctl)));
  return 0;
}

int State(const Call& c) {
  Out(std::wstring(IsWindowEnabled(c.t.ctl) ? L"enabled" : L"disabled") + L"\t" +
      (IsWindowVisible(c.t.ctl) ? L"visible" : L"hidden"));
  return 0;
}

int GetText(const Call& c) {
  Out(TextOf(c.t.ctl));
  return 0;
}

int Click(const Call& c) {
  if (!IsWindowEnabled(c.t.ctl)) return Fail(c.words[1] + L" is disabled");
  // Returns when the click has been handled, or after a second when the
  // handler shows a modal box (answer it with answer-box).
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(c.t.ctl, BM_CLICK, 0, 0, SMTO_NORMAL, 1000, &ignored);
  return 0;
}

int Type(const Call& c) {
  if (!IsWindowEnabled(c.t.ctl)) return Fail(c.words[1] + L" is disabled");
  // The caret goes to the end, as after a click behind the text.
  const LRESULT len = SendMessageW(c.t.ctl, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(c.t.ctl, EM_SETSEL, static_cast<WPARAM>(len), len);
  for (wchar_t ch : c.words[2]) SendMessageW(c.t.ctl, WM_CHAR, ch, 1);
  return 0;
}

int SetText(const Call& c) {
  if (!IsWindowEnabled(c.t.ctl)) return Fail(c.words[1] + L" is disabled");
  SendMessageW(c.t.ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.words[2].c_str()));
  return 0;
}

int SelectCombo(const Call& c) {
  const int n = c.numbers[0];
  if (SendMessageW(c.t.ctl, CB_SETCURSEL, static_cast<WPARAM>(n), 0) == CB_ERR && n != -1) {
    return Fail(L"the combo box has no item " + c.words[2]);
  }
  SendMessageW(GetParent(c.t.ctl), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c.t.ctl), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(c.t.ctl));
  return 0;
}

int RowCount(const Call& c) {
  Out(std::to_wstring(SendMessageW(c.t.ctl, LVM_GETITEMCOUNT, 0, 0)));
  return 0;
}

int SelectedRow(const Call& c) {
  Out(std::to_wstring(SendMessageW(c.t.ctl, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                   MAKELPARAM(LVNI_SELECTED, 0))));
  return 0;
}

int Help(const Call&);

// Every command: its name, its words as the help shows them, the kind of
// control it works on (when its words start with WINDOW CONTROL, which are
// resolved before it runs), whether its further words are numbers, what it
// does and its help line (and a second one where it needs one). The help is
// printed from this table, and the number of words a command takes is
// counted from it, so neither can drift from what the commands are.
struct Command {
  const wchar_t* name;
  const wchar_t* arguments;
  std::optional<Kind> kind;
  bool numbers;
  int (*run)(const Call&);
  const wchar_t* help;
  const wchar_t* more = nullptr;
};

// clang-format off
const Command kCommands[] = {
    {L"help", L"", {}, false, Help, L"this list"},
    {L"wait-window", L"WINDOW", {}, false, WaitWindow, L"wait until the window is open"},
    {L"wait-gone", L"WINDOW", {}, false, WaitGone, L"wait until the window is closed"},
    {L"count-windows", L"WINDOW", {}, false, CountWindows, L"print how many such windows are open"},
    {L"foreground", L"", {}, false, Foreground, L"print the caption of the window in the foreground"},
    {L"close", L"WINDOW", {}, false, Close, L"ask the window to close (its close box)"},
    {L"toolbar-items", L"WINDOW CONTROL", Kind::ToolBar, false,
     [](const Call& c) { return ToolbarItems(c.t); },
     L"print each tool-bar item: index, caption (- for a separator),",
     L"visible|hidden, enabled|disabled"},
    {L"click-tool", L"WINDOW CONTROL INDEX", Kind::ToolBar, true,
     [](const Call& c) { return ClickTool(c.t, c.numbers[0]); },
     L"click a tool-bar button by index (separators counted)"},
    {L"click", L"WINDOW CONTROL", Kind::Button, false, Click,
     L"click a button (returns after 1 s if it opens a box)"},
    {L"type", L"WINDOW CONTROL TEXT", Kind::EditBox, false, Type,
     L"type the characters into an edit box"},
    {L"set-text", L"WINDOW CONTROL TEXT", Kind::EditBox, false, SetText,
     L"set the text of an edit box"},
    {L"get-text", L"WINDOW CONTROL", {}, false, GetText,
     L"print the text of an edit box, combo box, button or label"},
    {L"select-combo", L"WINDOW CONTROL INDEX", Kind::ComboBox, true, SelectCombo,
     L"select a combo box item"},
    {L"select-row", L"WINDOW CONTROL ROW", Kind::ListView, true,
     [](const Call& c) { return SelectRow(c.t, c.numbers[0]); },
     L"select a report-list row"},
    {L"row-count", L"WINDOW CONTROL", Kind::ListView, false, RowCount,
     L"print the number of report-list rows"},
    {L"selected-row", L"WINDOW CONTROL", Kind::ListView, false, SelectedRow,
     L"print the selected report-list row (-1: none)"},
    {L"get-row", L"WINDOW CONTROL ROW", Kind::ListView, true,
     [](const Call& c) { return ReadCells(c.t, c.numbers[0], -1); },
     L"print the cells of a row, tab-separated"},
    {L"get-cell", L"WINDOW CONTROL ROW COL", Kind::ListView, true,
     [](const Call& c) { return ReadCells(c.t, c.numbers[0], c.numbers[1]); },
     L"print one cell"},
    {L"status-text", L"WINDOW CONTROL PART", Kind::StatusBar, true,
     [](const Call& c) { return ReadStatus(c.t, c.numbers[0]); },
     L"print the text of a status-bar part"},
    {L"handle", L"WINDOW CONTROL", {}, false, Handle,
     L"print the control's window handle in decimal"},
    {L"tabs", L"WINDOW CONTROL", Kind::PageControl, false,
     [](const Call& c) { return Tabs(c.t); },
     L"print the tab captions, * marking the current tab"},
    {L"select-tab", L"WINDOW CONTROL TAB", Kind::PageControl, true,
     [](const Call& c) { return SelectTab(c.t, c.numbers[0]); },
     L"click a tab (counting the tabs shown)"},
    {L"state", L"WINDOW CONTROL", {}, false, State,
     L"print enabled|disabled and visible|hidden"},
    {L"answer-box", L"OK|CANCEL|YES|NO", {}, false,
     [](const Call& c) { return AnswerBox(c.words[0]); },
     L"wait for the topmost message box, print its title and text,",
     L"press the button"},
    {L"choose-file", L"DIALOG PATH|CANCEL", {}, false,
     [](const Call& c) { return ChooseFile(c.words[0], c.words[1]); },
     L"in the open or save dialog with the caption DIALOG, type the",
     L"path as the file name and press Open or Save (or Cancel)"},
};
// clang-format on

// The words of a command's arguments, as the help shows them.
std::vector<std::wstring> WordsOf(const Command& cmd) {
  std::vector<std::wstring> words;
  std::wstring rest = cmd.arguments;
  while (!rest.empty()) {
    const std::size_t space = rest.find(L' ');
    words.push_back(rest.substr(0, space));
    rest = space == std::wstring::npos ? L"" : rest.substr(space + 1);
  }
  return words;
}

bool OnControl(const Command& cmd) {
  const std::vector<std::wstring> words = WordsOf(cmd);
  return words.size() >= 2 && words[0] == L"WINDOW" && words[1] == L"CONTROL";
}

int Help(const Call&) {
  constexpr std::size_t kHelpColumn = 36;
  Out(L"uidriver [--timeout MS] COMMAND ARGUMENTS   (WINDOW is a caption: Quillane or "
      L"\u8BBE\u7F6E;");
  Out(L"                                             CONTROL is a control name of its "
      L"definition)");
  for (const Command& cmd : kCommands) {
    std::wstring usage = std::wstring(L"  ") + cmd.name;
    if (*cmd.arguments != L'\0') usage += std::wstring(L" ") + cmd.arguments;
    usage.resize(std::max(usage.size() + 1, kHelpColumn), L' ');
    Out(usage + cmd.help);
    if (cmd.more != nullptr) Out(std::wstring(kHelpColumn, L' ') + cmd.more);
  }
  Out(L"Exit codes: 0 done, 1 refused or bad arguments, 2 timed out.");
  return 0;
}

// How a refusal names the kind a command wants.
const wchar_t* KindName(Kind kind) {
  static const std::pair<Kind, const wchar_t*> kNames[] = {
      {Kind::ToolBar, L"a tool bar"},       {Kind::Button, L"a button"},
      {Kind::EditBox, L"an edit box"},      {Kind::ComboBox, L"a combo box"},
      {Kind::ListView, L"a report list"},   {Kind::StatusBar, L"a status bar"},
      {Kind::PageControl, L"a tab control"}};
  for (const auto& [k, name] : kNames) {
    if (k == kind) return name;
  }
  return L"a different control";
}

// Resolves the control of a command on one, checks its kind and reads its
// numbers; prints the failure.
int Prepare(const Command& cmd, Call* call) {
  int rc = 0;
  if (!Resolve(call->words[0], call->words[1], &call->t, &rc)) return rc;
  if (cmd.kind && call->t.def->controls[call->t.index].kind != *cmd.kind) {
    return Fail(call->words[1] + L" is not " + KindName(*cmd.kind));
  }
  for (std::size_t i = 2; cmd.numbers && i < call->words.size(); ++i) {
    int n = 0;
    if ((rc = ParseInt(call->words[i], &n))) return rc;
    call->numbers.push_back(n);
  }
  return 0;
}

int Run(std::vector<std::wstring> a) {
  if (a.size() >= 2 && a[0] == L"--timeout") {
    int ms = 0;
    if (int rc = ParseInt(a[1], &ms)) return rc;
    g_timeoutMs = ms;
    a.erase(a.begin(), a.begin() + 2);
  }
  if (a.empty()) return Help({}) + 1;
  if (a[0] == L"--help") a[0] = L"help";
  Call call{std::vector<std::wstring>(a.begin() + 1, a.end()), {}, {}};
  for (const Command& cmd : kCommands) {
    // help takes any words after it
    if (a[0] != cmd.name || (cmd.run != Help && call.words.size() != WordsOf(cmd).size())) {
      continue;
    }
    if (OnControl(cmd)) {
      if (int rc = Prepare(cmd, &call)) return rc;
    }
    return cmd.run(call);
  }
  // Unknown or wrong words: as for a command on a control, the window and the
  // control they name are looked for first, so a refusal of those comes first.
  if (a.size() < 3) return Fail(L"missing arguments; see uidriver help");
  Target t;
  int rc = 0;
  if (!Resolve(a[1], a[2], &t, &rc)) return rc;
  return Fail(L"unknown command or wrong arguments: " + a[0] + L"; see uidriver help");
}

}  // namespace
}  // namespace uidriver

int main() {
  int argc = 0;
  const quillane::UniqueArgv argv(CommandLineToArgvW(GetCommandLineW(), &argc));
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv.get()[i]);
  return uidriver::Run(args);
}

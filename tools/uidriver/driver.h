// The pieces uidriver's commands are made of: output, finding the program's
// windows and controls, and the commands that read or click controls whose
// messages carry pointers (they work on memory in the program's process).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/definitions.h"

namespace uidriver {

// How long a command waits for a window, a control or a message box (ms).
extern int g_timeoutMs;

// --- Output, as UTF-8 ---------------------------------------------------------

void Out(const std::wstring& line);
// Prints "uidriver: " and the message to the error output; returns rc.
int Fail(const std::wstring& msg, int rc = 1);
int TimedOut(const std::wstring& what);
int ParseInt(const std::wstring& s, int* v);

// --- Windows and controls -------------------------------------------------------

std::wstring TextOf(HWND h);
// The program's top-level windows with the caption.
std::vector<HWND> TopWindows(const std::wstring& caption);

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

// A window found by its caption and, when a control was named, the control.
struct Target {
  HWND top = nullptr;
  HWND ctl = nullptr;
  int index = -1;
  const quillane::ui::WindowDef* def = nullptr;
};

// Resolves "caption control" (an empty control: the window only); prints the
// failure, sets *rc and returns false.
bool Resolve(const std::wstring& caption, const std::wstring& control, Target* t, int* rc);

// --- Commands on controls --------------------------------------------------------

int ToolbarItems(const Target& t);
int ClickTool(const Target& t, int index);
int ReadStatus(const Target& t, int part);
int Tabs(const Target& t);
int SelectTab(const Target& t, int tab);
// Prints one cell, or (column -1) the whole row tab-separated.
int ReadCells(const Target& t, int row, int column);
int SelectRow(const Target& t, int row);
// Waits for the topmost message box, prints its title and text and presses
// OK, CANCEL, YES or NO.
int AnswerBox(const std::wstring& answer);
// Waits for the open or save dialog with the caption, types the path into its
// file-name field and presses its Open or Save button; with the path CANCEL
// it presses Cancel. Fails when the dialog neither closes nor asks a question
// of its own (such as whether to replace a file; answer it with answer-box).
int ChooseFile(const std::wstring& caption, const std::wstring& path);

}  // namespace uidriver

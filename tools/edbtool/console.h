// The console edge of edbtool: the user's language, lines printed so that a
// Windows console shows Chinese right, and the pause that keeps a console
// window of edbtool's own open.
#pragma once

#include <cstdio>

#include "rules/rule_csv.h"
#include "services/types.h"

namespace quillane::edbtool {

// Chinese when the user's language is Chinese (Windows: the user interface
// language; elsewhere LC_ALL, LC_MESSAGES or LANG, the first one set,
// starting with "zh"), English otherwise.
MessageLanguage UserLanguage();

// Prints a GBK text and a line end: to a Windows console as its characters,
// anywhere else (a file, a pipe, a terminal) as UTF-8.
void PrintLine(std::FILE* stream, const Text& gbk);

// When edbtool has a console window of its own (it was started by a double
// click, not from a command prompt), waits for a key so that its words stay
// readable. Does nothing elsewhere.
void WaitIfOwnConsole(MessageLanguage language);

}  // namespace quillane::edbtool

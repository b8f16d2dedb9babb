#include "tools/edbtool/console.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <cstring>
#endif

#include <string>

#include "services/encoding.h"

namespace quillane::edbtool {

#ifdef _WIN32

MessageLanguage UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? MessageLanguage::Chinese
                                                                   : MessageLanguage::English;
}

void PrintLine(std::FILE* stream, const Text& gbk) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    const std::wstring wide = WideFromGbk(gbk + "\r\n");
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const std::string utf8 = GbkToUtf8(gbk) + "\n";
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

// Under Wine a program started from a Unix shell also gets a console of its
// own, though nobody double-clicked it: it must not wait there.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void WaitIfOwnConsole(MessageLanguage language) {
  DWORD processes[2] = {};
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  // A double click gives a console that only this process uses, with the
  // keyboard and the screen on it; a redirected output is a script's.
  if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(input, &mode) ||
      !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) || UnderWine())
    return;
  PrintLine(stdout, language == MessageLanguage::Chinese ? "按任意键关闭窗口……"
                                                         : "Press any key to close this window...");
  FlushConsoleInputBuffer(input);
  for (;;) {
    INPUT_RECORD record{};
    DWORD got = 0;
    if (!ReadConsoleInputW(input, &record, 1, &got) || got == 0) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}

#else

MessageLanguage UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value)
      return std::strncmp(value, "zh", 2) == 0 ? MessageLanguage::Chinese
                                               : MessageLanguage::English;
  }
  return MessageLanguage::English;
}

void PrintLine(std::FILE* stream, const Text& gbk) {
  const std::string utf8 = GbkToUtf8(gbk) + "\n";
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

void WaitIfOwnConsole(MessageLanguage) {}

#endif

}  // namespace quillane::edbtool

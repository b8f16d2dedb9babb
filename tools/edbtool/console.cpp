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

void WaitIfOwnConsole(MessageLanguage language) {
  DWORD processes[2] = {};
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(input, &mode)) return;
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
      return std::strncmp(value, "zh", 2) == 0 ? MessageLanguage::Chinese : MessageLanguage::English;
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

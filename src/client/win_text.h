// Texts at the window edge: the program's GBK texts as UTF-16 for the W
// functions and back, with code page 936 whatever the system's own is.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "services/encoding.h"
#include "services/types.h"

namespace quillane::client {

inline Text WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring buffer(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(window, buffer.data(), n + 1);
  buffer.resize(static_cast<std::size_t>(n));
  return GbkFromWide(buffer);
}

inline void SetText(HWND window, std::string_view gbk) {
  SetWindowTextW(window, WideFromGbk(gbk).c_str());
}

// Appends a line to a multi-line edit control and scrolls it into view.
inline void AppendLine(HWND edit, std::string_view gbk) {
  const std::wstring line = WideFromGbk(gbk) + L"\r\n";
  const int end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, end, end);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

inline std::wstring Environment(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
  value.resize(got);
  return value;
}

}  // namespace quillane::client

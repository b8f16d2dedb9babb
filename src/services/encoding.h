// Conversions between GBK (code page 936, the program's text encoding), UTF-8
// (the encoding of the command-line tools, logs and CSV files) and UTF-16 (the
// encoding of the Win32 W functions). They never depend on the system's own
// code page or locale.
#pragma once

#include <string>
#include <string_view>

namespace quillane {

// Bytes that are not valid in the source encoding become '?' (or U+FFFD when
// converting to UTF-16/UTF-8), so a conversion never fails and never loses
// the text around a bad byte.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);
std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);

#ifdef _WIN32
// The same for the wide strings of the Win32 W functions: the one place where
// the program's texts meet the window edge.
std::wstring WideFromGbk(std::string_view gbk);
std::string GbkFromWide(std::wstring_view wide);
#endif

}  // namespace quillane

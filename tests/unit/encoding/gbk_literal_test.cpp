// Narrow string literals are compiled to GBK, the program's text encoding,
// by every compiler that builds Quillane (g++, clang, mingw-w64).
#include <gtest/gtest.h>

#include <string>

TEST(GbkLiterals, ChineseLiteralIsGbkBytes) {
  const std::string s = "数据库";
  EXPECT_EQ(s, std::string("\xCA\xFD\xBE\xDD\xBF\xE2"));
}

TEST(GbkLiterals, FullWidthBlankAndAsciiAreUnchanged) {
  EXPECT_EQ(std::string("　"), std::string("\xA1\xA1"));
  EXPECT_EQ(std::string("Data.ini|$&"),
            std::string("\x44\x61\x74\x61\x2E\x69\x6E\x69\x7C\x24\x26"));
}

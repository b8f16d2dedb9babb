#include "services/encoding.h"

#include <gtest/gtest.h>

using namespace quillane;

// "在吗？" in UTF-8 source bytes and in GBK.
static const std::string kUtf8 = "\xE5\x9C\xA8\xE5\x90\x97\xEF\xBC\x9F";
static const std::string kGbk = "\xD4\xDA\xC2\xF0\xA3\xBF";

TEST(Encoding, RoundTripsChineseBetweenGbkUtf8AndUtf16) {
  EXPECT_EQ(GbkToUtf8(kGbk), kUtf8);
  EXPECT_EQ(Utf8ToGbk(kUtf8), kGbk);
  const std::u16string wide = GbkToUtf16(kGbk);
  EXPECT_EQ(wide, std::u16string(u"\u5728\u5417\uFF1F"));
  EXPECT_EQ(Utf16ToGbk(wide), kGbk);
  EXPECT_EQ(GbkToUtf8("abc|123"), "abc|123");
  EXPECT_EQ(GbkToUtf8(""), "");
}

TEST(Encoding, InvalidBytesAreReplacedWithoutLosingTheRest) {
  // A lone lead byte at the end, and an invalid UTF-8 byte in the middle.
  const std::string utf8 = GbkToUtf8(kGbk + "\xD4");
  EXPECT_EQ(utf8.substr(0, kUtf8.size()), kUtf8);
  EXPECT_GT(utf8.size(), kUtf8.size());
  const std::string gbk = Utf8ToGbk(
      "a\xFF"
      "b");
  EXPECT_EQ(gbk.front(), 'a');
  EXPECT_EQ(gbk.back(), 'b');
}

TEST(Encoding, CharactersOutsideGbkBecomeAQuestionMark) {
  EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");  // an emoji
}

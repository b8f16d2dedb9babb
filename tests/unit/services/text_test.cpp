#include "services/text.h"

#include <gtest/gtest.h>

using namespace quillane;

namespace {
// "数据库" in GBK: CA FD BE DD BF E2. Its middle bytes "FD BE" and "DD BF"
// straddle character boundaries.
const Text kDb = "数据库";
}  // namespace

TEST(TextOps, LengthLeftRightStopAtTheTerminatorAndClamp) {
  EXPECT_EQ(TextLength(kDb), 6);
  EXPECT_EQ(TextLength(std::string("ab\0cd", 5)), 2);
  EXPECT_EQ(TextLeft("abc", 2), "ab");
  EXPECT_EQ(TextLeft("abc", 9), "abc");
  EXPECT_EQ(TextLeft("abc", 0), "");
  EXPECT_EQ(TextLeft("abc", -3), "");
  EXPECT_EQ(TextRight("abc", 2), "bc");
  EXPECT_EQ(TextRight("abc", 7), "abc");
  EXPECT_EQ(TextRight("abc", -1), "");
  // Not double-byte aware: a cut may split a character.
  EXPECT_EQ(TextLeft(kDb, 3), "\xCA\xFD\xBE");
}

TEST(TextOps, CharCodeIsSignedAndZeroOutsideTheText) {
  EXPECT_EQ(CharCode("abc"), 'a');
  EXPECT_EQ(CharCode("abc", 3), 'c');
  EXPECT_EQ(CharCode("abc", 4), 0);
  EXPECT_EQ(CharCode("abc", 0), 0);
  EXPECT_EQ(CharCode(kDb, 1), static_cast<signed char>('\xCA'));
  EXPECT_LT(CharCode(kDb, 2), 0);
}

TEST(TextOps, FindTextEdgeCases) {
  EXPECT_EQ(FindText("abc", ""), 1);
  EXPECT_EQ(FindText("abc", "", 3), 1);  // 1, not the start position
  EXPECT_EQ(FindText("", ""), -1);
  EXPECT_EQ(FindText("abc", "", 4), -1);
  EXPECT_EQ(FindText("abc", "c", 4), -1);
  EXPECT_EQ(FindText("abc", "c"), 3);
  EXPECT_EQ(FindText("abcabc", "bc", 3), 5);
  EXPECT_EQ(FindText("abc", "abcd"), -1);
  EXPECT_EQ(FindText("abc", "a", -5), 1);
  EXPECT_EQ(FindText("aBc", "Bc"), 2);
  EXPECT_EQ(FindText("aBc", "bC"), -1);
  EXPECT_EQ(FindText("aBc", "bC", 1, true), 2);
}

TEST(TextOps, FindTextNeverMatchesOnASecondByte) {
  // "\xFD\xBE" occurs in 数据 across the boundary of 数 and 据 only.
  EXPECT_EQ(FindText(kDb, "\xFD\xBE"), -1);
  EXPECT_EQ(FindText(kDb, "\xBE\xDD"), 3);
  EXPECT_EQ(FindText(kDb, "库"), 5);
  // An ASCII byte that is a trail byte: the character 81 40 holds "@" (0x40),
  // which is no match inside it.
  EXPECT_EQ(FindText("\x81\x40", "@"), -1);
  EXPECT_EQ(FindText("\x81\x40@", "@"), 3);
  // Case folding leaves two-byte characters alone.
  EXPECT_EQ(FindText("\x81\x61", "A", 1, true), -1);
  // A lead byte before the end is one character.
  EXPECT_EQ(FindText("a\xCA", "\xCA"), 2);
}

TEST(TextOps, ReplaceTextCountsStartAndCharacterBoundaries) {
  EXPECT_EQ(ReplaceText("a|b|c", "|", "｜"), "a｜b｜c");
  EXPECT_EQ(ReplaceText("a|b|c", "|", "", 1, 1), "ab|c");
  EXPECT_EQ(ReplaceText("a|b|c", "|", "-", 3), "a|b-c");
  EXPECT_EQ(ReplaceText("aaa", "a", "bb", 1, 2), "bbbba");
  EXPECT_EQ(ReplaceText("abc", "b", "x", 1, 0), "abc");
  EXPECT_EQ(ReplaceText("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceText("", "a", "x"), "");
  EXPECT_EQ(ReplaceText("abc", "c", "x", 4), "abc");
  EXPECT_EQ(ReplaceText(kDb, "\xFD\xBE", "XX"), kDb);
  EXPECT_EQ(ReplaceText("AbAB", "ab", "-", 1, kReplaceAll, false), "--");
  EXPECT_EQ(ReplaceText("AbAB", "ab", "-"), "AbAB");
}

TEST(TextOps, SplitTextKeepsInnerEmptyPiecesAndDropsATrailingOne) {
  using V = std::vector<Text>;
  EXPECT_EQ(SplitText("a|b", "|"), (V{"a", "b"}));
  EXPECT_EQ(SplitText("|a", "|"), (V{"", "a"}));
  EXPECT_EQ(SplitText("a||b", "|"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitText("a|", "|"), (V{"a"}));
  EXPECT_EQ(SplitText("a||", "|"), (V{"a", ""}));
  EXPECT_EQ(SplitText("", "|"), V{});
  EXPECT_EQ(SplitText("a,b"), (V{"a", "b"}));
  EXPECT_EQ(SplitText("a|b", ""), (V{"a|b"}));
  EXPECT_EQ(SplitText("a|b|c", "|", 2), (V{"a", "b"}));
  EXPECT_EQ(SplitText("a|b", "|", 0), V{});
  EXPECT_EQ(SplitText("a|b", "|", -4), V{});
  EXPECT_EQ(SplitText("a<>b<>", "<>"), (V{"a", "b"}));
  // A separator byte inside a two-byte character does not split it: the
  // character 81 7C holds a "|" (0x7C) as its second byte.
  EXPECT_EQ(SplitText("\x81\x7C|x", "|"), (V{"\x81\x7C", "x"}));
}

TEST(TextOps, TrimSpacesRemovesHalfAndFullWidthSpacesOnly) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("\xA1\xA1 a\xA1\xA1 "), "a");
  EXPECT_EQ(TrimSpaces("\ta\n"), "\ta\n");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(TrimSpaces(""), "");
  // A full-width space right after a character whose trail byte is A1 is
  // still removed; bytes A1 A1 that straddle two characters are not a space.
  EXPECT_EQ(TrimSpaces("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
  EXPECT_EQ(TrimSpaces("x\xA1\xA1\xA1"), "x\xA1\xA1\xA1");
}

TEST(TextOps, ToUpperLeavesTwoByteCharactersAlone) {
  EXPECT_EQ(ToUpper("abcXYZ1"), "ABCXYZ1");
  // The trail byte 0x61 ('a') of the character 81 61 is not a letter.
  EXPECT_EQ(ToUpper("\x81\x61"
                    "a"),
            "\x81\x61"
            "A");
  EXPECT_EQ(ToUpper(""), "");
}

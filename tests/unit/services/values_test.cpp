#include "services/values.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quillane;

TEST(Values, ToTextOfIntegersBoolTextAndBytes) {
  EXPECT_EQ(ToText(-7), "-7");
  EXPECT_EQ(ToText(0), "0");
  EXPECT_EQ(ToText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(ToText(static_cast<std::int16_t>(-300)), "-300");
  EXPECT_EQ(ToText(static_cast<std::uint8_t>(200)), "200");
  EXPECT_EQ(ToText(static_cast<std::int64_t>(12345678901LL)), "12345678901");
  EXPECT_EQ(ToText(true), "真");
  EXPECT_EQ(ToText(false), "假");
  EXPECT_EQ(ToText("abc"), "abc");
  EXPECT_EQ(ToText(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(ToText(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(ToText(Bytes{}), "");
}

TEST(Values, ToTextOfFloatsAndDates) {
  EXPECT_EQ(ToText(2.5), "2.5");
  EXPECT_EQ(ToText(-0.125f), "-0.125");
  EXPECT_EQ(ToText(DateTime{0.0}), "1899-12-30");
  EXPECT_EQ(ToText(DateTime{45000.5}), "2023-03-15 12:00:00");
  EXPECT_EQ(ToText(DateTime{-1.25}), "1899-12-29 06:00:00");
}

TEST(Values, ToTextOfAValueFollowsItsType) {
  EXPECT_EQ(ToText(Value{std::int32_t{-7}}), "-7");
  EXPECT_EQ(ToText(Value{true}), "真");
  EXPECT_EQ(ToText(Value{Text("x")}), "x");
  EXPECT_EQ(ToText(Value{}), "");
  EXPECT_EQ(ToText(Value{Bytes{'4', '2'}}), "42");
}

TEST(Values, ToIntegerReadsLeadingNumbers) {
  EXPECT_EQ(ToInteger("  42abc"), 42);
  EXPECT_EQ(ToInteger("abc"), 0);
  EXPECT_EQ(ToInteger(""), 0);
  EXPECT_EQ(ToInteger("-17"), -17);
  EXPECT_EQ(ToInteger("+5"), 5);
  EXPECT_EQ(ToInteger("\t\n 9"), 9);
  EXPECT_EQ(ToInteger("- 5"), 0);
  EXPECT_EQ(ToInteger("12 34"), 12);
  EXPECT_EQ(ToInteger(std::string("12\0"
                                  "34",
                                  5)),
            12);
  // Out of range: clamped to the 32-bit range.
  EXPECT_EQ(ToInteger("99999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ToInteger("-99999999999"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ToInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ToWideInteger("12345678901"), 12345678901LL);
  EXPECT_EQ(ToWideInteger("-4294967296"), -4294967296LL);
}

TEST(Values, ToIntegerReadsFullWidthDigitsSignsAndSpaces) {
  EXPECT_EQ(ToInteger("１２３"), 123);
  EXPECT_EQ(ToInteger("－４２"), -42);
  EXPECT_EQ(ToInteger("\xA1\xA1"
                      "７x"),
            7);  // full-width space, then 7
  EXPECT_EQ(ToInteger("1２3"), 123);
  EXPECT_EQ(ToInteger("数1"), 0);
}

TEST(Values, ToIntegerOfNumbersTruncatesAndWraps) {
  EXPECT_EQ(ToInteger(3.9), 3);
  EXPECT_EQ(ToInteger(-3.9), -3);
  EXPECT_EQ(ToInteger(2.99f), 2);
  EXPECT_EQ(ToInteger(1e20), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ToInteger(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(ToInteger(true), 1);
  EXPECT_EQ(ToInteger(static_cast<std::uint8_t>(255)), 255);
  EXPECT_EQ(ToInteger(static_cast<std::int16_t>(-2)), -2);
  EXPECT_EQ(ToInteger(static_cast<std::int64_t>(0x1'0000'0005LL)), 5);
  EXPECT_EQ(ToInteger(static_cast<std::uint32_t>(0xFFFFFFFFu)), -1);
  EXPECT_EQ(ToInteger(Value{2.5}), 2);
  EXPECT_EQ(ToInteger(Value{}), 0);
  EXPECT_EQ(ToInteger(Value{Text("８")}), 8);
}

TEST(Values, ToBytesGivesTextBytesAndLittleEndianNumbers) {
  EXPECT_EQ(ToBytes("ab"), (Bytes{'a', 'b'}));
  EXPECT_EQ(ToBytes(Text("数")), (Bytes{0xCA, 0xFD}));
  EXPECT_EQ(ToBytes(std::int32_t{0x01020304}), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(ToBytes(std::int16_t{-2}), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(ToBytes(std::uint8_t{7}), (Bytes{7}));
  EXPECT_EQ(ToBytes(std::int64_t{1}), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ToBytes(true), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(ToBytes(1.0f), (Bytes{0, 0, 0x80, 0x3F}));
  EXPECT_EQ(ToBytes(Bytes{0, 1}), (Bytes{0, 1}));
  EXPECT_EQ(ToBytes(Value{}), Bytes{});
  EXPECT_EQ(ToBytes(Value{std::int32_t{2}}), (Bytes{2, 0, 0, 0}));
}

TEST(Values, BlankBytesAndByteLength) {
  EXPECT_EQ(BlankBytes(3), (Bytes{0, 0, 0}));
  EXPECT_TRUE(BlankBytes(0).empty());
  EXPECT_TRUE(BlankBytes(-1).empty());
  EXPECT_EQ(ByteLength(Bytes{}), 0);
  EXPECT_EQ(ByteLength(Bytes{0, 0}), 2);
}

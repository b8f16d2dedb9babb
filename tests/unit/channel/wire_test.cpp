#include "channel/host_wire.h"

#include <gtest/gtest.h>

using namespace quillane;
using namespace quillane::wire;

TEST(Wire, WParamDigitsAreCountPidAndDescriptorLength) {
  EXPECT_EQ(EncodeWParam(4312, 23), 4431223u);
  EXPECT_EQ(EncodeWParam(7, 5), 175u);
  EXPECT_EQ(EncodeWParam(999999, 99), 699999999u);     // the widest that fits
  EXPECT_EQ(EncodeWParam(123456, 100), std::nullopt);  // 6123456100 >= 2^31
  EXPECT_EQ(EncodeWParam(1234567, 20), std::nullopt);  // 7-digit process ids do not fit
  EXPECT_EQ(EncodeWParam(0, 20), std::nullopt);
  EXPECT_EQ(EncodeWParam(12, 0), std::nullopt);

  const auto f = DecodeWParam(4431223);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->processId, 4312u);
  EXPECT_EQ(f->descriptorLength, 23u);
  for (std::uint64_t pid : {1ull, 42ull, 4312ull, 65535ull, 999999ull}) {
    for (std::uint32_t len : {5u, 23u, 99u}) {
      const auto w = EncodeWParam(pid, len);
      ASSERT_TRUE(w) << pid << " " << len;
      const auto back = DecodeWParam(*w);
      ASSERT_TRUE(back);
      EXPECT_EQ(back->processId, pid);
      EXPECT_EQ(back->descriptorLength, len);
    }
  }
}

TEST(Wire, WParamFromWiderPeersIsDecoded) {
  // A 64-bit peer with a 7-digit process id sends a wider number.
  const auto f = DecodeWParam(7123456723ull);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->processId, 1234567u);
  EXPECT_EQ(f->descriptorLength, 23u);
}

TEST(Wire, GarbageWParamIsRefused) {
  EXPECT_FALSE(DecodeWParam(0));      // digit count 0
  EXPECT_FALSE(DecodeWParam(41234));  // no digits left for the length
  EXPECT_FALSE(DecodeWParam(44312));  // 4 digits of pid, none for the length
  EXPECT_FALSE(DecodeWParam(1050));   // process id 0
  EXPECT_FALSE(DecodeWParam(1700));   // descriptor length 0
  EXPECT_FALSE(DecodeWParam(17999));  // descriptor length beyond the limit
  EXPECT_FALSE(DecodeWParam(~0ull));  // "18446744073709551615": an 18-digit length
  EXPECT_FALSE(DecodeWParam(9));
}

TEST(Wire, DescriptorRoundTrip) {
  const Text d = BuildDescriptor(0x00400000, 7, 0x00400021);
  EXPECT_EQ(d, "4194304$7&4194337");
  const auto p = ParseDescriptor(d);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->statusAddress, 0x00400000u);
  EXPECT_EQ(p->payloadLength, 7u);
  EXPECT_EQ(p->payloadAddress, 0x00400021u);
}

TEST(Wire, DescriptorNumbersAreUnsigned32OrWider) {
  // A 32-bit peer's addresses above 2 GiB arrive as negative numbers.
  const auto p = ParseDescriptor("-2147483648$0&-1");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->statusAddress, 0x80000000u);
  EXPECT_EQ(p->payloadAddress, 0xFFFFFFFFu);
  // A 64-bit peer's wide addresses are taken as they are.
  const auto q = ParseDescriptor("140737488355000$3&140737488355100");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->statusAddress, 140737488355000ull);
  EXPECT_EQ(q->payloadAddress, 140737488355100ull);
  // Blanks around the numbers and a zero byte after the text are fine.
  EXPECT_TRUE(ParseDescriptor(std::string(" 10 $ 2 & 20\0garbage", 20)));
  EXPECT_EQ(AddressFromLParam(-1), 0xFFFFFFFFull);
  EXPECT_EQ(AddressFromLParam(0x12345678), 0x12345678ull);
  EXPECT_FALSE(AddressFromLParam(0));
  EXPECT_FALSE(AddressFromLParam(-4294967296LL));
}

TEST(Wire, MalformedDescriptorsAreRefused) {
  EXPECT_FALSE(ParseDescriptor(""));
  EXPECT_FALSE(ParseDescriptor("123"));
  EXPECT_FALSE(ParseDescriptor("10$5"));           // no "&"
  EXPECT_FALSE(ParseDescriptor("10&5$20"));        // "&" before "$"
  EXPECT_FALSE(ParseDescriptor("$5&20"));          // no status address
  EXPECT_FALSE(ParseDescriptor("0$5&20"));         // status address 0
  EXPECT_FALSE(ParseDescriptor("10$-1&20"));       // negative length
  EXPECT_FALSE(ParseDescriptor("10$1048577&20"));  // above the cap
  EXPECT_FALSE(ParseDescriptor("10$99999999999&20"));
  EXPECT_FALSE(ParseDescriptor("10$5&0"));  // no payload address for 5 bytes
  // Numbers too long for 64 bits are refused, not overflowed.
  EXPECT_FALSE(ParseDescriptor("9999999999999999999$5&20"));
  EXPECT_FALSE(ParseDescriptor("10$5&-9999999999999999999"));
  EXPECT_FALSE(ParseDescriptor("10$5x&20"));  // garbage in a number
  EXPECT_FALSE(ParseDescriptor("10$5&20&30"));
  EXPECT_FALSE(ParseDescriptor("10$5&-4294967296"));
  EXPECT_FALSE(ParseDescriptor("10$5&99999999999999999999"));
  EXPECT_FALSE(ParseDescriptor(std::string("10\0$5&20", 8)));  // text ends before "$"
  // Length 0 with payload address 0 is an empty payload.
  EXPECT_TRUE(ParseDescriptor("10$0&0"));
  EXPECT_TRUE(ParseDescriptor("10$1048576&20"));  // exactly the cap
}

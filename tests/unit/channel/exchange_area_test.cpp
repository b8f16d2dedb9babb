#include "channel/exchange_area.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quillane;

TEST(ExchangeArea, RangesAreFirstFitAlignedAndReused) {
  ExchangeArea::Ranges r(256);
  const auto a = r.Take(10);   // 0..16
  const auto b = r.Take(33);   // 16..64
  const auto c = r.Take(100);  // 64..176
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 16);
  EXPECT_EQ(c, 64);
  EXPECT_EQ(r.Take(100), -1);  // only 80 left
  EXPECT_TRUE(r.Give(16));
  EXPECT_EQ(r.Take(48), 16);  // the freed gap is reused
  EXPECT_FALSE(r.Give(17));   // not the start of a range
  EXPECT_EQ(r.Take(0), -1);
  EXPECT_EQ(r.Take(257), -1);
  EXPECT_EQ(r.Take(80), 176);
  EXPECT_EQ(r.used(), 4u);
}

TEST(ExchangeArea, BlocksDoNotOverlapAndComeBack) {
  ExchangeArea area(4096);
  std::uint8_t* a = area.Allocate(100);
  std::uint8_t* b = area.Allocate(100);
  ASSERT_TRUE(a && b);
  std::memset(a, 1, 100);
  std::memset(b, 2, 100);
  EXPECT_EQ(a[99], 1);
  EXPECT_EQ(area.Allocate(5000), nullptr);
  area.Free(a);
  EXPECT_EQ(area.Allocate(100), a);
  area.Free(nullptr);  // ignored
}

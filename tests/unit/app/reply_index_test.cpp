#include "rules/reply_index.h"

#include <gtest/gtest.h>

#include "rule_generator.h"

namespace quillane {
namespace {

std::vector<MatchRule> Rules(std::initializer_list<MatchRule> r) { return r; }

TEST(ReplyIndex, ExactRuleBeforeContainmentRule) {
  const auto rules = Rules({{"你好|您好", "完全匹配", "A"}, {"您好", "包含", "B"}});
  const ReplyIndex index(rules);
  EXPECT_EQ(index.FirstMatch("您好"), 0);
  EXPECT_EQ(index.FirstMatch("好"), 1);       // occurs inside the piece 您好
  EXPECT_EQ(index.FirstMatch("您好啊"), -1);  // the piece is searched, not the text
}

TEST(ReplyIndex, ContainmentSearchesThePieceForTheCustomerText) {
  const ReplyIndex index(Rules({{"在吗", "包含", "x"}}));
  EXPECT_EQ(index.FirstMatch("在吗"), 0);
  EXPECT_EQ(index.FirstMatch("在"), 0);
  EXPECT_EQ(index.FirstMatch("在吗？"), -1);
  EXPECT_EQ(index.FirstMatch(""), -1);  // an empty text never occurs
}

TEST(ReplyIndex, MatchesOnlyAtCharacterBoundaries) {
  // 翟 is C2 D4 and 在 is D4 DA: the bytes D4 D4 appear in 翟在 but start on
  // the second byte of a character, so they are not found.
  const ReplyIndex index(Rules({{"\xC2\xD4\xD4\xDA", "包含", "x"}}));
  EXPECT_EQ(index.FirstMatch("\xD4\xD4"), -1);
  EXPECT_EQ(index.FirstMatch("\xD4\xDA"), 0);
  EXPECT_EQ(index.FirstMatch("\xDA"), -1);  // only a trail byte in the piece
  EXPECT_EQ(index.FirstMatch("\xD4"), 0);   // starts on 在, ends inside it
  EXPECT_EQ(index.FirstMatch("\xC2"), 0);
}

TEST(ReplyIndex, ExactRulesCompareBytesAndAnyOtherRuleTextIsExact) {
  const auto rules = Rules({{"Hi", "", "a"}, {"在吗 ", "其他", "b"}, {"|x||", "完全匹配", "c"}});
  const ReplyIndex index(rules);
  EXPECT_EQ(index.FirstMatch("hi"), -1);
  EXPECT_EQ(index.FirstMatch("Hi"), 0);
  EXPECT_EQ(index.FirstMatch("在吗"), -1);  // the trailing blank counts
  EXPECT_EQ(index.FirstMatch(""), 2);       // the empty piece before the first "|"
  EXPECT_EQ(index.FirstMatch("H"), -1);
}

TEST(ReplyIndex, EarliestRuleWinsWhenSeveralMatch) {
  const auto rules = Rules({{"abc", "包含", "1"}, {"b", "完全匹配", "2"}, {"xbx", "包含", "3"}});
  const ReplyIndex index(rules);
  EXPECT_EQ(index.FirstMatch("b"), 0);
  EXPECT_EQ(index.FirstMatch("x"), 2);
  EXPECT_EQ(ReplyIndex(Rules({})).FirstMatch("a"), -1);
}

// The index must give the walk's answer for every rule set and text; random
// rule sets over a tiny GBK-heavy alphabet make the corner cases common.
TEST(ReplyIndex, AgreesWithTheWalkOnRandomRuleSets) {
  int matched = 0, unmatched = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    testing::RuleGenerator gen(seed);
    const auto rules = gen.Rules(static_cast<int>(gen.Uniform(0, 40)));
    const ReplyIndex index(rules);
    for (int q = 0; q < 60; ++q) {
      const Text customer = gen.Customer(rules);
      const int expected = FirstMatchByWalking(rules, customer);
      ASSERT_EQ(index.FirstMatch(customer), expected)
          << "seed " << seed << " query " << q << " customer bytes " << customer.size();
      (expected >= 0 ? matched : unmatched)++;
    }
  }
  // Both outcomes must be well represented for the comparison to mean much.
  EXPECT_GT(matched, 3000);
  EXPECT_GT(unmatched, 3000);
}

}  // namespace
}  // namespace quillane

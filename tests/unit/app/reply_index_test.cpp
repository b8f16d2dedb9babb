#include "rules/reply_index.h"

#include <gtest/gtest.h>

#include "rule_generator.h"
#include "rules/reply_matching.h"
#include "rules/rule_matcher.h"
#include "services/text.h"

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

// "消息中包含": a piece matches when it occurs in the customer text, at a
// character start; an empty piece never matches. Each case is asked of the
// piece test, the walk and the index.
TEST(ReplyIndex, InMessageRuleFindsThePieceInTheCustomerText) {
  struct Case {
    const char* keywords;
    const char* customer;
    bool matches;
  } const cases[] = {
      {"在吗", "你好，在吗？", true},
      {"在吗", "在吗", true},
      {"在吗", "在", false},      // the other direction is "包含"
      {"Hi", "hi there", false},  // case counts
      {"|", "", false},           // empty pieces never match
      {"||", "anything", false},
      {"|发货", "几时发货", true},  // the empty piece is skipped, the next one matches
      // 翟 is C2 D4 and 在 is D4 DA: in 翟在 the bytes D4 D4 start on the
      // second byte of 翟, so the piece D4 D4 is not there.
      {"\xD4\xD4", "\xC2\xD4\xD4\xDA", false},
      {"\xD4\xDA", "\xC2\xD4\xD4\xDA", true},
      // Trail bytes that look like ASCII: 0x5C '\\', 0x7C '|', 0x40 '@', 0x7E '~'.
      {"\\", "\x81\x5C", false},
      {"@b",
       "\x81\x40"
       "b",
       false},
      {"~", "\x95\x7E~", true},  // the second '~' starts a character
      {"\x7C", "\x81\x7C", false},
      {"\x81\x5C", "a\x81\x5C", true},
      // A piece that ends with a lone lead byte matches the start of a character.
      {"a\xD4", "a\xD4\xDA", true},
      {"\xDA", "\xD4\xDA", false},  // only the second byte of 在
  };
  for (const Case& c : cases) {
    const std::vector<MatchRule> rules = {{c.keywords, "消息中包含", "x"}};
    const int expected = c.matches ? 0 : -1;
    EXPECT_EQ(FirstMatchByWalking(rules, c.customer), expected)
        << c.keywords << " / " << c.customer;
    EXPECT_EQ(ReplyIndex(rules).FirstMatch(c.customer), expected)
        << c.keywords << " / " << c.customer;
  }
}

TEST(ReplyIndex, FirstRuleDecidesAcrossTheThreeRules) {
  const auto rules = Rules({{"在吗|在不", "消息中包含", "A"},
                            {"你好", "完全匹配", "B"},
                            {"你好呀|发货", "包含", "C"},
                            {"发货", "消息中包含", "D"}});
  const ReplyIndex index(rules);
  const std::pair<const char*, int> cases[] = {{"你好，在吗", 0}, {"你好", 1},     {"好呀", 2},
                                               {"发货", 2},       {"几时发货", 3}, {"谢谢", -1}};
  for (const auto& [customer, rule] : cases) {
    EXPECT_EQ(index.FirstMatch(customer), rule) << customer;
    EXPECT_EQ(FirstMatchByWalking(rules, customer), rule) << customer;
  }
}

// The index must give the walk's answer for every rule set and text; random
// rule sets over a tiny GBK-heavy alphabet make the corner cases common.
TEST(ReplyIndex, AgreesWithTheWalkOnRandomRuleSets) {
  int matched = 0, unmatched = 0, byInMessage = 0, onlyAtSecondByte = 0;
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
      if (expected >= 0 && rules[static_cast<size_t>(expected)].matchRule == "消息中包含")
        ++byInMessage;
      // Pieces that a plain byte search finds in the text only at the second
      // byte of a character: the case an automaton over bytes gets wrong.
      for (const MatchRule& r : rules) {
        if (r.matchRule != "消息中包含") continue;
        for (const Text& piece : SplitText(r.keywords, "|")) {
          if (!piece.empty() && customer.find(piece) != Text::npos &&
              !PieceMatches(MatchKind::InMessage, piece, customer))
            ++onlyAtSecondByte;
        }
      }
    }
  }
  // Every outcome must be well represented for the comparison to mean much.
  EXPECT_GT(matched, 3000);
  EXPECT_GT(unmatched, 3000);
  EXPECT_GT(byInMessage, 1000);
  EXPECT_GT(onlyAtSecondByte, 100);
}

// The matcher names the rule (its place in the order tried and among the
// rows it was made of) and the piece that answers.
TEST(RuleMatcher, NamesTheRuleAndThePieceThatAnswer) {
  const RuleMatcher matcher = RuleMatcher::InSortedCopyOrder({
      {"在吗|在不", "在的", "消息中包含", "1"},
      {"你好|发货", "今天发", "完全匹配", "5"},
      {"|请问|在", "请说", "包含", "3"},
  });
  struct Case {
    const char* customer;
    int position, row, piece;
    const char* keyword;
  } const cases[] = {
      {"发货", 0, 1, 1, "发货"},      // code 5 is tried first
      {"请", 1, 2, 1, "请问"},        // code 3 next; the empty piece never matches
      {"在", 1, 2, 2, "在"},          // 在 is in no piece before it
      {"亲在吗？", 2, 0, 0, "在吗"},  // code 1 last
      {"谢谢", -1, 0, -1, ""},
  };
  for (const Case& c : cases) {
    const RuleAnswer answer = matcher.Answer(c.customer);
    EXPECT_EQ(answer.position, c.position) << c.customer;
    EXPECT_EQ(answer.row, static_cast<size_t>(c.row)) << c.customer;
    EXPECT_EQ(answer.piece, c.piece) << c.customer;
    EXPECT_EQ(answer.keyword, c.keyword) << c.customer;
  }
}

}  // namespace
}  // namespace quillane

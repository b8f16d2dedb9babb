#include "rules/rule_checks.h"

#include <gtest/gtest.h>

namespace quillane {
namespace {

using K = RuleCheckKind;

// Each case: rules as the list holds them (match codes set the order they
// are tried) and every finding, by row.
TEST(RuleChecks, FindSharedEmptyBlankAndNeverAnsweringRules) {
  struct Case {
    const char* name;
    std::vector<RuleRow> rows;
    std::vector<RuleCheck> checks;
  } const cases[] = {
      {"shared, blank and empty pieces",
       {{"在吗|在不", "a", "包含", "1"},
        {"在吗", "b", "完全匹配", "5"},
        {" 发货||", "c", "消息中包含", "3"}},
       {{K::SharedKeyword, 1, "在吗", {1, 0}},
        {K::EmptyKeyword, 2, "", {}},
        {K::BlankAround, 2, " 发货", {}}}},
      {"exact and 包含 rules whose every text an earlier rule answers",
       {{"在吗", "a", "包含", "9"},
        {"在|吗", "b", "完全匹配", "5"},
        {"在吗|吗", "c", "包含", "1"},
        {"你好", "d", "包含", "0"}},
       {{K::SharedKeyword, 0, "在吗", {0, 2}},
        {K::SharedKeyword, 1, "吗", {1, 2}},
        {K::NeverAnswers, 1, "", {0}},
        {K::NeverAnswers, 2, "", {0}}}},
      {"消息中包含 pieces that hold an earlier one, and a rule without pieces",
       {{"发货", "a", "消息中包含", "5"},
        {"几时发货|快递", "b", "消息中包含", "4"},
        {"几时发货", "c", "消息中包含", "3"},
        {"|", "d", "包含", "2"},
        {"发货了吗", "e", "完全匹配", "1"}},
       {{K::SharedKeyword, 1, "几时发货", {1, 2}},
        {K::NeverAnswers, 2, "", {0}},
        {K::EmptyKeyword, 3, "", {}},
        {K::NeverAnswers, 3, "", {}},
        {K::NeverAnswers, 4, "", {0}}}},
      // D4 D4 is in 翟在 (C2 D4 D4 DA) only from the second byte of 翟.
      {"a piece found only at a second byte shadows nothing",
       {{"\xD4\xD4", "a", "消息中包含", "2"}, {"\xC2\xD4\xD4\xDA", "b", "消息中包含", "1"}},
       {}},
      {"包含 is shadowed only when every part of the piece is answered",
       {{"在吗", "a", "完全匹配", "2"}, {"在吗", "b", "包含", "1"}},
       {{K::SharedKeyword, 0, "在吗", {0, 1}}}},  // 在 still reaches the second
  };
  for (const Case& c : cases) EXPECT_EQ(CheckRules(c.rows), c.checks) << c.name;
}

}  // namespace
}  // namespace quillane

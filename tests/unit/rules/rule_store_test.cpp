#include "rules/rule_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "services/files.h"
#include "table/engine.h"
#include "table/format.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

// A fresh folder with an empty rule table open as "数据库".
class RuleStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rule_store_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    directory_ = dir_.string();
    ASSERT_TRUE(WriteBytesToFile(directory_ + kRuleTableFile, table::MakeEmptyRuleTable()));
    ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, table::kRulePassword));
  }
  void TearDown() override {
    table::CloseAllTables();
    fs::remove_all(dir_);
  }

  // The records of the sorted copy, as rows.
  std::vector<RuleRow> SortedRows() {
    std::vector<RuleRow> rows;
    EXPECT_TRUE(table::SelectTable(kSortedCopyAlias));
    for (int i = 1; i <= table::RecordCount(); ++i) {
      table::GoToRecord(i);
      rows.push_back({std::get<Text>(table::ReadField("关键词", kSortedCopyAlias).value),
                      std::get<Text>(table::ReadField("回复语", kSortedCopyAlias).value),
                      std::get<Text>(table::ReadField("匹配规则", kSortedCopyAlias).value),
                      std::to_string(std::get<std::int32_t>(table::ReadField("匹配码", kSortedCopyAlias).value))});
    }
    return rows;
  }

  std::vector<Text> SortedKeywords() {
    std::vector<Text> out;
    for (const RuleRow& r : SortedRows()) out.push_back(r.keywords);
    return out;
  }

  fs::path dir_;
  Text directory_;
};

TEST_F(RuleStoreTest, SavedRulesReadBackWithCodesAsIntegers) {
  const std::vector<RuleRow> rows = {{" 在吗|在不 ", "在的，亲", "包含", "007"},
                                     {"发货", "", "完全匹配", "-3"},
                                     {"x", "y", "包含", "12abc"},
                                     {"z", "w", "", "abc"}};
  ASSERT_EQ(ReplaceRules(rows), RuleStoreResult::Ok);
  const std::vector<RuleRow> back = ReadRules();
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0], (RuleRow{" 在吗|在不 ", "在的，亲", "包含", "7"}));  // blanks kept
  EXPECT_EQ(back[1].matchCode, "-3");
  EXPECT_EQ(back[2].matchCode, "12");
  EXPECT_EQ(back[3].matchCode, "0");

  // A second save replaces the rules entirely.
  ASSERT_EQ(ReplaceRules({{"only", "one", "包含", "1"}}), RuleStoreResult::Ok);
  EXPECT_EQ(ReadRules(), (std::vector<RuleRow>{{"only", "one", "包含", "1"}}));
}

TEST_F(RuleStoreTest, SortedCopyOrdersByCodeLargestFirstWithTheSortsTieOrder) {
  ASSERT_EQ(ReplaceRules({{"A", "a", "包含", "5"}, {"B", "b", "包含", "9"}, {"C", "c", "包含", "5"}}),
            RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
  EXPECT_EQ(SortedKeywords(), (std::vector<Text>{"B", "C", "A"}));

  ASSERT_EQ(ReplaceRules({{"A", "a", "包含", "1"}, {"B", "b", "包含", "1"}, {"C", "c", "包含", "1"}}),
            RuleStoreResult::Ok);
  const auto before = SortedCopyGeneration();
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_GT(SortedCopyGeneration(), before);
  EXPECT_EQ(SortedKeywords(), (std::vector<Text>{"B", "C", "A"}));

  ASSERT_EQ(ReplaceRules({{"neg", "", "包含", "-3"}, {"zero", "", "包含", "0"}}), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_EQ(SortedKeywords(), (std::vector<Text>{"zero", "neg"}));
}

TEST_F(RuleStoreTest, EmptyListGivesEmptyTablesAndRebuildWhileOpenIsRefusedWithoutClosing) {
  ASSERT_EQ(ReplaceRules({{"a", "b", "包含", "1"}}), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
  // The sorted copy is open: sorting onto it without closing it first fails.
  EXPECT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Sort);

  ASSERT_EQ(ReplaceRules({}), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_TRUE(ReadRules().empty());
  EXPECT_TRUE(SortedRows().empty());
}

TEST_F(RuleStoreTest, ReplaceReportsTheStepThatFailed) {
  table::CloseTable(kRuleTableAlias);
  EXPECT_EQ(ReplaceRules({{"a", "b", "包含", "1"}}), RuleStoreResult::Select);
}

}  // namespace
}  // namespace quillane

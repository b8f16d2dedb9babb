#include "rules/rule_store.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "services/files.h"
#include "table/engine.h"
#include "table/file_io.h"
#include "table/format.h"
#include "rules/rule_schema.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

// A fresh folder with an empty rule table open as "数据库".
class RuleStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("rule_store_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    directory_ = dir_.string();
    ASSERT_TRUE(WriteBytesToFile(directory_ + kRuleTableFile, MakeEmptyRuleTable()));
    ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword));
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
                      std::to_string(std::get<std::int32_t>(
                          table::ReadField("匹配码", kSortedCopyAlias).value))});
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
  ASSERT_EQ(ReplaceRules(directory_, rows), RuleStoreResult::Ok);
  const std::vector<RuleRow> back = ReadRules();
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0], (RuleRow{" 在吗|在不 ", "在的，亲", "包含", "7"}));  // blanks kept
  EXPECT_EQ(back[1].matchCode, "-3");
  EXPECT_EQ(back[2].matchCode, "12");
  EXPECT_EQ(back[3].matchCode, "0");

  // A second save replaces the rules entirely.
  ASSERT_EQ(ReplaceRules(directory_, {{"only", "one", "包含", "1"}}), RuleStoreResult::Ok);
  EXPECT_EQ(ReadRules(), (std::vector<RuleRow>{{"only", "one", "包含", "1"}}));
}

TEST_F(RuleStoreTest, SortedCopyOrdersByCodeLargestFirstWithTheSortsTieOrder) {
  ASSERT_EQ(
      ReplaceRules(directory_,
                   {{"A", "a", "包含", "5"}, {"B", "b", "包含", "9"}, {"C", "c", "包含", "5"}}),
      RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
  EXPECT_EQ(SortedKeywords(), (std::vector<Text>{"B", "C", "A"}));

  ASSERT_EQ(
      ReplaceRules(directory_,
                   {{"A", "a", "包含", "1"}, {"B", "b", "包含", "1"}, {"C", "c", "包含", "1"}}),
      RuleStoreResult::Ok);
  const auto before = SortedCopyGeneration();
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_GT(SortedCopyGeneration(), before);
  EXPECT_EQ(SortedKeywords(), (std::vector<Text>{"B", "C", "A"}));

  ASSERT_EQ(ReplaceRules(directory_, {{"neg", "", "包含", "-3"}, {"zero", "", "包含", "0"}}),
            RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_EQ(SortedKeywords(), (std::vector<Text>{"zero", "neg"}));
}

TEST_F(RuleStoreTest, EmptyListGivesEmptyTablesAndRebuildWhileOpenIsRefusedWithoutClosing) {
  ASSERT_EQ(ReplaceRules(directory_, {{"a", "b", "包含", "1"}}), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
  // The sorted copy is open: sorting onto it without closing it first fails.
  EXPECT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Sort);

  ASSERT_EQ(ReplaceRules(directory_, {}), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_TRUE(ReadRules().empty());
  EXPECT_TRUE(SortedRows().empty());
}

// Without the sorted copy the rules are put in its order in memory: the
// same order, ties included (which a stable sort would not give).
TEST_F(RuleStoreTest, RulesInTheSortedCopysOrderWithoutTheSortedCopy) {
  std::vector<RuleRow> rows;
  for (int i = 0; i < 300; ++i)
    rows.push_back({"k" + std::to_string(i), "r", "包含", std::to_string(i % 5 - 2)});
  ASSERT_EQ(ReplaceRules(directory_, rows), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
  const std::vector<RuleRow> inMemory = InSortedCopyOrder(ReadRules());
  EXPECT_EQ(inMemory, SortedRows());
  std::vector<RuleRow> stable = ReadRules();
  std::stable_sort(stable.begin(), stable.end(), [](const RuleRow& a, const RuleRow& b) {
    return std::stoi(a.matchCode) > std::stoi(b.matchCode);
  });
  EXPECT_NE(inMemory, stable);
}

// A save never writes part of a text: a rule whose text is longer than its
// field is refused before anything is written, naming the row and the field.
TEST_F(RuleStoreTest, ATextLongerThanItsFieldRefusesTheSaveBeforeAnythingIsWritten) {
  ASSERT_EQ(ReplaceRules(directory_, {{"a", "b", "包含", "1"}}), RuleStoreResult::Ok);
  const std::string before = [&] {
    std::ifstream in(dir_ / "Database.edb", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  std::pair<std::size_t, TooLongText> tooLong;
  EXPECT_EQ(
      ReplaceRules(directory_, {{"ok", "ok", "包含", "1"}, {"k", Text(1025, 'r'), "包含", "2"}},
                   &tooLong),
      RuleStoreResult::TooLong);
  EXPECT_EQ(tooLong.first, 1u);
  EXPECT_EQ(tooLong.second.field, "回复语");
  EXPECT_EQ(tooLong.second.width, 1024);
  EXPECT_EQ(tooLong.second.length, 1025u);
  std::ifstream in(dir_ / "Database.edb", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
  EXPECT_FALSE(fs::exists(dir_ / "Database-saving.edb"));
}

// Two rule sets that differ in every record and in their count, so that a
// table holding part of one or a mix of both is told apart from either.
std::vector<RuleRow> NumberedRules(const char* prefix, int count) {
  std::vector<RuleRow> rows;
  for (int i = 0; i < count; ++i) {
    const Text n = std::to_string(i);
    rows.push_back({Text(prefix) + "在吗" + n, Text(prefix) + "回复" + n,
                    i % 3 ? "包含" : "完全匹配", std::to_string(i % 4 - 1)});
  }
  return rows;
}

// Another program reading the tables (with the sharing this engine opens
// them with) does not stop a save: both files are replaced, the reader keeps
// the old ones.
TEST_F(RuleStoreTest, SavesReplaceBothTablesWhileAnotherProgramReadsThem) {
  ASSERT_EQ(ReplaceRules(directory_, NumberedRules("old", 3)), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
  table::File rulesReader, sortedReader;
  ASSERT_EQ(rulesReader.Open(directory_ + kRuleTableFile, table::Access::kRead,
                             table::Share::kReadWrite, table::Disposition::kOpenExisting),
            0);
  ASSERT_EQ(sortedReader.Open(directory_ + kSortedCopyFile, table::Access::kRead,
                              table::Share::kReadWrite, table::Disposition::kOpenExisting),
            0);
  const std::vector<RuleRow> fresh = NumberedRules("new", 5);
  ASSERT_EQ(ReplaceRules(directory_, fresh), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_EQ(ReadRules(), fresh);
  EXPECT_EQ(SortedRows().size(), fresh.size());
  std::int64_t size = 0;
  ASSERT_EQ(rulesReader.Size(&size), 0);
  EXPECT_EQ(size, 404 + 3 * 1300);
}

TEST_F(RuleStoreTest, FailedSavesReportTheirStepAndLeaveTheOldRulesOpenAndWhole) {
  const std::vector<RuleRow> oldRules = NumberedRules("old", 6);
  const std::vector<RuleRow> newRules = NumberedRules("new", 9);
  ASSERT_EQ(ReplaceRules(directory_, oldRules), RuleStoreResult::Ok);

  // A full disk at each change the save makes in turn: the first change that
  // fails ends the save, and the rule table stays the old one, still open.
  std::set<RuleStoreResult> seen;
  int changes = 0, failAt = 1;
  table::SetFileChangeHook([&] { return ++changes == failAt ? table::kDiskFull : 0; });
  for (;; ++failAt) {
    changes = 0;
    const RuleStoreResult result = ReplaceRules(directory_, newRules);
    if (result == RuleStoreResult::Ok) break;
    seen.insert(result);
    ASSERT_EQ(ReadRules(), oldRules) << "failing change " << failAt;
    EXPECT_FALSE(fs::exists(dir_ / "Database-saving.edb")) << "failing change " << failAt;
  }
  table::SetFileChangeHook(nullptr);
  EXPECT_GT(failAt, static_cast<int>(newRules.size()));
  EXPECT_EQ(seen, (std::set<RuleStoreResult>{RuleStoreResult::Clear, RuleStoreResult::Append,
                                             RuleStoreResult::Write}));
  EXPECT_EQ(ReadRules(), newRules);

  // A rule table that is not open is opened again; one that is gone cannot be.
  table::CloseTable(kRuleTableAlias);
  EXPECT_EQ(ReplaceRules(directory_, oldRules), RuleStoreResult::Ok);
  EXPECT_EQ(ReadRules(), oldRules);
  table::CloseTable(kRuleTableAlias);
  fs::remove(dir_ / "Database.edb");
  EXPECT_EQ(ReplaceRules(directory_, newRules), RuleStoreResult::Select);
  EXPECT_FALSE(fs::exists(dir_ / "Database.edb"));
}

TEST_F(RuleStoreTest, SaveKeepsTheFieldWidthsOfTheExistingTable) {
  // A rule table made elsewhere with wider texts keeps its layout on save.
  table::CloseAllTables();
  std::vector<table::FieldDescriptor> fields(4);
  const char* names[] = {"关键词", "回复语", "匹配规则", "匹配码"};
  const std::int32_t widths[] = {300, 2000, 20, 0};
  for (int i = 0; i < 4; ++i) {
    fields[i].name = names[i];
    fields[i].type =
        static_cast<std::int32_t>(i < 3 ? table::FieldType::kText : table::FieldType::kInt);
    fields[i].width = widths[i];
  }
  ASSERT_TRUE(WriteBytesToFile(directory_ + kRuleTableFile,
                               table::BuildTableFile(fields, kRulePassword, 45000.0)));
  ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword));
  const Text longReply(1500, 'r');
  ASSERT_EQ(ReplaceRules(directory_, {{"k", longReply, "包含", "1"}}), RuleStoreResult::Ok);
  EXPECT_EQ(ReadRules()[0].reply, longReply);
  const std::vector<table::FieldInfo> saved = table::TableFields(kRuleTableAlias);
  ASSERT_EQ(saved.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(saved[i].width, widths[i]);
}

// A save killed at any point: the child process opens the store as the
// program does at start and saves; it is killed just before its n-th change
// to a file, for n = 1, 2, ... until a save runs to its end. After every kill
// the rule table opens and holds the old rules or the new ones, whole, and a
// start regenerates the sorted copy from it.
TEST_F(RuleStoreTest, SaveKilledAtEveryChangeLeavesTheOldOrTheNewRulesWhole) {
  const std::vector<RuleRow> oldRules = NumberedRules("old", 7);
  const std::vector<RuleRow> newRules = NumberedRules("new", 11);
  ASSERT_EQ(ReplaceRules(directory_, oldRules), RuleStoreResult::Ok);
  table::CloseAllTables();

  int oldSeen = 0, newSeen = 0, killAt = 1;
  for (;; ++killAt) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int changes = 0;
      if (!table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword))
        ::_exit(2);
      if (RebuildSortedCopy(directory_, false) != RuleStoreResult::Ok) ::_exit(3);
      table::SetFileChangeHook([&] {
        if (++changes == killAt) ::kill(::getpid(), SIGKILL);
        return 0;
      });
      const bool saved = ReplaceRules(directory_, newRules) == RuleStoreResult::Ok &&
                         RebuildSortedCopy(directory_, true) == RuleStoreResult::Ok;
      ::_exit(saved ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        << "at change " << killAt;

    ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword))
        << "at change " << killAt;
    const std::vector<RuleRow> rules = ReadRules();
    const bool isOld = rules == oldRules, isNew = rules == newRules;
    ASSERT_TRUE(isOld || isNew) << "at change " << killAt << ": " << rules.size() << " records";
    oldSeen += isOld;
    newSeen += isNew;
    ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok) << "at change " << killAt;
    EXPECT_EQ(SortedRows().size(), rules.size());
    table::CloseAllTables();
    if (!killed) break;
    if (isNew) {  // put the old rules back for the next kill
      ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword));
      ASSERT_EQ(ReplaceRules(directory_, oldRules), RuleStoreResult::Ok);
      table::CloseAllTables();
    }
  }
  // The kills fell both before and after the new table took its place.
  EXPECT_GT(killAt, static_cast<int>(newRules.size()) * 5);
  EXPECT_GT(oldSeen, 0);
  EXPECT_GT(newSeen, 0);
  ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword));
}

}  // namespace
}  // namespace quillane

#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/reply_service.h"
#include "app/stored_settings.h"
#include "rules/reply_rules.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "services/message_box.h"
#include "table/engine.h"
#include "table/file_io.h"
#include "table/format.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("startup_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    directory_ = dir_.string();
    TakeMessageBoxCalls();
  }
  void TearDown() override {
    table::CloseAllTables();
    fs::remove_all(dir_);
  }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::vector<fs::path> SetAsideFiles(const std::string& prefix = "Database-unreadable-") {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().rfind(prefix, 0) == 0) out.push_back(e.path());
    }
    return out;
  }
  // What StartUp does before the window: the store opened, then the rules
  // loaded and the sorted copy rebuilt (there on a thread of its own).
  static bool StartRules(const Text& directory) {
    if (!OpenRuleStore(directory)) return false;
    LoadReplyRulesAtStart(directory);
    return true;
  }
  // A rule table with `n` rules, closed again; its bytes.
  std::string StoreRules(int n) {
    std::vector<RuleRow> rows;
    for (int i = 0; i < n; ++i)
      rows.push_back({"词" + std::to_string(i), "回复", "包含", std::to_string(i)});
    EXPECT_TRUE(StartRules(directory_));
    EXPECT_EQ(ReplaceRules(directory_, rows), RuleStoreResult::Ok);
    table::CloseAllTables();
    TakeMessageBoxCalls();
    return Read(dir_ / "Database.edb");
  }

  fs::path dir_;
  Text directory_;
};

TEST_F(StartUpTest, FirstStartWritesTheEmptyTableAndTheSortedCopyButNoSettingsFile) {
  ASSERT_TRUE(StartRules(directory_));
  EXPECT_EQ(fs::file_size(dir_ / "Database.edb"), 404u);
  EXPECT_TRUE(fs::exists(dir_ / "Sorting.edb"));
  EXPECT_TRUE(table::SelectTable(kSortedCopyAlias));
  EXPECT_EQ(table::RecordCount(), 0);

  ReadStoredSettings(directory_);
  EXPECT_FALSE(fs::exists(dir_ / "Data.ini"));
  EXPECT_EQ(Settings().defaultReply, kBuiltInDefaultReply);
  EXPECT_EQ(Settings().waitSeconds, 5);
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
}

TEST_F(StartUpTest, SettingsFileValuesAndDefaults) {
  Write(dir_ / "Data.ini", "[Reply]\r\nDefault=您好|$\r\n");
  ReadStoredSettings(directory_);
  EXPECT_EQ(Settings().defaultReply, "您好|$");
  EXPECT_EQ(Settings().waitSeconds, 5);
  Write(dir_ / "Data.ini", "[Wait]\r\nsecond=12abc\r\n");
  ReadStoredSettings(directory_);
  EXPECT_EQ(Settings().defaultReply, kBuiltInDefaultReply);
  EXPECT_EQ(Settings().waitSeconds, 12);
  Write(dir_ / "Data.ini", "[Wait]\r\nsecond=\r\n");
  ReadStoredSettings(directory_);
  EXPECT_EQ(Settings().waitSeconds, 0);
}

TEST_F(StartUpTest, ExistingRulesAreKeptAndTheSortedCopyIsRebuilt) {
  ASSERT_TRUE(StartRules(directory_));
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗", "在的", "包含", "1"}}), RuleStoreResult::Ok);
  table::CloseAllTables();
  fs::remove(dir_ / "Sorting.edb");

  ASSERT_TRUE(StartRules(directory_));
  EXPECT_EQ(ReadRules().size(), 1u);
  ASSERT_TRUE(table::SelectTable(kSortedCopyAlias));
  EXPECT_EQ(table::RecordCount(), 1);
}

// A rule table that cannot be opened is never overwritten by the empty one.
TEST_F(StartUpTest, UnusableRuleTablesAreSetAsideWhole) {
  const std::string damaged = "this is not a table file, but somebody's rules may be in it";
  Write(dir_ / "Database.edb", damaged);
  ASSERT_TRUE(StartRules(directory_));
  auto aside = SetAsideFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(Read(aside[0]), damaged);
  EXPECT_EQ(fs::file_size(dir_ / "Database.edb"), 404u);
  auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].title, "启动");
  EXPECT_NE(calls[0].text.find(aside[0].filename().string()), std::string::npos);

  // A table under another password.
  table::CloseAllTables();
  fs::remove(aside[0]);
  const Bytes other = table::BuildTableFile({}, "another", 0);
  Write(dir_ / "Database.edb", std::string(other.begin(), other.end()));
  ASSERT_TRUE(StartRules(directory_));
  aside = SetAsideFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(fs::file_size(aside[0]), other.size());
  calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].text.find(table::LastErrorText(), 0), std::string::npos);
}

// Files that are there but cannot serve as they are: each is left with its
// bytes, and staff are told the cause; Quillane runs on its rules or not at
// all, never on an empty rule set without a word.
TEST_F(StartUpTest, ATableThatCannotBeOpenedAsItIsKeepsItsBytes) {
  const std::string original = StoreRules(3);

  // Read-only: its rules answer, saves are refused, the file stays.
  fs::permissions(dir_ / "Database.edb",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_TRUE(StartRules(directory_));
  auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].title, "启动");
  EXPECT_NE(calls[0].text.find("只读"), std::string::npos) << calls[0].text;
  EXPECT_NE(calls[0].text.find(" 3 条规则"), std::string::npos) << calls[0].text;
  EXPECT_EQ(MatchCustomerText("词2"), "回复");
  EXPECT_EQ(ReplaceRules(directory_, {}), RuleStoreResult::Write);
  EXPECT_EQ(ReadRules().size(), 3u);
  table::CloseAllTables();
  EXPECT_EQ(Read(dir_ / "Database.edb"), original);
  fs::permissions(dir_ / "Database.edb", fs::perms::owner_write, fs::perm_options::add);

  // Held by another program that lets nobody in: no start, nothing changed.
  {
    table::File holder;
    ASSERT_EQ(holder.Open(directory_ + kRuleTableFile, table::Access::kRead,
                          table::Share::kExclusive, table::Disposition::kOpenExisting),
              0);
    EXPECT_FALSE(StartRules(directory_));
    calls = TakeMessageBoxCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].title, "启动失败");
    EXPECT_NE(calls[0].text.find("正被其他程序占用"), std::string::npos) << calls[0].text;
  }
  EXPECT_EQ(Read(dir_ / "Database.edb"), original);
  EXPECT_TRUE(SetAsideFiles().empty());
}

// A table shorter than its record count: the original bytes are kept beside
// it first, the whole records serve, and Database.edb is not changed.
TEST_F(StartUpTest, AShortTableIsKeptBesideAndItsWholeRulesServe) {
  std::string damaged = StoreRules(20);
  damaged.resize(404 + 2 * 1300 + 700);
  Write(dir_ / "Database.edb", damaged);
  ASSERT_TRUE(StartRules(directory_));
  const auto copies = SetAsideFiles("Database-damaged-");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(Read(copies[0]), damaged);
  EXPECT_EQ(Read(dir_ / "Database.edb"), damaged);
  EXPECT_EQ(ReadRules().size(), 2u);
  EXPECT_EQ(MatchCustomerText("词1"), "回复");
  const auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].text.find(" 2 条"), std::string::npos) << calls[0].text;
  EXPECT_NE(calls[0].text.find(copies[0].filename().string()), std::string::npos);
  table::CloseAllTables();

  // The next start keeps another copy rather than writing over the first.
  ASSERT_TRUE(StartRules(directory_));
  EXPECT_EQ(SetAsideFiles("Database-damaged-").size(), 2u);
  EXPECT_EQ(Read(dir_ / "Database.edb"), damaged);
}

// What an interrupted save leaves is cleared at the next start; a save cut
// off between moving the old table aside and putting the new one in place
// gets the old rules back.
TEST_F(StartUpTest, LeftOversOfAnInterruptedSaveAreClearedAtStart) {
  const std::string rules = StoreRules(2);
  Write(dir_ / "Database-saving.edb", "half a table");
  Write(dir_ / "Sorting-saving.edb", "half a table");
  ASSERT_TRUE(StartRules(directory_));
  EXPECT_FALSE(fs::exists(dir_ / "Database-saving.edb"));
  EXPECT_FALSE(fs::exists(dir_ / "Sorting-saving.edb"));
  table::CloseAllTables();

  fs::rename(dir_ / "Database.edb", dir_ / "Database-replaced.edb");
  Write(dir_ / "Database-saving.edb", "the new table, maybe whole");
  ASSERT_TRUE(StartRules(directory_));
  EXPECT_EQ(Read(dir_ / "Database.edb"), rules);
  EXPECT_FALSE(fs::exists(dir_ / "Database-replaced.edb"));
  EXPECT_FALSE(fs::exists(dir_ / "Database-saving.edb"));
  EXPECT_EQ(ReadRules().size(), 2u);
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
}

// A sorted copy that cannot be made at start: the start goes on, the reason
// is kept for the status bar, and the rules answer.
TEST_F(StartUpTest, ASortedCopyThatCannotBeMadeLeavesTheRulesAnswering) {
  StoreRules(3);
  fs::remove(dir_ / "Sorting.edb");
  fs::create_directory(dir_ / "Sorting.edb");
  ASSERT_TRUE(StartRules(directory_));
  EXPECT_NE(SortedCopyProblem().find("Sorting.edb"), std::string::npos);
  EXPECT_EQ(MatchCustomerText("词0"), "回复");
  table::CloseAllTables();
  fs::remove(dir_ / "Sorting.edb");
  ASSERT_TRUE(StartRules(directory_));
  EXPECT_TRUE(SortedCopyProblem().empty());
}

// One Quillane per folder: every spelling of a folder names one mutex,
// different folders name different ones.
TEST(InstanceMutex, OneNamePerFolder) {
  const std::u16string base = u"C:\\Shops\\店铺Ａ";
  const std::string name = InstanceMutexName(base);
  EXPECT_EQ(name.rfind("Local\\Quillane-", 0), 0u);
  for (const std::u16string same :
       {u"c:\\shops\\店铺ａ", u"C:/Shops/店铺Ａ/", u"C:\\SHOPS\\店铺Ａ\\\\"}) {
    EXPECT_EQ(InstanceMutexName(same), name);
  }
  for (const std::u16string other : {u"C:\\Shops\\店铺Ｂ", u"C:\\Shops", u"D:\\Shops\\店铺Ａ"}) {
    EXPECT_NE(InstanceMutexName(other), name);
  }
}

TEST_F(StartUpTest, UnwritableFolderShowsTheStartFailure) {
  // A folder that does not exist cannot take the empty table (even for root).
  EXPECT_FALSE(StartRules(directory_ + "\\missing"));
  const auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "缺少必要文件：Database.edb");
  EXPECT_EQ(calls[0].title, "启动失败");
}

}  // namespace
}  // namespace quillane

#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "services/message_box.h"
#include "table/engine.h"
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
  std::vector<fs::path> SetAsideFiles() {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().rfind("Database-unreadable-", 0) == 0) out.push_back(e.path());
    }
    return out;
  }

  fs::path dir_;
  Text directory_;
};

TEST_F(StartUpTest, FirstStartWritesTheEmptyTableAndTheSortedCopyButNoSettingsFile) {
  ASSERT_TRUE(OpenRuleStore(directory_));
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
  ASSERT_TRUE(OpenRuleStore(directory_));
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗", "在的", "包含", "1"}}), RuleStoreResult::Ok);
  table::CloseAllTables();
  fs::remove(dir_ / "Sorting.edb");

  ASSERT_TRUE(OpenRuleStore(directory_));
  EXPECT_EQ(ReadRules().size(), 1u);
  ASSERT_TRUE(table::SelectTable(kSortedCopyAlias));
  EXPECT_EQ(table::RecordCount(), 1);
}

// A rule table that cannot be opened is never overwritten by the empty one.
TEST_F(StartUpTest, UnusableRuleTablesAreSetAsideWhole) {
  const std::string damaged = "this is not a table file, but somebody's rules may be in it";
  Write(dir_ / "Database.edb", damaged);
  ASSERT_TRUE(OpenRuleStore(directory_));
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
  ASSERT_TRUE(OpenRuleStore(directory_));
  aside = SetAsideFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(fs::file_size(aside[0]), other.size());
  calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].text.find(table::LastErrorText(), 0), std::string::npos);
}

TEST_F(StartUpTest, UnwritableFolderShowsTheStartFailure) {
  // A folder that does not exist cannot take the empty table (even for root).
  EXPECT_FALSE(OpenRuleStore(directory_ + "\\missing"));
  const auto calls = TakeMessageBoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "缺少必要文件：Database.edb");
  EXPECT_EQ(calls[0].title, "启动失败");
}

}  // namespace
}  // namespace quillane

#include "app/reply_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "rules/reply_rules.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "table/engine.h"
#include "table/format.h"
#include "rules/rule_schema.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;

// A rule table and its sorted copy in a fresh folder, as after a start.
class ReplyServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("reply_service_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    directory_ = dir_.string();
    ASSERT_TRUE(WriteBytesToFile(directory_ + kRuleTableFile, MakeEmptyRuleTable()));
    ASSERT_TRUE(table::OpenTable(directory_ + kRuleTableFile, kRuleTableAlias, kRulePassword));
    ASSERT_EQ(RebuildSortedCopy(directory_, false), RuleStoreResult::Ok);
    Settings().defaultReply = "默认回复";
  }
  void TearDown() override {
    table::CloseAllTables();
    fs::remove_all(dir_);
  }
  void Save(const std::vector<RuleRow>& rows) {
    ASSERT_EQ(ReplaceRules(directory_, rows), RuleStoreResult::Ok);
    ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
    LoadReplyRulesIfChanged();  // as the settings window's save does
  }

  fs::path dir_;
  Text directory_;
};

TEST_F(ReplyServiceTest, AnswersFromTheRulesInPriorityOrder) {
  // Saved in this order; the match codes put the exact rule first.
  Save({{"您好", "B", "包含", "1"}, {"你好|您好", "A", "完全匹配", "2"}});
  EXPECT_EQ(MatchCustomerText("您好"), "A");
  EXPECT_EQ(MatchCustomerText("好"), "B");
  EXPECT_EQ(MatchCustomerText("您好啊"), "默认回复");
  EXPECT_EQ(MatchCustomerText(""), "默认回复");
}

TEST_F(ReplyServiceTest, BlankRepliesFallBackButLineBreaksAreSent) {
  Save({{"在吗", "　　", "包含", "3"},
        {"发货", "\r\n", "完全匹配", "2"},
        {"在", "later", "包含", "1"}});
  EXPECT_EQ(MatchCustomerText("在"), "默认回复");  // the first match decides, even when blank
  EXPECT_EQ(MatchCustomerText("发货"), "\r\n");
  EXPECT_EQ(MatchCustomerText("Hi"), "默认回复");
}

TEST_F(ReplyServiceTest, NextRequestSeesANewSaveAndRequestsReadNoTable) {
  Save({{"在吗", "旧", "包含", "1"}});
  EXPECT_EQ(MatchCustomerText("在吗"), "旧");
  Save({{"在吗", "新", "包含", "1"}});
  EXPECT_EQ(MatchCustomerText("在吗"), "新");

  // A request reads no table: a record written into the sorted copy behind
  // Quillane's back answers only once the rules are loaded again.
  {
    std::lock_guard guard(TableEngineLock());
    ASSERT_TRUE(table::SelectTable(kSortedCopyAlias));
    ASSERT_TRUE(table::AppendRecord());
    ASSERT_TRUE(table::WriteField(1, kSortedCopyAlias, Text("退货")));
    ASSERT_TRUE(table::WriteField(2, kSortedCopyAlias, Text("请联系客服")));
    ASSERT_TRUE(table::WriteField(3, kSortedCopyAlias, Text("完全匹配")));
  }
  EXPECT_EQ(MatchCustomerText("退货"), "默认回复");
  ReloadReplyRules();
  EXPECT_EQ(MatchCustomerText("退货"), "请联系客服");

  // Loaded without the sorted copy, the rule table answers; without both,
  // the default.
  table::CloseTable(kSortedCopyAlias);
  ReloadReplyRules();
  EXPECT_EQ(MatchCustomerText("在吗"), "新");
  table::CloseTable(kRuleTableAlias);
  ReloadReplyRules();
  EXPECT_EQ(MatchCustomerText("在吗"), "默认回复");
}

// While new rules load, requests are answered at once by the rules loaded
// before; the new ones answer once they are in.
TEST_F(ReplyServiceTest, ARequestDuringALoadAnswersFromThePreviousRules) {
  Save({{"在吗", "旧", "包含", "1"}});
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗", "新", "包含", "1"}}), RuleStoreResult::Ok);
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  std::unique_lock engine(TableEngineLock());  // the load cannot read the table yet
  std::thread load(LoadReplyRulesIfChanged);
  auto reply = std::async(std::launch::async, [] { return MatchCustomerText("在吗"); });
  ASSERT_EQ(reply.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(reply.get(), "旧");
  engine.unlock();
  load.join();
  EXPECT_EQ(MatchCustomerText("在吗"), "新");
}

// A sorted copy that cannot be rebuilt (here a folder has its name): the
// rule table answers every text as the sorted copy would have, ties included.
TEST_F(ReplyServiceTest, AFailedRebuildAnswersInTheSortedCopysOrder) {
  std::vector<RuleRow> rules;
  for (int i = 0; i < 40; ++i) {
    rules.push_back(
        {"在|k" + std::to_string(i), "r" + std::to_string(i), "包含", std::to_string(i % 3)});
  }
  Save(rules);
  std::vector<Text> texts = {"在", "无关"};
  for (int i = 0; i < 40; ++i) texts.push_back("k" + std::to_string(i));
  std::vector<Text> expected;
  for (const Text& t : texts) expected.push_back(MatchCustomerText(t));

  ASSERT_EQ(ReplaceRules(directory_, rules), RuleStoreResult::Ok);
  table::CloseTable(kSortedCopyAlias);
  fs::remove(dir_ / "Sorting.edb");
  fs::create_directory(dir_ / "Sorting.edb");
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Sort);
  EXPECT_NE(SortedCopyProblem().find("Sorting.edb"), Text::npos);
  for (std::size_t k = 0; k < texts.size(); ++k)
    EXPECT_EQ(MatchCustomerText(texts[k]), expected[k]) << texts[k];

  fs::remove(dir_ / "Sorting.edb");
  ASSERT_EQ(RebuildSortedCopy(directory_, true), RuleStoreResult::Ok);
  EXPECT_TRUE(SortedCopyProblem().empty());
}

// Saves on another thread never let a request read a half-changed table: each
// answer is that of the old rules or of the new ones.
TEST_F(ReplyServiceTest, RequestsDuringSavesSeeOldOrNewRulesWhole) {
  const std::vector<RuleRow> a = {{"在吗", "A", "包含", "1"}, {"x", "xa", "包含", "2"}};
  const std::vector<RuleRow> b = {{"y", "yb", "包含", "3"}, {"在吗", "B", "完全匹配", "1"}};
  Save(a);
  std::atomic<bool> done{false};
  std::thread saver([&] {
    for (int i = 0; i < 6; ++i) {
      ReplaceRules(directory_, i % 2 ? a : b);
      RebuildSortedCopy(directory_, true);
    }
    done = true;
  });
  int answers = 0;
  while (!done) {
    const Text reply = MatchCustomerText("在吗");
    ASSERT_TRUE(reply == "A" || reply == "B") << reply;
    ++answers;
  }
  saver.join();
  EXPECT_GT(answers, 6);
  EXPECT_EQ(MatchCustomerText("在吗"), "A");
}

TEST(ShopList, OnlyTheStartedProcessOrItsStandInBindsItsShop) {
  ShopList shops;
  EXPECT_EQ(shops.Add(100), 1);
  EXPECT_EQ(shops.Add(200), 2);
  EXPECT_EQ(shops.Add(300), 3);
  // Shop 2's client announces first; a process nobody started takes nothing.
  EXPECT_EQ(shops.Announce(200, 0x2000, "D:\\b"), 2);
  EXPECT_EQ(shops.Announce(999, 0x9000, "D:\\x"), 0);
  EXPECT_EQ(shops.Announce(100, 0x1000, "D:\\a"), 1);
  // A process started by shop 3's launcher stands in for it.
  const auto startedBy300 = [](std::uint32_t started) { return started == 300; };
  EXPECT_EQ(shops.Announce(301, 0x3010, "D:\\c", startedBy300), 3);
  EXPECT_EQ(shops.Announce(302, 0x3020, "D:\\y", startedBy300), 0);  // shop 3 is bound
  // A second announcement updates the sender's own entry only.
  EXPECT_EQ(shops.Announce(200, 0x2222, "D:\\b2"), 2);
  EXPECT_EQ(shops.At(2).window, 0x2222u);
  EXPECT_EQ(shops.At(2).dataDirectory, "D:\\b2");
  EXPECT_EQ(shops.At(1).window, 0x1000u);
  EXPECT_EQ(shops.At(0).window, 0u);

  EXPECT_EQ(shops.NumberOfClient(301), 3);
  EXPECT_EQ(shops.NumberOfClient(300), 0);  // the launcher itself is not the client
  EXPECT_EQ(shops.NumberOfClient(999), 0);
  EXPECT_EQ(shops.NumberOfClient(0), 0);
  EXPECT_TRUE(shops.Remove(2));
  EXPECT_FALSE(shops.Remove(5));
  ASSERT_EQ(shops.Count(), 2);
  EXPECT_EQ(shops.NumberOfClient(301), 2);
}

}  // namespace
}  // namespace quillane

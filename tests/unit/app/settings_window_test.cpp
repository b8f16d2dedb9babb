#include "app/settings_window.h"

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "app/main_window.h"
#include "app/reply_service.h"
#include "app/startup.h"
#include "app/stored_settings.h"
#include "rules/reply_rules.h"
#include "rules/rule_csv.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/file_dialog.h"
#include "services/message_box.h"
#include "services/text.h"
#include "table/engine.h"
#include "table/file_io.h"
#include "ui/headless.h"
#include "ui/runtime.h"

namespace quillane {
namespace {

namespace fs = std::filesystem;
using ui::WindowId;

// A started program in a fresh folder (rule store open, main window loaded)
// on the headless backend, with the settings window's handlers bound.
class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("settings_window_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    directory_ = dir_.string();
    auto backend = std::make_unique<ui::HeadlessBackend>();
    headless_ = backend.get();
    runtime_ = std::make_unique<ui::Runtime>(std::move(backend));
    runtime_->SetErrorHook([this](const ui::RuntimeError& e) { errors_.push_back(e.report); });
    TakeMessageBoxCalls();
    TakeFileDialogCalls();
    ASSERT_TRUE(OpenRuleStore(directory_));
    LoadReplyRulesAtStart(directory_);
    Settings().defaultReply = "默认";
    BindSettingsWindowHandlers();
    ASSERT_TRUE(ui::LoadWindow(ui::WindowId::Main));
  }
  void TearDown() override {
    Settle();
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    runtime_.reset();
    table::SetFileChangeHook(nullptr);
    table::CloseAllTables();
    fs::remove_all(dir_);
  }

  // Carries out the worker threads' calls until every load and save is done.
  void Settle() {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (SettingsTasksPending()) {
      ProcessEvents();
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      ASSERT_LT(now.tv_sec - start.tv_sec, 30) << "settings tasks did not finish";
    }
    ProcessEvents();
  }
  void Open() {
    ASSERT_TRUE(ui::LoadWindow(ui::WindowId::Settings));
    Settle();
  }
  void Close() { ASSERT_TRUE(headless_->RequestClose(ui::WindowId::Settings)); }
  void Click(const char* button) {
    ASSERT_TRUE(headless_->ClickButton(ui::WindowId::Settings, button));
  }
  void ClickRow(int row) {
    ASSERT_TRUE(headless_->ClickRow(ui::WindowId::Settings, "超级列表框_列表", row));
  }
  void Enter(const char* keywords, const char* reply, int rule, const char* code) {
    Input("编辑框_关键词").SetText(keywords);
    Input("编辑框_回复语").SetText(reply);
    ASSERT_TRUE(headless_->SelectComboItem(ui::WindowId::Settings, "组合框_匹配规则", rule));
    Input("编辑框_匹配码").SetText(code);
  }
  // Presses 按钮_保存 and waits for the save's one box.
  Text Save() {
    Click("按钮_保存");
    Settle();
    const std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
    if (boxes.size() != 1) return "boxes: " + std::to_string(boxes.size());
    EXPECT_EQ(boxes[0].title, "提示");
    EXPECT_EQ(boxes[0].flags & 0xFF, boxes[0].text == kSaveSucceeded ? 64u : 16u) << boxes[0].text;
    return boxes[0].text;
  }

  ui::Control Input(const char* name) { return ui::Control(ui::WindowId::Settings, name); }
  ui::Control List() { return Input("超级列表框_列表"); }
  std::vector<RuleRow> ListRows() {
    std::vector<RuleRow> rows;
    for (int r = 0; r < List().RowCount(); ++r) {
      rows.push_back({List().GetCellText(r, 0), List().GetCellText(r, 1), List().GetCellText(r, 2),
                      List().GetCellText(r, 3)});
    }
    return rows;
  }
  std::string ReadFile(const char* name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteIni(const std::string& bytes) {
    std::ofstream(dir_ / "Data.ini", std::ios::binary) << bytes;
  }
  Text OnlyBoxText() {
    const std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
    return boxes.size() == 1 ? boxes[0].text : "boxes: " + std::to_string(boxes.size());
  }

  fs::path dir_;
  Text directory_;
  ui::HeadlessBackend* headless_ = nullptr;
  std::unique_ptr<ui::Runtime> runtime_;
  std::vector<Text> errors_;
};

TEST_F(SettingsWindowTest, LoadWritesTheDefaultDataIniAndShowsTheStoredValuesAndRules) {
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗|在不", "在的", "包含", "007"},
                                      {"发货", "今天发", "完全匹配", "-3"}}),
            RuleStoreResult::Ok);
  Open();
  const std::string ini = ReadFile("Data.ini");
  EXPECT_EQ(ini.size(), 103u);
  EXPECT_EQ(ini, std::string("[Reply]\r\nDefault=") + kBuiltInDefaultReply +
                     "\r\n[Wait]\r\nsecond=5\r\n");
  EXPECT_EQ(Input("编辑框_默认回复内容").GetText(), kBuiltInDefaultReply);
  EXPECT_EQ(Input("编辑框_回复时间").GetText(), "5");
  EXPECT_EQ(ListRows(), (std::vector<RuleRow>{{"在吗|在不", "在的", "包含", "7"},
                                              {"发货", "今天发", "完全匹配", "-3"}}));

  // Closing tells the main window; an existing Data.ini is read, not rewritten.
  Close();
  EXPECT_EQ(ui::Control(ui::WindowId::Main, "状态条1").PartText(1), kLoadingSettingsStatus);
  WriteIni("[Reply]\r\nDefault=您好\r\n[Wait]\r\nsecond=3\r\n");
  Open();
  EXPECT_EQ(Input("编辑框_默认回复内容").GetText(), "您好");
  EXPECT_EQ(Input("编辑框_回复时间").GetText(), "5");  // 3 is raised to 5
  EXPECT_EQ(List().RowCount(), 2);                     // a fresh list each time
  EXPECT_EQ(ReadFile("Data.ini"), "[Reply]\r\nDefault=您好\r\n[Wait]\r\nsecond=3\r\n");

  // Typing: a text that reads below 5 becomes 5 at once.
  ASSERT_TRUE(headless_->TypeText(ui::WindowId::Settings, "编辑框_回复时间", "\b"));
  EXPECT_EQ(Input("编辑框_回复时间").GetText(), "5");
  ASSERT_TRUE(headless_->TypeText(ui::WindowId::Settings, "编辑框_回复时间", "2"));
  EXPECT_EQ(Input("编辑框_回复时间").GetText(), "52");
  ASSERT_TRUE(
      headless_->TypeText(ui::WindowId::Settings, "编辑框_回复时间", "\b\b1"));  // "5", then "51"
  ASSERT_TRUE(headless_->TypeText(ui::WindowId::Settings, "编辑框_回复时间", "\b"));  // "5"
  ASSERT_TRUE(headless_->TypeText(ui::WindowId::Settings, "编辑框_回复时间", "\b"));  // "" gives 5
  EXPECT_EQ(Input("编辑框_回复时间").GetText(), "5");
  Input("编辑框_回复时间").SetText("1");
  EXPECT_EQ(Input("编辑框_回复时间").GetText(), "5");
}

TEST_F(SettingsWindowTest, AddModifyAndDeleteChangeOnlyTheList) {
  Open();
  // The separator button appends "|" and gives the keywords the focus.
  Input("编辑框_关键词").SetText("在吗");
  Click("按钮_输入分割符");
  EXPECT_EQ(Input("编辑框_关键词").GetText(), "在吗|");
  EXPECT_EQ(headless_->FocusedControl(), "编辑框_关键词");

  // Blank required inputs: the message, and with 添加 an empty row.
  Enter("  ", "r", 0, "1");
  Click("按钮_添加");
  EXPECT_EQ(OnlyBoxText(), "请输入关键词");
  Enter("k", " ", 0, "1");
  Click("按钮_添加");
  EXPECT_EQ(OnlyBoxText(), "请输入回复语");
  Enter("k", "r", 0, "");
  Click("按钮_修改");
  EXPECT_EQ(OnlyBoxText(), "请输入匹配码");
  EXPECT_EQ(ListRows(), (std::vector<RuleRow>{{"", "", "", ""}, {"", "", "", ""}}));

  // Nothing chosen yet: 修改 writes row 0. Texts are kept untrimmed.
  Enter(" 在吗|在不 ", "在的亲", 1, "007");
  Click("按钮_修改");
  Enter("发货", "今天发", 0, "-3");
  Click("按钮_添加");
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
  EXPECT_EQ(ListRows(), (std::vector<RuleRow>{{" 在吗|在不 ", "在的亲", "完全匹配", "007"},
                                              {"", "", "", ""},
                                              {"发货", "今天发", "包含", "-3"}}));

  // Choosing a row shows it; any rule other than 包含 shows item 1.
  ClickRow(0);
  EXPECT_EQ(Input("编辑框_关键词").GetText(), " 在吗|在不 ");
  EXPECT_EQ(Input("编辑框_回复语").GetText(), "在的亲");
  EXPECT_EQ(Input("编辑框_匹配码").GetText(), "007");
  EXPECT_EQ(Input("组合框_匹配规则").CurrentIndex(), 1);
  ClickRow(1);
  EXPECT_EQ(Input("组合框_匹配规则").CurrentIndex(), 1);
  EXPECT_EQ(Input("编辑框_关键词").GetText(), "");
  ClickRow(2);
  EXPECT_EQ(Input("组合框_匹配规则").CurrentIndex(), 0);
  Input("编辑框_回复语").SetText("明天发");
  Click("按钮_修改");
  EXPECT_EQ(List().GetCellText(2, 1), "明天发");

  // Delete: Cancel changes nothing; OK removes the chosen row, and the row
  // before it becomes current.
  QueueMessageBoxButton(kButtonCancel);
  Click("按钮_删除");
  std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "确定要删除吗？");
  EXPECT_EQ(boxes[0].title, "删除");
  EXPECT_EQ(boxes[0].flags & 0xFF, 65u);
  EXPECT_EQ(List().RowCount(), 3);
  Click("按钮_删除");
  TakeMessageBoxCalls();
  EXPECT_EQ(List().RowCount(), 2);
  EXPECT_EQ(List().CurrentRow(), 1);

  // Deleting the first row makes the former second row current and shown.
  ClickRow(0);
  Click("按钮_删除");
  TakeMessageBoxCalls();
  ASSERT_EQ(List().RowCount(), 1);
  EXPECT_EQ(List().CurrentRow(), 0);
  EXPECT_EQ(Input("编辑框_关键词").GetText(), "");

  // Nothing was written.
  Close();
  Open();
  EXPECT_EQ(List().RowCount(), 0);
}

// Each match rule shows its own item of 组合框_匹配规则 when its row is
// chosen, and the item chosen is the rule a new row gets; saved, a
// "消息中包含" rule answers a sentence that holds its keyword.
TEST_F(SettingsWindowTest, MatchRuleComboShowsEachRuleAndGivesItBack) {
  const std::pair<const char*, int> shown[] = {{"包含", 0}, {"完全匹配", 1}, {"消息中包含", 2},
                                               {"", 1},     {"其他", 1},     {"消息中包含 ", 1}};
  std::vector<RuleRow> rows;
  for (const auto& [rule, item] : shown) rows.push_back({"词", "回复", rule, "1"});
  ASSERT_EQ(ReplaceRules(directory_, rows), RuleStoreResult::Ok);
  Open();
  for (int row = 0; row < static_cast<int>(std::size(shown)); ++row) {
    ClickRow(row);
    EXPECT_EQ(Input("组合框_匹配规则").CurrentIndex(), shown[row].second) << shown[row].first;
  }

  Enter("在吗|在不", "在的亲", 2, "9");
  Click("按钮_添加");
  EXPECT_EQ(List().GetCellText(List().RowCount() - 1, 2), "消息中包含");
  ClickRow(List().RowCount() - 1);
  EXPECT_EQ(Input("组合框_匹配规则").GetText(), "消息中包含");
  EXPECT_EQ(Save(), kSaveSucceeded);
  EXPECT_EQ(MatchCustomerText("你好，在吗？"), "在的亲");
  EXPECT_EQ(MatchCustomerText("在"), "默认");
}

TEST_F(SettingsWindowTest, SaveWritesRulesSettingsAndSortedCopyAndTheNextReplyUsesThem) {
  Open();
  EXPECT_EQ(MatchCustomerText("在吗"), "默认");
  Enter("在吗|在不", "在的亲", 0, "007");
  Click("按钮_添加");
  Enter("发货", "今天发", 1, "-3");
  Click("按钮_添加");
  Enter("在吗", "后一条", 0, "0");
  Click("按钮_添加");
  Input("编辑框_默认回复内容").SetText("稍等");
  Input("编辑框_回复时间").SetText("8");
  EXPECT_EQ(Save(), kSaveSucceeded);

  EXPECT_EQ(MatchCustomerText("在吗"), "在的亲");  // code 7 before code 0
  EXPECT_EQ(MatchCustomerText("发货"), "今天发");
  EXPECT_EQ(ReadFile("Data.ini"), std::string("[Reply]\r\nDefault=稍等\r\n[Wait]\r\nsecond=8\r\n"));
  EXPECT_EQ(ReadRules(), (std::vector<RuleRow>{{"在吗|在不", "在的亲", "包含", "7"},
                                               {"发货", "今天发", "完全匹配", "-3"},
                                               {"在吗", "后一条", "包含", "0"}}));
  EXPECT_EQ(ReadRules(kSortedCopyAlias)[2].matchCode, "-3");  // -3 sorts after 0
  EXPECT_FALSE(fs::exists(dir_ / "Database-saving.edb"));

  // Reloaded: codes as stored. An empty row saves as an empty rule with code 0.
  Close();
  Open();
  EXPECT_EQ(List().GetCellText(0, 3), "7");
  EXPECT_EQ(List().GetCellText(1, 3), "-3");
  Input("编辑框_关键词").SetText("");
  Click("按钮_添加");
  TakeMessageBoxCalls();
  Input("编辑框_回复时间").SetText("");  // becomes 5 at once
  EXPECT_EQ(Save(), kSaveSucceeded);
  EXPECT_EQ(ReadRules().back(), (RuleRow{"", "", "", "0"}));
  EXPECT_NE(ReadFile("Data.ini").find("second=5\r\n"), std::string::npos);
}

TEST_F(SettingsWindowTest, FailedSavesShowTheirNumberedMessageAndKeepTheList) {
  ASSERT_EQ(ReplaceRules(directory_, {{"旧", "旧的", "包含", "1"}}), RuleStoreResult::Ok);
  Open();
  Enter("新", "新的", 0, "2");
  Click("按钮_添加");

  // A full disk at each change of the save in turn: the rule table keeps the
  // old rules after every failure up to the moment the new table is in place.
  std::set<Text> messages;
  int changes = 0, failAt = 1;
  table::SetFileChangeHook([&] { return ++changes == failAt ? table::kDiskFull : 0; });
  for (;; ++failAt) {
    changes = 0;
    const Text message = Save();
    if (message == kSaveSucceeded) break;
    messages.insert(message);
    ASSERT_EQ(List().RowCount(), 2);
    if (message != kSortSaveFailed) {
      ASSERT_EQ(ReadRules().size(), 1u) << message;
    }
    ASSERT_LT(failAt, 10000);
  }
  table::SetFileChangeHook(nullptr);
  EXPECT_EQ(messages, (std::set<Text>{"保存失败，请重试！-2", "保存失败，请重试！-3",
                                      "保存失败，请重试！-4", kSortSaveFailed}));
  EXPECT_EQ(ReadRules().size(), 2u);

  // Data.ini cannot be written (a folder has its name): -5, rules saved.
  fs::remove(dir_ / "Data.ini");
  fs::create_directory(dir_ / "Data.ini");
  Click("按钮_删除");
  TakeMessageBoxCalls();
  EXPECT_EQ(Save(), "保存失败，请重试！-5");
  EXPECT_EQ(ReadRules().size(), 1u);
  fs::remove(dir_ / "Data.ini");

  // The rule table is gone and cannot be reopened: -1.
  table::CloseTable(kRuleTableAlias);
  fs::rename(dir_ / "Database.edb", dir_ / "kept.edb");
  EXPECT_EQ(Save(), "保存失败，请重试！-1");
  fs::rename(dir_ / "kept.edb", dir_ / "Database.edb");
  EXPECT_EQ(Save(), kSaveSucceeded);
}

TEST_F(SettingsWindowTest, SavesRunInTheOrderPressedAndClosingDuringLoadOrSaveIsHarmless) {
  // A long list: the load is still filling when the window is closed.
  std::vector<RuleRow> many;
  for (int i = 0; i < 3000; ++i)
    many.push_back({"词" + std::to_string(i), "回复", "包含", std::to_string(i % 7)});
  ASSERT_EQ(ReplaceRules(directory_, many), RuleStoreResult::Ok);
  ASSERT_TRUE(ui::LoadWindow(ui::WindowId::Settings));
  while (List().RowCount() == 0) ProcessEvents();
  Close();
  Settle();
  Open();
  ASSERT_EQ(List().RowCount(), 3000);

  // Two saves pressed one after the other: the long list, then a short one.
  Click("按钮_保存");
  while (List().RowCount() > 1) List().DeleteRow(0);
  Click("按钮_保存");
  Settle();
  std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, kSaveSucceeded);
  EXPECT_EQ(boxes[1].text, kSaveSucceeded);
  EXPECT_EQ(ReadRules().size(), 1u);
  EXPECT_EQ(ReadRules(kSortedCopyAlias).size(), 1u);

  // Closed right after pressing 保存: the save still runs to its end and
  // reports without owner; the window opened next shows the saved rules.
  List().InsertRow();
  Click("按钮_保存");
  Close();
  ASSERT_TRUE(ui::LoadWindow(ui::WindowId::Settings));
  Settle();
  boxes = TakeMessageBoxCalls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kSaveSucceeded);
  EXPECT_EQ(List().RowCount(), 2);
  EXPECT_EQ(ReadRules().size(), 2u);
}

// 保存 cannot be pressed while the list is loading (its caption says so), so
// the saved table is always the list the window shows; a list that could not
// be read whole is never saved.
TEST_F(SettingsWindowTest, SaveWaitsForTheWholeListAndAnUnreadableListIsNeverSaved) {
  std::vector<RuleRow> many;
  for (int i = 0; i < 3000; ++i)
    many.push_back({"词" + std::to_string(i), "回复", "包含", std::to_string(i % 7)});
  ASSERT_EQ(ReplaceRules(directory_, many), RuleStoreResult::Ok);
  ASSERT_TRUE(ui::LoadWindow(ui::WindowId::Settings));
  EXPECT_FALSE(Input("按钮_保存").IsEnabled());
  EXPECT_EQ(Input("按钮_保存").GetText(), kLoadingSaveCaption);
  EXPECT_FALSE(
      headless_->ClickButton(ui::WindowId::Settings, "按钮_保存"));  // pressed at once: refused
  Settle();
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
  EXPECT_TRUE(Input("按钮_保存").IsEnabled());
  EXPECT_EQ(Input("按钮_保存").GetText(), kSaveCaption);
  ASSERT_EQ(ListRows(), ReadRules());
  List().DeleteRow(0);
  EXPECT_EQ(Save(), kSaveSucceeded);
  EXPECT_EQ(ReadRules(), ListRows());
  EXPECT_EQ(ReadRules().size(), 2999u);
  Close();

  // The rule table cannot be read: said, and 保存 stays unavailable.
  table::CloseTable(kRuleTableAlias);
  Open();
  const Text box = OnlyBoxText();
  EXPECT_EQ(box.rfind(kRulesUnreadable, 0), 0u) << box;
  EXPECT_FALSE(headless_->ClickButton(ui::WindowId::Settings, "按钮_保存"));
  Close();
  ASSERT_TRUE(OpenRuleTable(directory_));
  EXPECT_EQ(ReadRules().size(), 2999u);
}

// 添加 and 修改 refuse a text the rule table cannot hold whole, naming the
// field and its limit; what fits exactly is stored whole.
TEST_F(SettingsWindowTest, TextsThatDoNotFitTheRuleTableAreRefusedBeforeAnythingChanges) {
  Open();
  const Text zi = "字";  // two bytes
  Text fits;
  for (int i = 0; i < 512; ++i) fits += zi;  // 1024 bytes
  Enter("在吗", fits.c_str(), 0, "1");
  Click("按钮_添加");
  EXPECT_TRUE(TakeMessageBoxCalls().empty());
  const struct {
    const char* button;
    Text keywords, reply;
    Text message;
  } cases[] = {
      {"按钮_添加", "在吗", fits + zi,
       "回复语最长 1024 字节（约 512 个汉字），现为 1026 字节，请缩短后再添加。"},
      {"按钮_添加", "在吗", Text(3000, 'x'),
       "回复语最长 1024 字节（约 512 个汉字），现为 3000 字节，请缩短后再添加。"},
      {"按钮_修改", Text(257, 'k'), "短",
       "关键词最长 256 字节（约 128 个汉字），现为 257 字节，请缩短后再修改。"},
  };
  for (const auto& c : cases) {
    Enter(c.keywords.c_str(), c.reply.c_str(), 0, "1");
    Click(c.button);
    EXPECT_EQ(OnlyBoxText(), c.message);
    EXPECT_EQ(ListRows(), (std::vector<RuleRow>{{"在吗", fits, "包含", "1"}})) << c.button;
  }
  EXPECT_EQ(Save(), kSaveSucceeded);
  EXPECT_EQ(ReadRules(), (std::vector<RuleRow>{{"在吗", fits, "包含", "1"}}));
  EXPECT_EQ(MatchCustomerText("在吗"), fits);
}

// Exit confirmed while a save runs: the save ends first, and meanwhile the
// main window says that it is saving.
TEST_F(SettingsWindowTest, ConfirmedExitWaitsForTheSaveAndSaysSo) {
  Open();
  Enter("在吗", "在的", 0, "1");
  Click("按钮_添加");
  std::atomic<bool> first{true}, saidSaving{false};
  table::SetFileChangeHook([&] {
    if (!first.exchange(false)) return 0;
    // The save's first change waits until the main window says it is saving.
    for (int i = 0; i < 1000 && !saidSaving; ++i) {
      saidSaving =
          ui::Control(ui::WindowId::Main, "状态条1").PartText(1) == kSavingBeforeExitStatus;
      if (!saidSaving) ::usleep(10000);
    }
    return 0;
  });
  Click("按钮_保存");
  QueueMessageBoxButton(kButtonOk);
  EXPECT_TRUE(ConfirmExit());
  EXPECT_TRUE(saidSaving);
  EXPECT_FALSE(SettingsTasksPending());
  EXPECT_EQ(ReadRules(), (std::vector<RuleRow>{{"在吗", "在的", "包含", "1"}}));
  const std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "确定退出吗？");
  EXPECT_EQ(boxes[1].text, kSaveSucceeded);
}

// A question whose box cannot be shown (or gives an unknown answer) is
// answered No: nothing is deleted and the program does not end.
TEST_F(SettingsWindowTest, AQuestionThatCannotBeAskedChangesNothing) {
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗", "在的", "包含", "1"}}), RuleStoreResult::Ok);
  Open();
  for (int failedAnswer : {0, 11}) {
    SetMessageBoxHandler([&](const MessageBoxCall&) { return failedAnswer; });
    Click("按钮_删除");
    EXPECT_EQ(List().RowCount(), 1) << failedAnswer;
    EXPECT_FALSE(ConfirmExit()) << failedAnswer;
  }
  SetMessageBoxHandler(nullptr);
}

// --- Rules in and out as CSV files ---------------------------------------------

// A CSV file in the test folder; its full path.
Text WriteCsv(const fs::path& dir, const char* name, const std::string& bytes) {
  std::ofstream(dir / name, std::ios::binary) << bytes;
  return (dir / name).string();
}

// The texts of the boxes shown since the last call, in order.
std::vector<Text> BoxTexts() {
  std::vector<Text> texts;
  for (const MessageBoxCall& call : TakeMessageBoxCalls()) texts.push_back(call.text);
  return texts;
}

bool Contains(const Text& text, const char* part) { return text.find(part) != Text::npos; }

// Import asks first (OK/Cancel on an empty list, replace/append/cancel on a
// list with rows); the rows land in the list as read, and 保存 stores them.
TEST_F(SettingsWindowTest, ImportReplacesOrAppendsAfterTheSummaryAndSaveStoresTheList) {
  Open();
  // GBK, as Excel saves "CSV (逗号分隔)" on Chinese Windows; the second row's
  // match rule is unknown and is noted with its line.
  const Text two = WriteCsv(dir_, "two.csv",
                            "关键词,回复语,匹配规则,匹配码\r\n在吗,在的,包含,5\r\n"
                            "发货,\"今天发,明天到\",contains,-3\r\n");
  const Text one =
      WriteCsv(dir_, "one.csv", "匹配码,关键词,回复语,匹配规则\n 9 ,退货,七天,完全匹配\n");
  const std::vector<RuleRow> twoRows = {{"在吗", "在的", "包含", "5"},
                                        {"发货", "今天发,明天到", "contains", "-3"}};
  const RuleRow oneRow = {"退货", "七天", "完全匹配", "9"};

  QueueFileDialogAnswer(two);
  QueueMessageBoxButton(kButtonOk);
  Click("按钮_导入规则");
  const std::vector<MessageBoxCall> asked = TakeMessageBoxCalls();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, "导入规则");
  EXPECT_EQ(asked[0].flags & 0xF, kMbOkCancel);
  EXPECT_EQ(asked[0].text.rfind("将导入 2 条规则", 0), 0u) << asked[0].text;
  EXPECT_TRUE(Contains(asked[0].text, "第 3 行：")) << asked[0].text;
  EXPECT_EQ(ListRows(), twoRows);
  const std::vector<FileDialogRequest> dialogs = TakeFileDialogCalls();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, FileDialogKind::Open);
  EXPECT_EQ(dialogs[0].pattern, "*.csv");

  // On a list with rows: No appends, Yes replaces, Cancel changes nothing.
  const struct {
    int button;
    std::vector<RuleRow> after;
  } kAnswers[] = {
      {kButtonNo, {twoRows[0], twoRows[1], oneRow}},
      {kButtonCancel, {twoRows[0], twoRows[1], oneRow}},
      {kButtonYes, {oneRow}},
  };
  for (const auto& answer : kAnswers) {
    QueueFileDialogAnswer(one);
    QueueMessageBoxButton(answer.button);
    Click("按钮_导入规则");
    const std::vector<MessageBoxCall> question = TakeMessageBoxCalls();
    ASSERT_EQ(question.size(), 1u);
    EXPECT_EQ(question[0].flags & 0xF, kMbYesNoCancel);
    EXPECT_TRUE(Contains(question[0].text, "将导入 1 条规则")) << question[0].text;
    EXPECT_EQ(ListRows(), answer.after) << answer.button;
  }

  // Nothing was stored before 保存; then the list is stored as it is.
  EXPECT_TRUE(ReadRules().empty());
  EXPECT_EQ(Save(), kSaveSucceeded);
  EXPECT_EQ(ReadRules(), std::vector<RuleRow>{oneRow});
}

// A file that cannot be read whole changes nothing and says why, with the
// line where the problem is.
TEST_F(SettingsWindowTest, ARefusedImportNamesItsLineAndLeavesTheListAsItWas) {
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗", "在的", "包含", "1"}}), RuleStoreResult::Ok);
  Open();
  const struct {
    const char* file;
    std::string bytes;  // no file when empty
    const char* said;
  } kCases[] = {
      {"code.csv", "关键词,回复语,匹配规则,匹配码\r\n甲,乙,包含,1\r\n丙,丁,包含,abc\r\n",
       "第 3 行：匹配码“abc”不是整数"},
      {"quote.csv", "关键词,回复语,匹配规则,匹配码\r\n甲,\"乙,包含,1\r\n", "第 2 行："},
      {"empty.csv", "\xEF\xBB\xBF", "第 1 行："},
      {"missing.csv", "", "找不到文件"},
  };
  for (const auto& c : kCases) {
    const Text path = c.bytes.empty() ? (dir_ / c.file).string() : WriteCsv(dir_, c.file, c.bytes);
    QueueFileDialogAnswer(path);
    Click("按钮_导入规则");
    const std::vector<Text> said = BoxTexts();
    ASSERT_EQ(said.size(), 1u) << c.file;
    EXPECT_TRUE(Contains(said[0], c.said)) << c.file << ": " << said[0];
    EXPECT_TRUE(Contains(said[0], "列表没有改动")) << said[0];
    EXPECT_EQ(ListRows(), (std::vector<RuleRow>{{"在吗", "在的", "包含", "1"}})) << c.file;
  }
  // A cancelled dialog says nothing and changes nothing.
  QueueFileDialogAnswer(std::nullopt);
  Click("按钮_导入规则");
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(List().RowCount(), 1);
}

// Export writes the rows as the list shows them, unsaved changes included, in
// the shared CSV form, which reads back to the same rows.
TEST_F(SettingsWindowTest, ExportWritesTheListAsShown) {
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗|在不", "在的", "包含", "7"}}), RuleStoreResult::Ok);
  Open();
  Enter("发货", "今天发,\"明天\"到\r\n谢谢", 1, "-3");
  Click("按钮_添加");
  ClickRow(0);
  Input("编辑框_回复语").SetText("改过的回复");
  Click("按钮_修改");
  const std::vector<RuleRow> shown = ListRows();
  ASSERT_EQ(shown.size(), 2u);
  ASSERT_EQ(shown[0].reply, "改过的回复");

  const Text path = (dir_ / "out.csv").string();
  QueueFileDialogAnswer(path);
  Click("按钮_导出规则");
  const std::vector<Text> said = BoxTexts();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0], "已导出 2 条规则到 " + path + "。");
  const std::string written = ReadFile("out.csv");
  const Bytes expected = WriteRuleCsv(shown);
  EXPECT_EQ(written, std::string(expected.begin(), expected.end()));
  EXPECT_EQ(ReadRuleCsv(written).rows, shown);
  EXPECT_EQ(TakeFileDialogCalls().at(0).kind, FileDialogKind::Save);

  // A folder that is not there: said, and nothing written.
  QueueFileDialogAnswer((dir_ / "none" / "out.csv").string());
  Click("按钮_导出规则");
  const std::vector<Text> failed = BoxTexts();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(Contains(failed[0], "找不到要保存到的文件夹")) << failed[0];
}

// The tester answers from the list as it is now, in the order the reply
// service tries the rules (match code first, whatever the list order), shows
// the answering row as a click does, and falls back to the window's default
// reply. After a save the service answers every text with the row it named.
TEST_F(SettingsWindowTest, TesterAnswersFromTheUnsavedListAsTheServiceWillAfterSaving) {
  ASSERT_EQ(ReplaceRules(directory_, {{"在吗|在不", "旧回复", "包含", "1"}}), RuleStoreResult::Ok);
  Open();
  ClickRow(0);
  Input("编辑框_回复语").SetText("低码回复");
  Click("按钮_修改");
  Enter("发货", "今天发", 1, "3");
  Click("按钮_添加");
  Enter("在", "高码回复", 2, "9");
  Click("按钮_添加");
  Enter("退货", "x", 1, "5");
  Click("按钮_添加");
  List().SetCellText(3, 1, "  ");  // a blank reply, as an imported row may hold
  Enter("发货", "同码后行", 1, "3");
  Click("按钮_添加");
  Input("编辑框_默认回复内容").SetText("请稍等");
  ClickRow(4);
  ASSERT_TRUE(TakeMessageBoxCalls().empty());

  const Text note = "\r\n\r\n（按列表中现在的规则测试；修改过的规则点击“保存”后才对顾客生效。）";
  // The window's default reply is not the one Quillane started with.
  const Text kNotYetSent = "\r\n（这是窗口中的默认回复；保存后要重新启动 Quillane 才会发给顾客。）";
  struct Case {
    const char* customer;
    int row;  // -1: none answers; -2: one of the two 发货 rows, as the service orders ties
    Text said;
  };
  const Case cases[] = {
      {"吗", 0,
       "第 1 行的规则回复这条消息\r\n关键词：“在吗”（包含，匹配码 "
       "1）\r\n将发送的回复：\r\n低码回复"},
      {"你好，在吗？", 2,
       "第 3 行的规则回复这条消息\r\n关键词：“在”（消息中包含，匹配码 "
       "9）\r\n将发送的回复：\r\n高码回复"},
      {"在不", 2, ""},  // code 9 before code 1, though row 0 comes first
      {"退货", 3,
       "第 4 行的规则回复这条消息\r\n关键词：“退货”（完全匹配，匹配码 5）\r\n"
       "它的回复语为空，将发送默认回复：\r\n请稍等" +
           kNotYetSent},
      {"发货", -2, ""},
      {"不在线", 2, ""},
      {"您好", -1, "没有规则匹配，将发送默认回复：\r\n请稍等" + kNotYetSent},
  };
  const std::vector<RuleRow> rows = ListRows();
  std::vector<int> answered;
  for (const Case& c : cases) {
    const int before = List().CurrentRow();
    Input("编辑框_关键词").SetText("输入框中的新关键词");  // refilled even when the row stays
    Input("编辑框_测试顾客消息").SetText(c.customer);
    Click("按钮_测试");
    const std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
    ASSERT_EQ(boxes.size(), 1u) << c.customer;
    EXPECT_EQ(boxes[0].title, "规则测试");
    if (!c.said.empty()) {
      EXPECT_EQ(boxes[0].text, c.said + note) << c.customer;
    }
    const int row = List().CurrentRow();
    if (c.row == -1) {
      EXPECT_EQ(row, before) << c.customer;  // no match leaves the list as it was
      answered.push_back(-1);
      continue;
    }
    if (c.row >= 0) {
      EXPECT_EQ(row, c.row) << c.customer;
    } else {
      EXPECT_TRUE(row == 1 || row == 4) << row;  // the two 发货 rules share code 3
    }
    EXPECT_TRUE(Contains(boxes[0].text, ("第 " + std::to_string(row + 1) + " 行").c_str()));
    // The inputs show the answering row, as a click on it does.
    EXPECT_EQ(Input("编辑框_关键词").GetText(), rows[row].keywords) << c.customer;
    EXPECT_EQ(Input("编辑框_回复语").GetText(), rows[row].reply) << c.customer;
    answered.push_back(row);
  }
  ASSERT_EQ(ListRows(), rows);  // testing changes no row

  Input("编辑框_测试顾客消息").SetText("");
  Click("按钮_测试");
  EXPECT_EQ(OnlyBoxText(), "请输入要测试的顾客消息");

  EXPECT_EQ(Save(), kSaveSucceeded);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const int row = answered[i];
    const Text expected = row < 0 || TrimSpaces(rows[row].reply).empty() ? "默认" : rows[row].reply;
    EXPECT_EQ(MatchCustomerText(cases[i].customer), expected) << cases[i].customer;
  }
}

// The checks name the rows as the list shows them, from 1, and say which
// row answers a shared keyword; a long list of findings is cut short.
TEST_F(SettingsWindowTest, ChecksListTheFindingsWithTheirRows) {
  Open();
  Click("按钮_检查规则");
  EXPECT_EQ(OnlyBoxText(), "没有发现问题");

  const RuleRow rows[] = {{"在吗|在不", "a", "包含", "1"}, {"在吗", "b", "包含", "5"},
                          {"|发货", "c", "完全匹配", "3"}, {"退货 ", "d", "完全匹配", "2"},
                          {"你好", "e", "完全匹配", "0"},  {"好", "f", "消息中包含", "7"}};
  for (const RuleRow& r : rows) {
    const int row = List().InsertRow();
    List().SetCellText(row, 0, r.keywords);
    List().SetCellText(row, 1, r.reply);
    List().SetCellText(row, 2, r.matchRule);
    List().SetCellText(row, 3, r.matchCode);
  }
  Click("按钮_检查规则");
  std::vector<MessageBoxCall> boxes = TakeMessageBoxCalls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "检查规则");
  EXPECT_EQ(boxes[0].text,
            "发现 4 个问题（行号是列表中的行，从 1 数起）：\r\n"
            "第 2 行：关键词“在吗”也在第 1 行，由第 2 行回复（匹配码大的先匹配）\r\n"
            "第 3 行：关键词中有空项（以“|”开头，或两个“|”相连）\r\n"
            "第 4 行：关键词“退货 ”的开头或末尾有空格\r\n"
            "第 5 行：永远不会回复，它能匹配的消息都先由第 6 行回复\r\n");

  List().DeleteRow(0);  // no longer shared; the rows move up
  for (int i = 0; i < 25; ++i) {
    const int row = List().InsertRow();
    List().SetCellText(row, 0, "　词" + std::to_string(i));
    List().SetCellText(row, 2, "完全匹配");
  }
  Click("按钮_检查规则");
  const Text report = OnlyBoxText();
  EXPECT_TRUE(Contains(report, "发现 28 个问题")) << report;
  EXPECT_TRUE(Contains(report, "第 2 行：关键词中有空项")) << report;
  EXPECT_TRUE(Contains(report, "第 22 行：关键词“　词16”的开头或末尾有空格\r\n")) << report;
  EXPECT_FALSE(Contains(report, "第 23 行")) << report;
  EXPECT_TRUE(Contains(report, "……另有 8 个问题未列出。")) << report;
}

}  // namespace
}  // namespace quillane

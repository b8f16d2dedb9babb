#include "app/settings_window.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "app/main_window.h"
#include "app/rule_files.h"
#include "app/rule_review.h"
#include "app/startup.h"
#include "app/stored_settings.h"
#include "rules/reply_rules.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/files.h"
#include "services/ini.h"
#include "services/message_box.h"
#include "services/process.h"
#include "services/runtime_error.h"
#include "services/text.h"
#include "services/values.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

constexpr char kTipTitle[] = "提示";
constexpr std::uint32_t kInfoFlags = kMbIconInformation;
constexpr std::uint32_t kErrorFlags = kMbIconError;
// Rows put into the list per call on the main thread, so a long list fills
// while the window keeps answering the user.
constexpr std::size_t kRowsPerBatch = 200;

ui::Control SettingsControl(const char* name) { return ui::Control(ui::WindowId::Settings, name); }
ui::Control List() { return SettingsControl("超级列表框_列表"); }
ui::Control Keywords() { return SettingsControl("编辑框_关键词"); }
ui::Control ReplyInput() { return SettingsControl("编辑框_回复语"); }
ui::Control RuleInput() { return SettingsControl("组合框_匹配规则"); }
ui::Control CodeInput() { return SettingsControl("编辑框_匹配码"); }
ui::Control DefaultReplyInput() { return SettingsControl("编辑框_默认回复内容"); }
ui::Control WaitInput() { return SettingsControl("编辑框_回复时间"); }
ui::Control SaveButton() { return SettingsControl("按钮_保存"); }
ui::Control MainStatus() { return ui::Control(ui::WindowId::Main, "状态条1"); }

// The item of 组合框_匹配规则 (包含, 完全匹配, 消息中包含) that shows a row's
// match rule: every text other than the two containment rules is tested
// exactly, so it shows 完全匹配.
int MatchRuleItem(const Text& matchRule) {
  switch (MatchKindOf(matchRule)) {
    case MatchKind::Contains:
      return 0;
    case MatchKind::InMessage:
      return 2;
    case MatchKind::Exact:
      break;
  }
  return 1;
}

// The window's own state. Touched only on the main thread.
struct WindowRecord {
  int selectedRow = 0;             // the row the inputs were last filled from
  std::uint32_t openInstance = 0;  // the window now open; 0 when none
  std::uint32_t lastInstance = 0;
};

WindowRecord& Window() {
  static WindowRecord record;
  return record;
}

// What a save writes: the list, the default reply and the waiting time as
// the window held them when 按钮_保存 was pressed.
struct SaveInput {
  std::vector<RuleRow> rows;
  Text defaultReply;
  Text waitSeconds;
};

// A load or a save: the opening of the window it belongs to and, for a save,
// what it writes.
struct Task {
  std::uint32_t instance = 0;
  std::shared_ptr<const SaveInput> save;
};

// Loads and saves take a ticket on the main thread when they start; each
// thread waits until every earlier ticket has finished.
class TaskTurns {
 public:
  std::int32_t Issue(Task task) {
    std::lock_guard guard(m_);
    tasks_[next_] = std::move(task);
    ++running_;
    return next_++;
  }
  // Blocks until it is this ticket's turn.
  Task WaitTurn(std::int32_t ticket) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return serving_ == ticket; });
    return tasks_[ticket];
  }
  void Finish(std::int32_t ticket) {
    std::lock_guard guard(m_);
    tasks_.erase(ticket);
    finished_.insert(ticket);
    while (finished_.erase(serving_) > 0) ++serving_;
    cv_.notify_all();
  }
  // The task's thread has ended (or never started).
  void Retire() {
    std::lock_guard guard(m_);
    --running_;
  }
  bool Pending() {
    std::lock_guard guard(m_);
    return running_ > 0;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::int32_t next_ = 0;
  std::int32_t serving_ = 0;
  int running_ = 0;
  std::map<std::int32_t, Task> tasks_;
  std::set<std::int32_t> finished_;
};

TaskTurns& Turns() {
  static TaskTurns turns;
  return turns;
}

// A task's turn, from waiting for it to finishing it (at the latest when the
// thread's routine returns, which also retires the task).
class Turn {
 public:
  explicit Turn(std::int32_t ticket) : ticket_(ticket), task_(Turns().WaitTurn(ticket)) {}
  ~Turn() {
    Finish();
    Turns().Retire();
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;
  std::uint32_t instance() const { return task_.instance; }
  const Task& task() const { return task_; }
  void Finish() {
    if (done_) return;
    done_ = true;
    Turns().Finish(ticket_);
  }

 private:
  std::int32_t ticket_;
  Task task_;
  bool done_ = false;
};

// Runs `fn` on the main thread if the opening `instance` of the settings
// window is still open; false when it has been closed since. The test and
// the calls are one step on the main thread, where the window is destroyed,
// so the window cannot go away between them.
bool WithOpenWindow(std::uint32_t instance, const std::function<void()>& fn) {
  ui::Runtime* runtime = ui::Runtime::Current();
  if (!runtime) return false;
  return runtime->OnMain<bool>(
      [&] {
        if (instance == 0 || Window().openInstance != instance ||
            !ui::IsWindowOpen(ui::WindowId::Settings)) {
          return false;
        }
        fn();
        return true;
      },
      false);
}

std::uintptr_t OwnerWindow() {
  return ui::IsWindowOpen(ui::WindowId::Settings) ? ui::WindowHandle(ui::WindowId::Settings) : 0;
}

Text SettingsFile() { return StoreDirectory() + kSettingsFile; }

void StartTask(ThreadRoutine routine, std::shared_ptr<const SaveInput> save = nullptr) {
  const std::int32_t ticket = Turns().Issue({Window().openInstance, std::move(save)});
  if (!StartThread(routine, ticket)) {
    Turns().Finish(ticket);
    Turns().Retire();
  }
}

// 按钮_保存 while the list is loading: unavailable, and its caption says why.
// Import, export, the tester and the checks wait for the whole list too.
void ShowLoading(bool loading) {
  SaveButton().SetText(loading ? kLoadingSaveCaption : kSaveCaption);
  SaveButton().SetEnabled(!loading);
  SettingsControl("按钮_导入规则").SetEnabled(!loading);
  SettingsControl("按钮_导出规则").SetEnabled(!loading);
  SettingsControl("按钮_测试").SetEnabled(!loading);
  SettingsControl("按钮_检查规则").SetEnabled(!loading);
}

// Fills the inputs and the rules list; the list in batches. 按钮_保存 is
// made available only when every rule is in the list, so no save ever
// writes a list that is still loading; a list that could not be read whole
// is never saved.
void LoadSettings(std::int32_t ticket) {
  Turn turn(ticket);
  const Text file = SettingsFile();
  if (!PathFileExists(file)) WriteBytesToFile(file, DefaultSettingsFile());
  const Text reply = ReadIniItem(file, "Reply", "Default", kBuiltInDefaultReply);
  const Text wait = ReadIniItem(file, "Wait", "second", kBuiltInWaitSeconds);
  if (!WithOpenWindow(turn.instance(), [&] {
        DefaultReplyInput().SetText(reply);
        WaitInput().SetText(wait);
      })) {
    return;
  }
  int failure = 0;
  const std::vector<RuleRow> rows = ReadRules(kRuleTableAlias, &failure);
  if (failure != 0) {
    std::uintptr_t owner = 0;
    if (!WithOpenWindow(turn.instance(), [&] {
          SaveButton().SetText(kSaveCaption);
          owner = OwnerWindow();
        })) {
      return;
    }
    ShowMessageBox(
        Text(kRulesUnreadable) + "（" + StoreErrorText(failure) + "）。" + kRulesUnreadableAdvice,
        kErrorFlags, kTipTitle, owner);
    return;
  }
  for (std::size_t first = 0; first < rows.size(); first += kRowsPerBatch) {
    const std::size_t end = std::min(rows.size(), first + kRowsPerBatch);
    const bool open = WithOpenWindow(turn.instance(), [&] {
      const ui::Control list = List();
      for (std::size_t i = first; i < end; ++i) {
        const int r = list.InsertRow();
        list.SetCellText(r, 0, rows[i].keywords);
        list.SetCellText(r, 1, rows[i].reply);
        list.SetCellText(r, 2, rows[i].matchRule);
        list.SetCellText(r, 3, rows[i].matchCode);
      }
    });
    if (!open) return;
  }
  WithOpenWindow(turn.instance(), [] { ShowLoading(false); });
}

// "回复语最长 1024 字节（约 512 个汉字），现为 1500 字节，请缩短后再添加。"
Text TooLongMessage(const TooLongText& t, const char* action) {
  return t.field + "最长 " + ToText(t.width) + " 字节（约 " + ToText(t.width / 2) +
         " 个汉字），现为 " + ToText(static_cast<std::int64_t>(t.length)) + " 字节，请缩短后再" +
         action + "。";
}

// Tells the main window's status bar that replies come from the rule table
// because the sorted copy could not be made.
// Writes the rules, Data.ini and the sorted copy; the message to show.
Text WriteSettings(const SaveInput& input) {
  const Text directory = StoreDirectory();
  std::pair<std::size_t, TooLongText> tooLong;
  switch (ReplaceRules(directory, input.rows, &tooLong)) {
    case RuleStoreResult::Ok:
      ShowNoRulesHint(input.rows.empty());
      break;
    case RuleStoreResult::TooLong:
      return "第 " + ToText(static_cast<std::int64_t>(tooLong.first + 1)) + " 条规则的" +
             TooLongMessage(tooLong.second, "保存");
    case RuleStoreResult::Select:
      return Text(kSaveFailed) + "-1";
    case RuleStoreResult::Clear:
      return Text(kSaveFailed) + "-2";
    case RuleStoreResult::Append:
      return Text(kSaveFailed) + "-3";
    default:
      return Text(kSaveFailed) + "-4";
  }
  const Text file = directory + kSettingsFile;
  if (!WriteIniItem(file, "Reply", "Default", input.defaultReply) ||
      !WriteIniItem(file, "Wait", "second", input.waitSeconds)) {
    return Text(kSaveFailed) + "-5";
  }
  const RuleStoreResult rebuilt = RebuildSortedCopy(directory, true);
  if (rebuilt != RuleStoreResult::Ok) ShowSortedCopyProblem();
  switch (rebuilt) {
    case RuleStoreResult::Ok:
      return kSaveSucceeded;
    case RuleStoreResult::Sort:
      return kSortSaveFailed;
    default:
      return kOpenSaveFailed;
  }
}

void SaveSettings(std::int32_t ticket) {
  Turn turn(ticket);
  if (!turn.task().save) return;
  const Text message = WriteSettings(*turn.task().save);
  turn.Finish();
  // The replies' rules load beside the message; the save ends once they
  // have (so exit waits for them too).
  StartReloadingReplyRules();
  std::uintptr_t owner = 0;
  WithOpenWindow(turn.instance(), [&] { owner = OwnerWindow(); });
  ShowMessageBox(message, message == kSaveSucceeded ? kInfoFlags : kErrorFlags, kTipTitle, owner);
  LoadReplyRulesIfChanged();
}

// The window's content for a save. The waiting time is raised to 5 first.
std::shared_ptr<const SaveInput> ReadSaveInput() {
  auto input = std::make_shared<SaveInput>();
  const ui::Control wait = WaitInput();
  // The stored text is " 5" with its leading blank, as existing Data.ini
  // files hold it; the blank reads the same when the value is loaded.
  if (ToInteger(wait.GetText()) < kShortestWaitSeconds) wait.SetText(kShortestWaitText);
  input->waitSeconds = wait.GetText();
  input->defaultReply = DefaultReplyInput().GetText();
  input->rows = RulesListRows();
  return input;
}

// A text of the inputs that the rule table cannot store whole: said, and
// true, so that nothing is added or changed.
bool RefuseTooLongInput(const char* action) {
  const TooLongText tooLong = FindTooLongText(
      {Keywords().GetText(), ReplyInput().GetText(), RuleInput().GetText(), CodeInput().GetText()});
  if (!tooLong) return false;
  ShowMessageBox(TooLongMessage(tooLong, action), kInfoFlags, kTipTitle, OwnerWindow());
  return true;
}

// Fills the list row `row` from the four input texts after checking that
// none of the required ones is blank.
void ValidateAndFill(int row, const Text& keywords, const Text& reply, const Text& rule,
                     const Text& code) {
  const char* missing = TrimSpaces(keywords).empty() ? "请输入关键词"
                        : TrimSpaces(reply).empty()  ? "请输入回复语"
                        : TrimSpaces(code).empty()   ? "请输入匹配码"
                                                     : nullptr;
  if (missing) {
    ShowMessageBox(missing, kInfoFlags, kTipTitle, OwnerWindow());
    return;
  }
  const ui::Control list = List();
  list.SetCellText(row, 0, keywords);
  list.SetCellText(row, 1, reply);
  list.SetCellText(row, 2, rule);
  list.SetCellText(row, 3, code);
}

void FillFromInputs(int row) {
  ValidateAndFill(row, Keywords().GetText(), ReplyInput().GetText(), RuleInput().GetText(),
                  CodeInput().GetText());
}

}  // namespace

std::vector<RuleRow> RulesListRows() {
  const ui::Control list = List();
  const int count = list.RowCount();
  std::vector<RuleRow> rows;
  rows.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (int r = 0; r < count; ++r) {
    rows.push_back({list.GetCellText(r, 0), list.GetCellText(r, 1), list.GetCellText(r, 2),
                    list.GetCellText(r, 3)});
  }
  return rows;
}

Bytes DefaultSettingsFile() {
  const Text content = Text("[Reply]\r\nDefault=") + kBuiltInDefaultReply +
                       "\r\n[Wait]\r\nsecond=" + kBuiltInWaitSeconds + "\r\n";
  return Bytes(content.begin(), content.end());
}

bool SettingsTasksPending() { return Turns().Pending(); }

bool FinishSettingsTasks() {
  static bool waiting = false;  // main thread only
  if (waiting) return false;
  if (!SettingsTasksPending()) return true;
  waiting = true;
  if (ui::IsWindowOpen(ui::WindowId::Main)) MainStatus().SetPartText(1, kSavingBeforeExitStatus);
  // The tasks reach the windows through the main thread, so it keeps
  // handling messages while it waits.
  while (SettingsTasksPending()) Delay(kPumpIntervalMs);
  waiting = false;
  return true;
}

void BindSettingsWindowHandlers() {
  SetRuntimeErrorReporter(&ui::RaiseRuntimeError);
  ui::BindHandler("StartLoadSettings", std::function<void()>(StartLoadSettings));
  ui::BindHandler("SettingsDestroying", std::function<void()>(SettingsDestroying));
  ui::BindHandler("InsertSeparator", std::function<void()>(InsertSeparator));
  ui::BindHandler("ClampWaitTime", std::function<void()>(ClampWaitTime));
  ui::BindHandler("ShowSelectedRule", std::function<void()>(ShowSelectedRule));
  ui::BindHandler("AddRule", std::function<void()>(AddRule));
  ui::BindHandler("ModifyRule", std::function<void()>(ModifyRule));
  ui::BindHandler("DeleteRule", std::function<void()>(DeleteRule));
  ui::BindHandler("StartSaveSettings", std::function<void()>(StartSaveSettings));
  ui::BindHandler("ImportRules", std::function<void()>(ImportRules));
  ui::BindHandler("ExportRules", std::function<void()>(ExportRules));
  ui::BindHandler("TestCustomerMessage", std::function<void()>(TestCustomerMessage));
  ui::BindHandler("CheckListedRules", std::function<void()>(CheckListedRules));
}

void StartLoadSettings() {
  WindowRecord& window = Window();
  window.openInstance = ++window.lastInstance;
  if (window.openInstance == 0) window.openInstance = ++window.lastInstance;
  // Nothing has been chosen in the new window's list yet.
  window.selectedRow = 0;
  ShowLoading(true);
  StartTask(LoadSettings);
}

void SettingsDestroying() {
  Window().openInstance = 0;
  if (ui::IsWindowOpen(ui::WindowId::Main)) {
    ui::Control(ui::WindowId::Main, "状态条1").SetPartText(1, kLoadingSettingsStatus);
  }
}

void InsertSeparator() {
  Keywords().AppendText(kSeparator);
  Keywords().Focus();
}

void ClampWaitTime() {
  const ui::Control wait = WaitInput();
  if (ToInteger(wait.GetText()) < kShortestWaitSeconds) wait.SetText(ToText(kShortestWaitSeconds));
}

void ShowSelectedRule() {
  const ui::Control list = List();
  const int row = list.CurrentRow();
  Window().selectedRow = row;
  Keywords().SetText(list.GetCellText(row, 0));
  ReplyInput().SetText(list.GetCellText(row, 1));
  CodeInput().SetText(list.GetCellText(row, 3));
  RuleInput().SetCurrentIndex(MatchRuleItem(list.GetCellText(row, 2)));
}

void AddRule() {
  if (RefuseTooLongInput("添加")) return;
  FillFromInputs(List().InsertRow());
}

void ModifyRule() {
  if (RefuseTooLongInput("修改")) return;
  FillFromInputs(Window().selectedRow);
}

void DeleteRule() {
  if (ShowMessageBox("确定要删除吗？", kInfoFlags | kMbOkCancel, "删除", OwnerWindow()) !=
      kAnswerOk)
    return;
  const int row = Window().selectedRow;
  const ui::Control list = List();
  list.DeleteRow(row);
  list.SetCurrentRow(row <= 0 ? 0 : row - 1);
}

// The window is read here, on the main thread, so the save writes exactly
// what the user saw when pressing 按钮_保存, even if the window closes or the
// save waits behind an earlier one.
void StartSaveSettings() { StartTask(SaveSettings, ReadSaveInput()); }

}  // namespace quillane

#include "app/startup.h"

#include <ctime>
#include <mutex>
#include <string>

#include "app/main_window.h"
#include "app/stored_settings.h"
#include "rules/reply_rules.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "rules/rule_table_start.h"
#include "services/events.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/process.h"
#include "table/crypto.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

// The rule table exists but cannot serve: keep it, under a new name, with its
// companion file if it has one. False (the user told) when it could not be
// moved.
bool SetAsideUnusableRuleTable(const Text& directory, const Text& reason) {
  const Text asideName = SetRuleTableAside(directory, TimeStampNow());
  if (asideName.empty()) {
    ShowMessageBox("规则表 Database.edb 无法打开（" + reason +
                       "），也无法移到一旁，文件未做任何改动。\r\n\r\n"
                       "请关闭正在使用该文件的程序后重新启动本程序。",
                   kMbIconError, "启动失败");
    return false;
  }
  ShowMessageBox("规则表 Database.edb 无法打开（" + reason + "）。\r\n\r\n原文件已原样保留为 " +
                     asideName +
                     "，本次以空规则表启动。\r\n如需找回规则，请关闭本程序，用备份的 "
                     "Database.edb 替换后重新启动。",
                 kMbIconWarning, "启动");
  return true;
}

// Writes the stored empty rule table and opens it. False (the user told)
// when it cannot be written.
bool CreateEmptyRuleTableOrSay(const Text& directory) {
  if (CreateEmptyRuleTable(directory)) return true;
  ShowMessageBox("缺少必要文件：Database.edb", kMbIconError, "启动失败");
  return false;
}

// The rule table's record count does not fit its length. Its bytes are kept
// beside it first; then the whole records it holds serve, read without
// changing the file. False (the user told) when no copy could be kept.
bool UseDamagedRuleTableOrSay(const Text& directory) {
  const DamagedTableUse use = UseDamagedRuleTable(directory, TimeStampNow());
  if (!use.copied) {
    ShowMessageBox(
        Text("规则表 Database.edb 已损坏（") + DamagedTableText() +
            "），且无法在旁边保留它的副本（" + use.reason +
            "），文件未做任何改动。\r\n\r\n请先备份该文件或腾出磁盘空间，然后重新启动本程序。",
        kMbIconError, "启动失败");
    return false;
  }
  if (!use.opened) {
    ShowMessageBox(Text("规则表 Database.edb 已损坏，无法打开（") + use.reason +
                       "）。\r\n\r\n原文件已原样保留为 " + use.copyName +
                       "，Database.edb 未做任何改动。",
                   kMbIconError, "启动失败");
    return false;
  }
  const Text count = std::to_string(RuleCount());
  ShowMessageBox("规则表 Database.edb 已损坏：文件比它记录的规则数短，只读出了 " + count +
                     " 条完整的规则。\r\n\r\n原文件已原样保留为 " + use.copyName +
                     "，Database.edb 未做任何改动。\r\n本次按读出的 " + count +
                     " 条规则回复客户；在设置窗口中保存后，Database.edb 将只含这些规则。",
                 kMbIconWarning, "启动");
  return true;
}

std::mutex& StoreDirectoryMutex() {
  static std::mutex m;
  return m;
}

Text& StoreDirectoryRecord() {
  static Text directory;
  return directory;
}

}  // namespace

Text InstanceMutexName(std::u16string folder) {
  for (char16_t& c : folder) {
    if (c == u'/') c = u'\\';
    // Letter case as the file system ignores it; the caller may fold with the
    // system's own table first.
    const bool lower = (c >= u'a' && c <= u'z') || (c >= 0xFF41 && c <= 0xFF5A) ||
                       (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
                       (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F);
    if (lower) c = static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) c = static_cast<char16_t>(c - 0x50);
  }
  while (folder.size() > 1 && folder.back() == u'\\') folder.pop_back();
  std::string bytes;
  for (const char16_t c : folder) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return "Local\\Quillane-" + table::Md5Hex(bytes);
}

Text StoreDirectory() {
  std::lock_guard guard(StoreDirectoryMutex());
  return StoreDirectoryRecord();
}

bool OpenRuleStore(const Text& directory) {
  {
    std::lock_guard guard(StoreDirectoryMutex());
    StoreDirectoryRecord() = directory;
  }
  std::lock_guard guard(TableEngineLock());
  TidyRuleStoreLeftOvers(directory);
  const RuleTableOpening opening = OpenRuleTableAtStart(directory);
  switch (opening.found) {
    case RuleTableFound::Opened:
      break;
    case RuleTableFound::ReadOnly:
      ShowMessageBox("规则表 Database.edb 是只读文件，文件未做任何改动。\r\n\r\n本次按其中的 " +
                         std::to_string(RuleCount()) +
                         " 条规则回复客户，但在设置窗口中保存会失败。\r\n"
                         "如需修改规则，请关闭本程序，去掉该文件的只读属性后重新启动。",
                     kMbIconWarning, "启动");
      break;
    case RuleTableFound::Missing:
      if (!CreateEmptyRuleTableOrSay(directory)) return false;
      break;
    case RuleTableFound::NotARuleTable:
    case RuleTableFound::Unreadable: {
      const Text reason =
          opening.found == RuleTableFound::NotARuleTable ? Text("不是规则表") : opening.reason;
      if (!SetAsideUnusableRuleTable(directory, reason) || !CreateEmptyRuleTableOrSay(directory)) {
        return false;
      }
      break;
    }
    case RuleTableFound::Damaged:
      if (!UseDamagedRuleTableOrSay(directory)) return false;
      break;
    case RuleTableFound::Held:
    case RuleTableFound::Unreachable: {
      // The file stays as it is and Quillane does not run without its rules.
      const bool held = opening.found == RuleTableFound::Held;
      ShowMessageBox("规则表 Database.edb " + Text(held ? "正被其他程序占用" : "无法打开") + "（" +
                         opening.reason + "），文件未做任何改动。\r\n\r\n" +
                         (held ? "请关闭正在使用该文件的程序后重新启动本程序。"
                               : "请检查该文件和它所在文件夹的权限后重新启动本程序。"),
                     kMbIconError, "启动失败");
      return false;
    }
  }
  MakeRuleTableCurrent();
  return true;
}

void ShowSortedCopyProblem() {
  const Text problem = SortedCopyProblem();
  if (!problem.empty() && ui::IsWindowOpen(ui::WindowId::Main))
    ui::Control(ui::WindowId::Main, "状态条1").SetPartText(1, problem);
}

namespace {
void LoadRulesInBackground(std::int32_t) {
  if (LoadReplyRulesAtStart(StoreDirectory()) != RuleStoreResult::Ok) ShowSortedCopyProblem();
}
}  // namespace

bool StartUp() {
  const Text directory = RunDirectory();
  if (!OpenRuleStore(directory)) return false;
  bool noRules = false;
  {
    std::lock_guard guard(TableEngineLock());
    noRules = RuleCount() == 0;
  }
  // The rules load and the sorted copy is rebuilt while the main window
  // comes up; however many rules there are, the window does not wait.
  if (!StartThread(LoadRulesInBackground)) LoadRulesInBackground(0);
  ReadStoredSettings(directory);
  if (!ui::LoadWindow(ui::WindowId::Main)) return false;
  ShowNoRulesHint(noRules);
  // A rebuild that failed before the window was there: replies then come
  // from the rule table, and staff are told why.
  ShowSortedCopyProblem();
  return true;
}

}  // namespace quillane

#include "app/startup.h"

#include <ctime>
#include <mutex>
#include <string>

#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/files.h"
#include "services/message_box.h"
#include "table/crypto.h"
#include "table/engine.h"
#include "table/file_io.h"
#include "table/format.h"
#include "ui/runtime.h"
#include "rules/rule_schema.h"

namespace quillane {

namespace {

Text TimeStamp() {
  const std::tm local = LocalTimeNow();
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
  return buf;
}

// The rule table exists but cannot serve: keep it, under a new name, with its
// companion file if it has one. False when it could not be moved.
bool SetAsideUnusableRuleTable(const Text& directory, const Text& reason) {
  const Text file = directory + kRuleTableFile;
  const Text asideName = "Database-unreadable-" + TimeStamp() + ".edb";
  const Text aside = directory + "\\" + asideName;
  if (!MoveFileTo(file, aside, false)) {
    ShowMessageBox("规则表 Database.edb 无法打开（" + reason +
                       "），也无法移到一旁，文件未做任何改动。\r\n\r\n"
                       "请关闭正在使用该文件的程序后重新启动本程序。",
                   kMbIconError, "启动失败");
    return false;
  }
  const Text companion = table::CompanionPath(file);
  if (PathFileExists(companion)) MoveFileTo(companion, table::CompanionPath(aside), false);
  ShowMessageBox("规则表 Database.edb 无法打开（" + reason + "）。\r\n\r\n原文件已原样保留为 " +
                     asideName +
                     "，本次以空规则表启动。\r\n如需找回规则，请关闭本程序，用备份的 "
                     "Database.edb 替换后重新启动。",
                 kMbIconWarning, "启动");
  return true;
}

// What a failed open of an existing rule table says about the file itself:
// its content is not a rule table Quillane can read (as opposed to a file it
// may not or cannot reach now).
bool IsUnreadableContent(int code) {
  switch (code) {
    case table::kNotATable:
    case table::kVersionTooHigh:
    case table::kBadPassword:
    case table::kCompanionReadFailed:
    case table::kCompanionVersion:
    case table::kCompanionDamaged:
      return true;
    default:
      return false;
  }
}

bool IsHeldElsewhere(int code) {
  return code == table::kSharingViolation || code == table::kLockViolation ||
         code == table::kLockFailed;
}

// Writes the stored empty rule table and opens it. False (the user told)
// when it cannot be written.
bool CreateEmptyRuleTable(const Text& directory) {
  if (!WriteBytesToFile(directory + kRuleTableFile, MakeEmptyRuleTable())) {
    ShowMessageBox("缺少必要文件：Database.edb", kMbIconError, "启动失败");
    return false;
  }
  OpenRuleTable(directory);
  return true;
}

// What earlier runs left behind: a save cut off between putting the old rule
// table aside and the new one in its place gets the old rules back; unfinished
// new tables and replaced ones are removed.
void TidyLeftOvers(const Text& directory) {
  const Text file = directory + kRuleTableFile;
  const Text replaced = table::ReplacedTablePath(file);
  if (!PathFileExists(file) && PathFileExists(replaced)) MoveFileTo(replaced, file, false);
  for (const Text& leftOver :
       {directory + kRuleTableSavingFile, replaced, directory + kSortedCopySavingFile,
        table::ReplacedTablePath(directory + kSortedCopyFile)}) {
    if (PathFileExists(leftOver)) RemoveFile(leftOver);
  }
}

// The rule table's record count does not fit its length. Its bytes are kept
// beside it first; then the whole records it holds serve, read without
// changing the file. False (the user told) when no copy could be kept.
bool UseDamagedRuleTable(const Text& directory) {
  Text copyName = "Database-damaged-" + TimeStamp();
  for (int n = 2; PathFileExists(directory + "\\" + copyName + ".edb") && n < 100; ++n) {
    copyName = "Database-damaged-" + TimeStamp() + "-" + std::to_string(n);
  }
  copyName += ".edb";
  if (!table::CopyTableFile(directory + kRuleTableFile, directory + "\\" + copyName)) {
    ShowMessageBox(
        Text("规则表 Database.edb 已损坏（") + table::ErrorText(table::kFileSizeWrong) +
            "），且无法在旁边保留它的副本（" + table::LastErrorText() +
            "），文件未做任何改动。\r\n\r\n请先备份该文件或腾出磁盘空间，然后重新启动本程序。",
        kMbIconError, "启动失败");
    return false;
  }
  if (!OpenRuleTable(directory)) {
    ShowMessageBox(Text("规则表 Database.edb 已损坏，无法打开（") + table::LastErrorText() +
                       "）。\r\n\r\n原文件已原样保留为 " + copyName +
                       "，Database.edb 未做任何改动。",
                   kMbIconError, "启动失败");
    return false;
  }
  table::SelectTable(kRuleTableAlias);
  const Text count = std::to_string(table::RecordCount());
  ShowMessageBox("规则表 Database.edb 已损坏：文件比它记录的规则数短，只读出了 " + count +
                     " 条完整的规则。\r\n\r\n原文件已原样保留为 " + copyName +
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
  TidyLeftOvers(directory);
  const Text file = directory + kRuleTableFile;
  bool readOnly = false;
  if (table::ProbeFile(file, &readOnly) == table::kFileNotFound) {
    if (!CreateEmptyRuleTable(directory)) return false;
  } else {
    // Opened for reading only: opening never changes the rules on disk.
    table::OpenOptions options;
    options.readOnly = true;
    if (table::OpenTable(file, kRuleTableAlias, kRulePassword, options)) {
      if (!HasRuleLayout(kRuleTableAlias)) {
        table::CloseTable(kRuleTableAlias);
        if (!SetAsideUnusableRuleTable(directory, "不是规则表") || !CreateEmptyRuleTable(directory))
          return false;
      } else if (readOnly) {
        table::SelectTable(kRuleTableAlias);
        ShowMessageBox("规则表 Database.edb 是只读文件，文件未做任何改动。\r\n\r\n本次按其中的 " +
                           std::to_string(table::RecordCount()) +
                           " 条规则回复客户，但在设置窗口中保存会失败。\r\n"
                           "如需修改规则，请关闭本程序，去掉该文件的只读属性后重新启动。",
                       kMbIconWarning, "启动");
      }
    } else {
      const int code = table::LastError();
      const Text reason = table::LastErrorText();
      if (code == table::kFileSizeWrong) {
        if (!UseDamagedRuleTable(directory)) return false;
      } else if (IsUnreadableContent(code)) {
        if (!SetAsideUnusableRuleTable(directory, reason) || !CreateEmptyRuleTable(directory))
          return false;
      } else if (code == table::kFileNotFound) {
        if (!CreateEmptyRuleTable(directory)) return false;
      } else {
        // Read-protected, held by another program, a disk error: the file
        // stays as it is and Quillane does not run without its rules.
        ShowMessageBox(
            "规则表 Database.edb " + Text(IsHeldElsewhere(code) ? "正被其他程序占用" : "无法打开") +
                "（" + reason + "），文件未做任何改动。\r\n\r\n" +
                (IsHeldElsewhere(code) ? "请关闭正在使用该文件的程序后重新启动本程序。"
                                       : "请检查该文件和它所在文件夹的权限后重新启动本程序。"),
            kMbIconError, "启动失败");
        return false;
      }
    }
  }
  table::SelectTable(kRuleTableAlias);
  RebuildSortedCopy(directory, false);
  return true;
}

bool StartUp() {
  const Text directory = RunDirectory();
  if (!OpenRuleStore(directory)) return false;
  ReadStoredSettings(directory);
  if (!ui::LoadWindow(ui::WindowId::Main)) return false;
  // Replies then come from the rule table; staff are told why.
  if (const Text problem = SortedCopyProblem(); !problem.empty()) {
    ui::Control(ui::WindowId::Main, "状态条1").SetPartText(1, problem);
  }
  return true;
}

}  // namespace quillane

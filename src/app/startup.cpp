#include "app/startup.h"

#include <ctime>
#include <mutex>

#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/files.h"
#include "services/message_box.h"
#include "table/engine.h"
#include "table/format.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

// True when the open rule table has the four rule fields in their order.
bool HasRuleLayout() {
  const std::vector<table::FieldInfo> fields = table::TableFields(kRuleTableAlias);
  const auto text = static_cast<std::int32_t>(table::FieldType::kText);
  const auto integer = static_cast<std::int32_t>(table::FieldType::kInt);
  return fields.size() == 4 && fields[0].name == "关键词" && fields[0].type == text &&
         fields[1].name == "回复语" && fields[1].type == text && fields[2].name == "匹配规则" &&
         fields[2].type == text && fields[3].name == "匹配码" && fields[3].type == integer;
}

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

std::mutex& StoreDirectoryMutex() {
  static std::mutex m;
  return m;
}

Text& StoreDirectoryRecord() {
  static Text directory;
  return directory;
}

}  // namespace

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
  const Text file = directory + kRuleTableFile;
  bool open = table::OpenTable(file, kRuleTableAlias, table::kRulePassword);
  if (open && !HasRuleLayout()) {
    table::CloseTable(kRuleTableAlias);
    if (!SetAsideUnusableRuleTable(directory, "不是规则表")) return false;
    open = false;
  } else if (!open && PathFileExists(file)) {
    if (!SetAsideUnusableRuleTable(directory, table::LastErrorText())) return false;
  }
  if (!open) {
    if (!WriteBytesToFile(file, table::MakeEmptyRuleTable())) {
      ShowMessageBox("缺少必要文件：Database.edb", kMbIconError, "启动失败");
      return false;
    }
    table::OpenTable(file, kRuleTableAlias, table::kRulePassword);
  }
  table::SelectTable(kRuleTableAlias);
  RebuildSortedCopy(directory, false);
  return true;
}

bool StartUp() {
  const Text directory = RunDirectory();
  if (!OpenRuleStore(directory)) return false;
  ReadStoredSettings(directory);
  return ui::LoadWindow(ui::WindowId::Main);
}

}  // namespace quillane

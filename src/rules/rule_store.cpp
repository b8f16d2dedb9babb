#include "rules/rule_store.h"

#include <atomic>

#include "services/events.h"
#include "services/files.h"
#include "services/values.h"
#include "table/engine.h"
#include "table/format.h"
#include "ui/runtime.h"

namespace quillane {

namespace {

std::atomic<std::uint64_t> sortedCopyGeneration{0};

// The first run-time error met while reading fields. It is reported only
// after the table lock has been released: the report waits for the main
// thread, which may itself be waiting for the lock.
struct ReadError {
  Text message;
  bool hasCode = false;
  int code = 0;
  void Raise() const {
    if (!message.empty()) ui::RaiseRuntimeError(message, hasCode, code);
  }
};

// The value of a field of the current record of `alias` as text: a text
// field as it is, an integer field as decimal (when `integer`).
Text ReadFieldText(int position, const Text& alias, bool integer, ReadError& error) {
  const table::FieldValue field = table::ReadField(position, alias);
  if (field.IsRuntimeError()) {
    if (error.message.empty()) error.message = field.runtimeError;
    return {};
  }
  if (const Text* text = std::get_if<Text>(&field.value); text && !integer) return *text;
  if (const auto* code = std::get_if<std::int32_t>(&field.value); code && integer) return ToText(*code);
  if (error.message.empty()) error = {Text(ui::kErrTypeMismatch), true, 5};
  return {};
}

constexpr char kSavingAlias[] = "新数据库";

// The rule table is selected; when it is not open (a save could not reopen
// it), it is opened again first.
bool SelectRuleTable(const Text& directory) {
  if (table::SelectTable(kRuleTableAlias)) return true;
  return table::OpenTable(directory + kRuleTableFile, kRuleTableAlias, table::kRulePassword) &&
         table::SelectTable(kRuleTableAlias);
}

// An empty table file with the fields of the open table `alias`, protected
// with the rule password; empty bytes when the table has no fields.
Bytes EmptyTableLike(const Text& alias) {
  std::vector<table::FieldDescriptor> fields;
  for (const table::FieldInfo& info : table::TableFields(alias)) {
    table::FieldDescriptor field;
    field.name = info.name;
    field.type = info.type;
    field.width = info.width;
    fields.push_back(field);
  }
  if (fields.empty()) return {};
  return table::BuildTableFile(fields, table::kRulePassword, table::NowAsDateTime());
}

// Writes the rows into the new, empty table `file` and flushes it to the disk.
RuleStoreResult FillSavingTable(const Text& file, const std::vector<RuleRow>& rows) {
  if (!table::OpenTable(file, kSavingAlias, table::kRulePassword)) return RuleStoreResult::Clear;
  RuleStoreResult result = RuleStoreResult::Ok;
  for (const RuleRow& row : rows) {
    if (!table::AppendRecord()) {
      result = RuleStoreResult::Append;
      break;
    }
    if (!table::WriteField(1, kSavingAlias, row.keywords) || !table::WriteField(2, kSavingAlias, row.reply) ||
        !table::WriteField(3, kSavingAlias, row.matchRule) ||
        !table::WriteField(4, kSavingAlias, ToInteger(row.matchCode))) {
      result = RuleStoreResult::Write;
      break;
    }
  }
  if (result == RuleStoreResult::Ok && !table::FlushTable(kSavingAlias)) result = RuleStoreResult::Write;
  table::CloseTable(kSavingAlias);
  return result;
}

}  // namespace

std::recursive_mutex& TableEngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::vector<RuleRow> ReadRules(const Text& alias) {
  std::vector<RuleRow> rows;
  ReadError error;
  {
    std::lock_guard guard(TableEngineLock());
    table::SelectTable(alias);
    const std::int32_t n = table::RecordCount();
    for (std::int32_t i = 1; i <= n && error.message.empty(); ++i) {
      table::GoToRecord(i);
      RuleRow row;
      row.keywords = ReadFieldText(1, alias, false, error);
      row.reply = ReadFieldText(2, alias, false, error);
      row.matchRule = ReadFieldText(3, alias, false, error);
      row.matchCode = ReadFieldText(4, alias, true, error);
      rows.push_back(std::move(row));
    }
  }
  error.Raise();
  return rows;
}

RuleStoreResult ReplaceRules(const Text& directory, const std::vector<RuleRow>& rows) {
  std::lock_guard guard(TableEngineLock());
  if (!SelectRuleTable(directory)) return RuleStoreResult::Select;
  const Text saving = directory + kRuleTableSavingFile;
  const Bytes empty = EmptyTableLike(kRuleTableAlias);
  RuleStoreResult result = RuleStoreResult::Clear;
  if (!empty.empty() && table::WriteNewTableFile(saving, empty)) result = FillSavingTable(saving, rows);
  if (result == RuleStoreResult::Ok) {
    // The engine holds the rule table open; it must let go before the new
    // file can take its name.
    table::CloseTable(kRuleTableAlias);
    if (!MoveFileTo(saving, directory + kRuleTableFile, true)) result = RuleStoreResult::Write;
  }
  if (result != RuleStoreResult::Ok) RemoveFile(saving);
  // Whichever table now lies in place, old or new, is the open rule table again.
  if (!SelectRuleTable(directory) && result == RuleStoreResult::Ok) result = RuleStoreResult::Write;
  return result;
}

RuleStoreResult RebuildSortedCopy(const Text& directory, bool reopen) {
  std::lock_guard guard(TableEngineLock());
  ++sortedCopyGeneration;
  if (reopen) {
    table::CloseTable(kSortedCopyAlias);
    Delay(100);
    table::SelectTable(kRuleTableAlias);
  }
  const Text path = directory + kSortedCopyFile;
  if (!table::SortTable(path, "匹配码", false)) return RuleStoreResult::Sort;
  if (!table::OpenTable(path, kSortedCopyAlias, table::kRulePassword)) return RuleStoreResult::Open;
  table::SelectTable(kSortedCopyAlias);
  return RuleStoreResult::Ok;
}

std::uint64_t SortedCopyGeneration() { return sortedCopyGeneration.load(); }

}  // namespace quillane

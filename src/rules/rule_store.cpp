#include "rules/rule_store.h"

#include <atomic>

#include "services/events.h"
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

RuleStoreResult ReplaceRules(const std::vector<RuleRow>& rows) {
  std::lock_guard guard(TableEngineLock());
  const Text alias = kRuleTableAlias;
  if (!table::SelectTable(alias)) return RuleStoreResult::Select;
  if (!table::ClearTable()) return RuleStoreResult::Clear;
  for (const RuleRow& row : rows) {
    if (!table::AppendRecord()) return RuleStoreResult::Append;
    if (!table::WriteField(1, alias, row.keywords) || !table::WriteField(2, alias, row.reply) ||
        !table::WriteField(3, alias, row.matchRule) ||
        !table::WriteField(4, alias, ToInteger(row.matchCode))) {
      return RuleStoreResult::Write;
    }
  }
  return RuleStoreResult::Ok;
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

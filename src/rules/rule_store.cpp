#include "rules/rule_store.h"

#include <array>
#include <atomic>
#include <numeric>

#include "rules/rule_schema.h"
#include "services/events.h"
#include "services/files.h"
#include "services/runtime_error.h"
#include "services/values.h"
#include "table/engine.h"
#include "table/errors.h"
#include "table/file_io.h"
#include "table/format.h"
#include "table/sort.h"

namespace quillane {

namespace {

std::atomic<std::uint64_t> sortedCopyGeneration{0};

std::mutex& ProblemMutex() {
  static std::mutex m;
  return m;
}
Text& SortedCopyProblemText() {
  static Text text;
  return text;
}
void SetSortedCopyProblem(const Text& text) {
  std::lock_guard guard(ProblemMutex());
  SortedCopyProblemText() = text;
}

// The first run-time error met while reading fields. It is reported only
// after the table lock has been released: the report waits for the main
// thread, which may itself be waiting for the lock.
struct ReadError {
  Text message;
  bool hasCode = false;
  int code = 0;
  void Raise() const {
    if (!message.empty()) ReportRuntimeError(message, hasCode, code);
  }
};

// A field's value as text: a text field as it is, an integer field as
// decimal (when `integer`); any other value is a type mismatch.
Text FieldText(const Value& value, bool integer, ReadError& error) {
  if (const Text* text = std::get_if<Text>(&value); text && !integer) return *text;
  if (const auto* code = std::get_if<std::int32_t>(&value); code && integer) return ToText(*code);
  if (error.message.empty()) error = {Text(kErrTypeMismatch), true, 5};
  return {};
}

constexpr char kSavingAlias[] = "新数据库";
constexpr std::int32_t kReopenPauseMs = 100;

// The rule table is selected; when it is not open (a save could not reopen
// it), it is opened again first.
bool SelectRuleTable(const Text& directory) {
  if (table::SelectTable(kRuleTableAlias)) return true;
  return OpenRuleTable(directory) && table::SelectTable(kRuleTableAlias);
}

// The widths of the three text fields of the open rule table, or of the
// stored empty rule table when none with the rule layout is open.
std::array<std::int32_t, 3> TextWidths() {
  std::array<std::int32_t, 3> widths = {kRuleKeywordWidth, kRuleReplyWidth, kRuleMatchWidth};
  const std::vector<table::FieldInfo> fields = table::TableFields(kRuleTableAlias);
  if (fields.size() == 4) {
    for (std::size_t k = 0; k < 3; ++k) {
      if (fields[k].type == static_cast<std::int32_t>(table::FieldType::kText))
        widths[k] = fields[k].width;
    }
  }
  return widths;
}

TooLongText CheckWidths(const RuleRow& row, const std::array<std::int32_t, 3>& widths) {
  const Text* texts[] = {&row.keywords, &row.reply, &row.matchRule};
  const char* names[] = {"关键词", "回复语", "匹配规则"};
  for (std::size_t k = 0; k < 3; ++k) {
    if (texts[k]->size() > static_cast<std::size_t>(widths[k]))
      return {names[k], widths[k], texts[k]->size()};
  }
  return {};
}

// An empty table file with the fields of the open table `alias`, protected
// with the rule password; the stored empty rule table when `alias` is empty;
// empty bytes when the table has no fields.
Bytes EmptyTableLike(const Text& alias) {
  if (alias.empty()) return MakeEmptyRuleTable();
  std::vector<table::FieldDescriptor> fields;
  for (const table::FieldInfo& info : table::TableFields(alias)) {
    table::FieldDescriptor field;
    field.name = info.name;
    field.type = info.type;
    field.width = info.width;
    fields.push_back(field);
  }
  if (fields.empty()) return {};
  return table::BuildTableFile(fields, kRulePassword, table::NowAsDateTime());
}

// Writes the rows into the new, empty table `file` and flushes it to the disk.
// Nobody else has any business with the new file, so it is opened for this
// process alone: the engine then takes no lock per record.
// `failure` receives the engine's code of a failed step.
RuleStoreResult FillSavingTable(const Text& file, const std::vector<RuleRow>& rows, int& failure) {
  table::OpenOptions alone;
  alone.shareMode = 0;
  if (!table::OpenTable(file, kSavingAlias, kRulePassword, alone)) {
    failure = table::LastError();
    return RuleStoreResult::Clear;
  }
  RuleStoreResult result = RuleStoreResult::Ok;
  for (const RuleRow& row : rows) {
    if (!table::AppendRecord()) {
      result = RuleStoreResult::Append;
      break;
    }
    if (!table::WriteField(1, kSavingAlias, row.keywords) ||
        !table::WriteField(2, kSavingAlias, row.reply) ||
        !table::WriteField(3, kSavingAlias, row.matchRule) ||
        !table::WriteField(4, kSavingAlias, ToInteger(row.matchCode))) {
      result = RuleStoreResult::Write;
      break;
    }
  }
  if (result == RuleStoreResult::Ok && !table::FlushTable(kSavingAlias))
    result = RuleStoreResult::Write;
  if (result != RuleStoreResult::Ok) failure = table::LastError();
  table::CloseTable(kSavingAlias);
  return result;
}

}  // namespace

std::recursive_mutex& TableEngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

void MakeSortedCopyCurrent() { table::SelectTable(kSortedCopyAlias); }

Text StoreErrorText(int code) { return table::ErrorText(code); }

std::vector<RuleRow> ReadRules(const Text& alias, int* failure) {
  std::vector<RuleRow> rows;
  ReadError error;
  int failed = 0;
  {
    std::lock_guard guard(TableEngineLock());
    if (!table::SelectTable(alias)) {
      failed = table::LastError();
    } else {
      // All records in one pass under one lock; a rule table has four fields.
      const bool ruleFields = table::TableFields(alias).size() >= 4;
      const bool read = table::ReadRecords(alias, 1, -1, [&](const table::RecordView& record) {
        if (!ruleFields) {
          error.message = table::kNoFieldRuntimeError;
          return false;
        }
        RuleRow row;
        row.keywords = FieldText(record.Get(1), false, error);
        row.reply = FieldText(record.Get(2), false, error);
        row.matchRule = FieldText(record.Get(3), false, error);
        row.matchCode = FieldText(record.Get(4), true, error);
        rows.push_back(std::move(row));
        return error.message.empty();
      });
      if (!read) failed = table::LastError();
    }
  }
  if (failure) *failure = failed;
  error.Raise();
  return rows;
}

std::vector<std::uint32_t> SortedCopyOrder(const std::vector<RuleRow>& rows) {
  // The order the table sort gives on the match code, descending: ranks that
  // grow as the code falls.
  std::vector<std::uint32_t> rank;
  rank.reserve(rows.size());
  for (const RuleRow& row : rows) {
    rank.push_back(static_cast<std::uint32_t>(std::int64_t{INT32_MAX} - ToInteger(row.matchCode)));
  }
  std::vector<std::uint32_t> order(rows.size());
  std::iota(order.begin(), order.end(), 0u);
  table::QuickSortRanked(order, rank);
  return order;
}

std::vector<RuleRow> InSortedCopyOrder(std::vector<RuleRow> rows) {
  const std::vector<std::uint32_t> order = SortedCopyOrder(rows);
  std::vector<RuleRow> sorted;
  sorted.reserve(rows.size());
  for (std::uint32_t k : order) sorted.push_back(std::move(rows[k]));
  return sorted;
}

bool OpenRuleTable(const Text& directory) {
  table::OpenOptions options;
  options.readOnly = true;
  options.acceptShort = true;
  std::lock_guard guard(TableEngineLock());
  return table::OpenTable(directory + kRuleTableFile, kRuleTableAlias, kRulePassword, options);
}

std::array<std::int32_t, 3> RuleTextWidths() {
  std::lock_guard guard(TableEngineLock());
  return TextWidths();
}

TooLongText FindTooLongText(const RuleRow& row) {
  std::lock_guard guard(TableEngineLock());
  return CheckWidths(row, TextWidths());
}

RuleStoreResult WriteRuleTableFile(const Text& file, const std::vector<RuleRow>& rows,
                                   const Text& likeAlias, int* failure) {
  std::lock_guard guard(TableEngineLock());
  const Bytes empty = EmptyTableLike(likeAlias);
  RuleStoreResult result = RuleStoreResult::Clear;
  int code = table::kNoSuchField;  // a `likeAlias` without fields
  if (!empty.empty()) {
    if (table::WriteNewTableFile(file, empty))
      result = FillSavingTable(file, rows, code);
    else
      code = table::LastError();
  }
  if (result != RuleStoreResult::Ok) table::RemoveFile(file);
  if (failure) *failure = result == RuleStoreResult::Ok ? 0 : code;
  return result;
}

RuleStoreResult ReplaceRules(const Text& directory, const std::vector<RuleRow>& rows,
                             std::pair<std::size_t, TooLongText>* tooLong) {
  std::lock_guard guard(TableEngineLock());
  if (!SelectRuleTable(directory)) return RuleStoreResult::Select;
  // Every text is stored whole or the save is refused before anything is written.
  const std::array<std::int32_t, 3> widths = TextWidths();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (TooLongText t = CheckWidths(rows[k], widths)) {
      if (tooLong) *tooLong = {k, std::move(t)};
      return RuleStoreResult::TooLong;
    }
  }
  const Text saving = directory + kRuleTableSavingFile;
  RuleStoreResult result = WriteRuleTableFile(saving, rows, kRuleTableAlias);
  if (result == RuleStoreResult::Ok) {
    // The engine holds the rule table open; it must let go before the new
    // file can take its name.
    table::CloseTable(kRuleTableAlias);
    if (!table::ReplaceTableFile(saving, directory + kRuleTableFile))
      result = RuleStoreResult::Write;
  }
  if (result != RuleStoreResult::Ok) RemoveFile(saving);
  // Whichever table now lies in place, old or new, is the open rule table again.
  if (!SelectRuleTable(directory) && result == RuleStoreResult::Ok) result = RuleStoreResult::Write;
  return result;
}

RuleStoreResult RebuildSortedCopy(const Text& directory, bool reopen) {
  std::lock_guard guard(TableEngineLock());
  ++sortedCopyGeneration;
  auto failed = [](RuleStoreResult result, int code) {
    SetSortedCopyProblem(Text("排序文件 Sorting.edb 未能重建（") + table::ErrorText(code) +
                         "），仍按规则表回复客户");
    return result;
  };
  if (reopen) {
    table::CloseTable(kSortedCopyAlias);
    // Lets a reader that opened the sorted copy just before finish with it.
    Delay(kReopenPauseMs);
  } else if (IsSortedCopyOpen()) {
    return failed(RuleStoreResult::Sort, table::kAlreadyOpen);
  }
  table::SelectTable(kRuleTableAlias);
  const Text path = directory + kSortedCopyFile;
  const Text saving = directory + kSortedCopySavingFile;
  if (!table::SortTable(saving, "匹配码", false) || !table::ReplaceTableFile(saving, path)) {
    const int code = table::LastError();
    table::RemoveFile(saving);
    return failed(RuleStoreResult::Sort, code);
  }
  if (!table::OpenTable(path, kSortedCopyAlias, kRulePassword)) {
    return failed(RuleStoreResult::Open, table::LastError());
  }
  table::SelectTable(kSortedCopyAlias);
  SetSortedCopyProblem({});
  return RuleStoreResult::Ok;
}

bool IsSortedCopyOpen() {
  std::lock_guard guard(TableEngineLock());
  return !table::TableFields(kSortedCopyAlias).empty();
}

Text SortedCopyProblem() {
  std::lock_guard guard(ProblemMutex());
  return SortedCopyProblemText();
}

std::uint64_t SortedCopyGeneration() { return sortedCopyGeneration.load(); }

}  // namespace quillane

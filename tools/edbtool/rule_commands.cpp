#include "tools/edbtool/rule_commands.h"

#include <string>

#include "rules/rule_matcher.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/events.h"
#include "services/files.h"
#include "services/text.h"
#include "table/engine.h"
#include "table/file_io.h"

namespace quillane::edbtool {

namespace {

constexpr char kExportAlias[] = "导出规则表";
constexpr char kOldTableAlias[] = "旧规则表";

bool Chinese(MessageLanguage language) { return language == MessageLanguage::Chinese; }

// `table` less its extension, followed by `tail`.
Text Beside(const Text& table, const Text& tail) {
  Text stem = table;
  const std::size_t dot = stem.rfind('.');
  const std::size_t slash = stem.find_last_of("\\/");
  if (dot != Text::npos && (slash == Text::npos || dot > slash)) stem.resize(dot);
  return stem + tail;
}

// A free name for the old table: <name>-<date>-<time>.edb, with a number
// after it when an import in the same second took that name.
Text BackupPath(const Text& table) {
  const Text stamp = TimeStampNow();
  Text path = Beside(table, "-" + stamp + ".edb");
  for (int n = 2; PathFileExists(path) && n < 100; ++n)
    path = Beside(table, "-" + stamp + "-" + std::to_string(n) + ".edb");
  return path;
}

// The table being replaced, open as kOldTableAlias for reading only and
// shutting every other opening out: Quillane holding it makes the opening
// fail, and Quillane cannot start on it meanwhile.
struct OldTable {
  bool exists = false;
  std::array<std::int32_t, 3> widths = kNewRuleTableWidths;
};

std::optional<Outcome> OpenOldTable(const Text& table, MessageLanguage language, OldTable* old) {
  bool readOnly = false;
  if (table::ProbeFile(table, &readOnly) == table::kFileNotFound) return std::nullopt;
  table::OpenOptions alone;
  alone.readOnly = true;
  alone.shareMode = 0;
  alone.acceptShort = true;  // a damaged table is still replaced, and kept
  if (!table::OpenTable(table, kOldTableAlias, kRulePassword, alone)) {
    const int code = table::LastError();
    // Another program holds it (or, for kAlreadyOpen, this process does).
    if (code == table::kSharingViolation || code == table::kLockViolation ||
        code == table::kAlreadyOpen)
      return TableHeld(table, language);
    return EngineFailure(code, table, language);
  }
  old->exists = true;
  if (!HasRuleLayout(kOldTableAlias)) {
    table::CloseTable(kOldTableAlias);
    return NotARuleTable(table, language);
  }
  const std::vector<table::FieldInfo> fields = table::TableFields(kOldTableAlias);
  for (std::size_t k = 0; k < old->widths.size(); ++k) old->widths[k] = fields[k].width;
  return std::nullopt;
}

Outcome CsvRefused(const Text& csv, const RuleCsvRefusal& refusal, MessageLanguage language) {
  const Text where = RuleCsvMessage(refusal, language);
  if (Chinese(language))
    return {ExitCode::CsvRefused, {csv + " " + where, "没有导入任何规则，规则表没有改动。"}};
  return {ExitCode::CsvRefused,
          {csv + ", " + where, "nothing was imported; the table is unchanged."}};
}

Outcome Imported(const RuleCsvRead& read, const Text& backup, MessageLanguage language) {
  Outcome outcome;
  for (const RuleCsvNote& note : read.notes)
    outcome.lines.push_back(RuleCsvMessage(note, language));
  const Text count = ToText(static_cast<std::uint64_t>(read.rows.size()));
  outcome.lines.push_back(Chinese(language) ? "已导入 " + count + " 条规则"
                                            : "imported " + count + " rules");
  if (!backup.empty()) {
    outcome.lines.push_back(Chinese(language) ? "原来的规则表保留为 " + backup
                                              : "the old table is kept as " + backup);
  }
  return outcome;
}

// Puts the new table `saving` in the place of `table`, keeping an existing
// one as a backup first. Removes what it made when a step fails.
Outcome PutInPlace(const Text& saving, const Text& table, bool keepOld, Text* backup,
                   MessageLanguage language) {
  if (keepOld) {
    *backup = BackupPath(table);
    if (!table::CopyTableFile(table, *backup)) {
      const Outcome failed = EngineFailure(table::LastError(), *backup, language);
      table::RemoveFile(saving);
      return failed;
    }
  }
  if (!table::ReplaceTableFile(saving, table)) {
    const Outcome failed = EngineFailure(table::LastError(), table, language);
    table::RemoveFile(saving);
    if (keepOld) table::RemoveFile(*backup);
    return failed;
  }
  return {};
}

// Whether `table` names the sorted copy, whose records are already in the
// order the replies are tried.
bool IsSortedCopyFile(const Text& table) {
  const std::size_t slash = table.find_last_of("\\/");
  const Text name = slash == Text::npos ? table : table.substr(slash + 1);
  return ToUpper(name) == ToUpper(kSortedCopyFile + 1);
}

// One line of `edbtool answer`.
Text AnswerLine(const RuleMatcher& matcher, const Text& customer, MessageLanguage language) {
  const bool zh = Chinese(language);
  const Text text = zh ? "“" + customer + "”：" : "\"" + customer + "\": ";
  const RuleAnswer answer = matcher.Answer(customer);
  if (!answer.matched())
    return text +
           (zh ? "没有规则匹配，将发送默认回复" : "no rule matches; the default reply is sent");
  const MatchRule& rule = matcher.Rules()[static_cast<std::size_t>(answer.position)];
  const Text row = ToText(static_cast<std::int64_t>(answer.position) + 1);
  const Text which =
      zh ? "第 " + row + " 行，关键词“" + answer.keyword + "”（" + rule.matchRule + "），"
         : "row " + row + ", keyword \"" + answer.keyword + "\" (" + rule.matchRule + "), ";
  if (SendsDefaultReply(rule.reply))
    return text + which +
           (zh ? "回复语为空，将发送默认回复" : "the reply is blank, so the default reply is sent");
  return text + which + (zh ? "回复：" : "reply: ") + rule.reply;
}

}  // namespace

Outcome ExportRulesToCsv(const Text& table, const Text& csv, MessageLanguage language) {
  table::OpenOptions reading;
  reading.readOnly = true;
  reading.acceptShort = true;  // a damaged table gives the rules it holds whole
  if (!table::OpenTable(table, kExportAlias, kRulePassword, reading))
    return EngineFailure(table::LastError(), table, language);
  if (!HasRuleLayout(kExportAlias)) {
    table::CloseTable(kExportAlias);
    return NotARuleTable(table, language);
  }
  int failure = 0;
  const std::vector<RuleRow> rows = ReadRules(kExportAlias, &failure);
  table::CloseTable(kExportAlias);
  if (failure != 0) return EngineFailure(failure, table, language);
  if (const FileFailure f = WriteWholeFile(csv, WriteRuleCsv(rows)); f != FileFailure::None)
    return FileFailed(f, csv, language);
  const Text count = ToText(static_cast<std::uint64_t>(rows.size()));
  return {ExitCode::Ok,
          {Chinese(language) ? "已导出 " + count + " 条规则到 " + csv
                             : "exported " + count + " rules to " + csv}};
}

Outcome ImportRulesFromCsv(const Text& csv, const Text& table, MessageLanguage language) {
  Bytes bytes;
  if (const FileFailure f = ReadWholeFile(csv, &bytes); f != FileFailure::None)
    return FileFailed(f, csv, language);
  OldTable old;
  if (std::optional<Outcome> failed = OpenOldTable(table, language, &old)) return *failed;
  const RuleCsvRead read = ReadRuleCsv(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), old.widths);
  const Text saving = Beside(table, "-importing.edb");
  Outcome outcome;
  int failure = 0;
  if (!read.ok()) {
    outcome = CsvRefused(csv, *read.refusal, language);
  } else if (WriteRuleTableFile(saving, read.rows, old.exists ? kOldTableAlias : "", &failure) !=
             RuleStoreResult::Ok) {
    outcome = EngineFailure(failure, table, language);
  }
  // The old table is let go only now: the new one takes its place next.
  table::CloseTable(kOldTableAlias);
  if (!outcome.ok()) return outcome;
  Text backup;
  outcome = PutInPlace(saving, table, old.exists, &backup, language);
  return outcome.ok() ? Imported(read, backup, language) : outcome;
}

}  // namespace quillane::edbtool

namespace quillane::edbtool {

Outcome AnswerTexts(const Text& table, const std::vector<Text>& texts, MessageLanguage language) {
  table::OpenOptions reading;
  reading.readOnly = true;
  reading.acceptShort = true;  // a damaged table answers with the rules it holds whole
  if (!table::OpenTable(table, kExportAlias, kRulePassword, reading))
    return EngineFailure(table::LastError(), table, language);
  if (!HasRuleLayout(kExportAlias)) {
    table::CloseTable(kExportAlias);
    return NotARuleTable(table, language);
  }
  int failure = 0;
  std::vector<RuleRow> rows = ReadRules(kExportAlias, &failure);
  table::CloseTable(kExportAlias);
  if (failure != 0) return EngineFailure(failure, table, language);
  RuleMatcher matcher;
  if (IsSortedCopyFile(table)) {
    std::vector<MatchRule> rules;
    rules.reserve(rows.size());
    for (RuleRow& row : rows)
      rules.push_back({std::move(row.keywords), std::move(row.matchRule), std::move(row.reply)});
    matcher = RuleMatcher(std::move(rules));
  } else {
    matcher = RuleMatcher::InSortedCopyOrder(rows);
  }
  Outcome outcome;
  for (const Text& customer : texts)
    outcome.lines.push_back(AnswerLine(matcher, customer, language));
  return outcome;
}

}  // namespace quillane::edbtool

#include "rules/rule_table_start.h"

#include <string>

#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/files.h"
#include "table/engine.h"
#include "table/file_io.h"
#include "table/format.h"

namespace quillane {

namespace {

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

}  // namespace

void TidyRuleStoreLeftOvers(const Text& directory) {
  const Text file = directory + kRuleTableFile;
  const Text replaced = table::ReplacedTablePath(file);
  if (!PathFileExists(file) && PathFileExists(replaced)) MoveFileTo(replaced, file, false);
  for (const Text& leftOver :
       {directory + kRuleTableSavingFile, replaced, directory + kSortedCopySavingFile,
        table::ReplacedTablePath(directory + kSortedCopyFile)}) {
    if (PathFileExists(leftOver)) RemoveFile(leftOver);
  }
}

RuleTableOpening OpenRuleTableAtStart(const Text& directory) {
  const Text file = directory + kRuleTableFile;
  bool readOnly = false;
  if (table::ProbeFile(file, &readOnly) == table::kFileNotFound)
    return {RuleTableFound::Missing, {}};
  // Opened for reading only: opening never changes the rules on disk.
  table::OpenOptions options;
  options.readOnly = true;
  if (table::OpenTable(file, kRuleTableAlias, kRulePassword, options)) {
    if (!HasRuleLayout(kRuleTableAlias)) {
      table::CloseTable(kRuleTableAlias);
      return {RuleTableFound::NotARuleTable, {}};
    }
    return {readOnly ? RuleTableFound::ReadOnly : RuleTableFound::Opened, {}};
  }
  const int code = table::LastError();
  const Text reason = table::LastErrorText();
  if (code == table::kFileSizeWrong) return {RuleTableFound::Damaged, reason};
  if (IsUnreadableContent(code)) return {RuleTableFound::Unreadable, reason};
  if (code == table::kFileNotFound) return {RuleTableFound::Missing, reason};
  return {IsHeldElsewhere(code) ? RuleTableFound::Held : RuleTableFound::Unreachable, reason};
}

bool CreateEmptyRuleTable(const Text& directory) {
  if (!WriteBytesToFile(directory + kRuleTableFile, MakeEmptyRuleTable())) return false;
  OpenRuleTable(directory);
  return true;
}

Text SetRuleTableAside(const Text& directory, const Text& stamp) {
  const Text file = directory + kRuleTableFile;
  const Text asideName = "Database-unreadable-" + stamp + ".edb";
  const Text aside = directory + "\\" + asideName;
  if (!MoveFileTo(file, aside, false)) return {};
  const Text companion = table::CompanionPath(file);
  if (PathFileExists(companion)) MoveFileTo(companion, table::CompanionPath(aside), false);
  return asideName;
}

DamagedTableUse UseDamagedRuleTable(const Text& directory, const Text& stamp) {
  DamagedTableUse use;
  Text copyName = "Database-damaged-" + stamp;
  for (int n = 2; PathFileExists(directory + "\\" + copyName + ".edb") && n < 100; ++n) {
    copyName = "Database-damaged-" + stamp + "-" + std::to_string(n);
  }
  use.copyName = copyName + ".edb";
  use.copied = table::CopyTableFile(directory + kRuleTableFile, directory + "\\" + use.copyName);
  if (!use.copied) {
    use.reason = table::LastErrorText();
    return use;
  }
  use.opened = OpenRuleTable(directory);
  if (!use.opened) use.reason = table::LastErrorText();
  return use;
}

int RuleCount() {
  table::SelectTable(kRuleTableAlias);
  return table::RecordCount();
}

void MakeRuleTableCurrent() { table::SelectTable(kRuleTableAlias); }

Text DamagedTableText() { return table::ErrorText(table::kFileSizeWrong); }

}  // namespace quillane

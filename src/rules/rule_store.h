// The keyword rules in their two table files: the rule table Database.edb
// (alias "数据库"), which the settings window reads and rewrites, and its copy
// Sorting.edb (alias "匹配库") ordered by match code, largest first, which the
// reply matcher reads. Both stay open for the whole run.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "services/types.h"

namespace quillane {

inline constexpr char kRuleTableAlias[] = "数据库";
inline constexpr char kSortedCopyAlias[] = "匹配库";
inline constexpr char kRuleTableFile[] = "\\Database.edb";
inline constexpr char kSortedCopyFile[] = "\\Sorting.edb";
// The new rule table is written here, complete, before it takes the place of
// Database.edb.
inline constexpr char kRuleTableSavingFile[] = "\\Database-saving.edb";

// The table engine keeps one registry, one current table and one current
// record for the whole process. Every sequence of engine calls (a request's
// table walk, a load, a save, a rebuild) holds this lock from its first call
// to its last, so no thread ever sees another's half-done sequence.
std::recursive_mutex& TableEngineLock();

// One rule as the settings list shows it: the four cell texts, the match code
// as decimal text.
struct RuleRow {
  Text keywords;
  Text reply;
  Text matchRule;
  Text matchCode;
  bool operator==(const RuleRow&) const = default;
};

// Which step of a store sequence failed.
enum class RuleStoreResult { Ok, Select, Clear, Append, Write, Sort, Open };

// All records of the rule table (or of the table `alias`, such as the sorted
// copy), in record order. A field read that is not possible (the table is not
// open, a field is missing) is the run-time error the window runtime reports;
// a field of an unexpected type is the run-time error "数据或数组类型不匹配"
// with code 5.
std::vector<RuleRow> ReadRules(const Text& alias = kRuleTableAlias);

// Makes the rows, in order, the records of the rule table `directory`\Database.edb
// (the match code is the integer of its text). The new table is written whole
// beside it, with the same fields, flushed to the disk, and then renamed over
// it, so at every instant Database.edb holds either all the old rules or all
// the new ones. The results name the step that failed: Select (the rule table
// is not open and cannot be reopened), Clear (the new table cannot be
// created), Append, Write (a field, the flush, or putting the new table in
// place). After any failure the rule table is open and unchanged.
RuleStoreResult ReplaceRules(const Text& directory, const std::vector<RuleRow>& rows);

// Sorts the rule table into `directory`\Sorting.edb by match code, largest
// first, and opens the result as "匹配库", the current table. With
// `reopen`, the open sorted copy is closed first (a save); at start it is not
// open yet.
RuleStoreResult RebuildSortedCopy(const Text& directory, bool reopen);

// Counts the rebuilds of the sorted copy, so that what was read from it can
// tell when it has to be read again.
std::uint64_t SortedCopyGeneration();

}  // namespace quillane

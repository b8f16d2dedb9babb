// The keyword rules in their two table files: the rule table Database.edb
// (alias "数据库"), which the settings window reads and rewrites, and its copy
// Sorting.edb (alias "匹配库") ordered by match code, largest first, which the
// reply matcher reads. Both stay open for the whole run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "services/types.h"

namespace quillane {

inline constexpr char kRuleTableAlias[] = "数据库";
inline constexpr char kSortedCopyAlias[] = "匹配库";
inline constexpr char kRuleTableFile[] = "\\Database.edb";
inline constexpr char kSortedCopyFile[] = "\\Sorting.edb";
// The new rule table is written here, complete, before it takes the place of
// Database.edb; the new sorted copy likewise before it replaces Sorting.edb.
inline constexpr char kRuleTableSavingFile[] = "\\Database-saving.edb";
inline constexpr char kSortedCopySavingFile[] = "\\Sorting-saving.edb";

// The table engine keeps one registry, one current table and one current
// record for the whole process. Every sequence of engine calls (a request's
// table walk, a load, a save, a rebuild) holds this lock from its first call
// to its last, so no thread ever sees another's half-done sequence.
std::recursive_mutex& TableEngineLock();

// Makes the sorted copy the engine's current table (the replies read it).
void MakeSortedCopyCurrent();

// The engine's words for one of its failure codes.
Text StoreErrorText(int code);

// One rule as the settings list shows it: the four cell texts, the match code
// as decimal text.
struct RuleRow {
  Text keywords;
  Text reply;
  Text matchRule;
  Text matchCode;
  bool operator==(const RuleRow&) const = default;
};

// Which step of a store sequence failed. TooLong: a text does not fit its
// field of the rule table (nothing was written).
enum class RuleStoreResult { Ok, Select, Clear, Append, Write, Sort, Open, TooLong };

// All records of the rule table (or of the table `alias`, such as the sorted
// copy), in record order. A field read that is not possible (the table is not
// open, a field is missing) is the run-time error the window runtime reports;
// a field of an unexpected type is the run-time error "数据或数组类型不匹配"
// with code 5. When `failure` is given it receives the engine's code of the
// first count or field that could not be read (a lock held elsewhere, a read
// error), 0 when every record was read whole.
std::vector<RuleRow> ReadRules(const Text& alias = kRuleTableAlias, int* failure = nullptr);

// The rows in the order the sorted copy gives them: by match code, largest
// first, equal codes in the order of the table sort. Replies come from the
// rules in this order when the sorted copy cannot be made.
std::vector<RuleRow> InSortedCopyOrder(std::vector<RuleRow> rows);
// The same order as the rows' positions: the first is that of the row tried
// first.
std::vector<std::uint32_t> SortedCopyOrder(const std::vector<RuleRow>& rows);

// Opens `directory`\Database.edb as "数据库" for reading only, so that
// opening never changes it: a file shorter than its record count claims opens
// with the whole records it holds. False with the engine's last error.
bool OpenRuleTable(const Text& directory);

// A text of a rule that is longer than its field of the rule table: the
// field's name, its width in bytes and the text's length. Empty when every
// text fits.
struct TooLongText {
  Text field;
  std::int32_t width = 0;
  std::size_t length = 0;
  explicit operator bool() const { return !field.empty(); }
};
// The widths in bytes of the keyword, reply and match-rule fields of the open
// rule table (of the stored rule table when none is open): what a row must fit.
std::array<std::int32_t, 3> RuleTextWidths();

// Checks the three texts of a rule against the widths of the open rule table
// (the stored rule table's widths when none is open).
TooLongText FindTooLongText(const RuleRow& row);

// Writes the rows, in order, as the records of the new table file `file`,
// with the fields of the open table `likeAlias` (the stored rule table's
// fields when `likeAlias` is empty) and the rule password, flushed to the
// disk (the match code is the integer of its text; widths are the caller's
// to check). Clear: the file cannot be created (it is open somewhere, say);
// Append, Write: a record or a field could not be written; `failure` then
// receives the engine's code. After a failure the file is removed. A table
// file put in place of another with table::ReplaceTableFile is written this
// way.
RuleStoreResult WriteRuleTableFile(const Text& file, const std::vector<RuleRow>& rows,
                                   const Text& likeAlias = {}, int* failure = nullptr);

// Makes the rows, in order, the records of the rule table `directory`\Database.edb
// (the match code is the integer of its text). The new table is written whole
// beside it, with the same fields, flushed to the disk, and then renamed over
// it, so at every instant Database.edb holds either all the old rules or all
// the new ones. The results name the step that failed: Select (the rule table
// is not open and cannot be reopened), Clear (the new table cannot be
// created), Append, Write (a field, the flush, or putting the new table in
// place). TooLong: a row holds a text longer than its field; `tooLong`
// then names the first such row (0-based) and text, and nothing is written.
// A reader in another process that holds Database.edb open does not stop the
// save (see table::ReplaceTableFile). After any failure the rule table is
// open and unchanged.
RuleStoreResult ReplaceRules(const Text& directory, const std::vector<RuleRow>& rows,
                             std::pair<std::size_t, TooLongText>* tooLong = nullptr);

// Sorts the rule table into `directory`\Sorting.edb by match code, largest
// first, and opens the result as "匹配库", the current table. The copy is
// written whole beside Sorting.edb and then takes its place, so a reader of
// the old one does not stop it. With `reopen`, the open sorted copy is closed
// first (a save); at start it is not open yet, and a sorted copy that is
// open refuses the rebuild (Sort).
RuleStoreResult RebuildSortedCopy(const Text& directory, bool reopen);

// Whether the sorted copy is open (as "匹配库").
bool IsSortedCopyOpen();

// Why the last rebuild of the sorted copy failed, as a text for the status
// bar; empty when it succeeded (or none ran yet). Replies then come from the
// rule table in the sorted copy's order.
Text SortedCopyProblem();

// Counts the rebuilds of the sorted copy, so that what was read from it can
// tell when it has to be read again.
std::uint64_t SortedCopyGeneration();

}  // namespace quillane

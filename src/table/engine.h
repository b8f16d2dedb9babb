// The table engine: a process-wide registry of open tables, the current
// table and its current record, field reads and writes, appending, clearing
// and sorting into a new file, with a last error code per thread.
//
// Calls from several threads must not overlap (the caller serialises them);
// the last error code is kept per thread. No exception leaves these functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "services/types.h"
#include "services/values.h"
#include "table/errors.h"
#include "table/format.h"

namespace quillane::table {

// Field values are the program's values (services/values.h): byte, short,
// integer, long, float, double, boolean, DateTime, RoutinePointer (a 32-bit
// value on disk), Text or Bytes; std::monostate is "no value" (an omitted
// argument). Text and memo fields give Text, byte-array fields Bytes.
using quillane::DateTime;
using quillane::RoutinePointer;
using quillane::Value;

// A field named by its name (any ASCII case) or by its 1-based position.
class FieldRef {
 public:
  FieldRef(const char* name)
      : kind_(kName), name_(name ? name : "") {}                     // NOLINT: implicit by design
  FieldRef(const Text& name) : kind_(kName), name_(name) {}          // NOLINT
  FieldRef(int position) : kind_(kPosition), position_(position) {}  // NOLINT
  FieldRef(std::int64_t position) : kind_(kPosition), position_(position) {}  // NOLINT
  FieldRef(double position)                                                   // NOLINT
      : kind_(kPosition),
        position_(position >= -9e18 && position <= 9e18 ? static_cast<std::int64_t>(position) : 0) {
  }
  // Any value: text names a field, a number gives a position, anything else
  // names nothing and makes ReadField report a run-time error.
  static FieldRef FromValue(const Value& value);

  bool IsName() const { return kind_ == kName; }
  bool IsPosition() const { return kind_ == kPosition; }
  const Text& Name() const { return name_; }
  std::int64_t Position() const { return position_; }

 private:
  enum Kind { kName, kPosition, kInvalid };
  FieldRef() : kind_(kInvalid) {}
  Kind kind_;
  Text name_;
  std::int64_t position_ = 0;
};

// What ReadField gives: the value, or a run-time error that the window
// runtime reports (the table is not open or the field does not exist).
struct FieldValue {
  Value value;
  Text runtimeError;  // GBK; empty unless this is a run-time error
  bool IsRuntimeError() const { return !runtimeError.empty(); }
};

namespace detail {
struct OpenTableState;
}

// One record as ReadRecords gives it. Valid only during the call it is given to.
class RecordView {
 public:
  // The record's number as GoToRecord counts (1 for the first).
  std::int64_t Number() const { return number_; }
  std::int32_t Serial() const;
  // The value of a field (1-based position) as ReadField gives it; no value
  // (std::monostate) for a position without a field. A memo or byte array
  // that cannot be read gives the empty value and fails the ReadRecords call.
  Value Get(int position) const;
  // The bytes of a text field up to its first 0, without a copy; empty for
  // fields of other types.
  std::string_view TextOf(int position) const;

 private:
  friend struct RecordViewAccess;
  const detail::OpenTableState* table_ = nullptr;
  const std::uint8_t* bytes_ = nullptr;
  std::int64_t number_ = 0;
  mutable int failure_ = 0;
};

// The run-time error texts of ReadField.
inline constexpr const char kNoTableRuntimeError[] = "未指定当前数据库或者指定数据库未打开";
inline constexpr const char kNoFieldRuntimeError[] = "指定字段不存在";
inline constexpr const char kBadFieldArgRuntimeError[] = "指定字段的参数类型错误";

struct OpenOptions {
  bool readOnly = false;
  int shareMode = 1;  // 1 others read and write, 2 no reading, 3 no writing, else exclusive
  // Read-only openings only: a file shorter than its record count claims
  // opens with the whole records it holds, counted in memory; the file is
  // left as it is (a writable opening repairs it instead).
  bool acceptShort = false;
};

struct SortOptions {
  std::vector<Text> keys;       // key field names, first key first
  std::vector<bool> ascending;  // one per key; missing flags mean ascending
  std::vector<Text> keep;       // fields to copy; empty or none found: all
};

struct FieldInfo {
  Text name;
  std::int32_t type = 0;
  std::int32_t offset = 0;
  std::int32_t width = 0;
};

// The last error code of the calling thread and its fixed text.
int LastError();
const char* LastErrorText();

bool OpenTable(const Text& file, const Text& alias = {}, const Text& password = {});
bool OpenTable(const Text& file, const Text& alias, const Text& password,
               const OpenOptions& options);
bool SelectTable(const Text& name);
void CloseTable(const Text& name = {});
void CloseAllTables();
std::int32_t RecordCount();
bool GoToRecord(std::int64_t number);
FieldValue ReadField(const FieldRef& field, const Text& table = {});
bool WriteField(const FieldRef& field, const Text& table, const Value& value = {});
bool AppendRecord();
// Reads the records numbered first to first + count - 1 (count < 0: to the
// last) of a table (named, or the current one) in file order, all under one
// lock of the whole file, and calls `each` for every one; `each` returns
// false to stop early and must not close the table. The current record
// stays as it was. False with the code on failure: no table (as for
// ReadRecordSerial), a lock, a header or a record that cannot be read
// (kReadFieldFailed), a memo chain that cannot be.
bool ReadRecords(const Text& table, std::int64_t first, std::int64_t count,
                 const std::function<bool(const RecordView&)>& each);
bool ClearTable();
bool SortTable(const Text& target, const Text& key, bool ascending = true);
bool SortTable(const Text& target, const SortOptions& options);

// Makes everything written to the table and its companion durable on disk
// (the named table, or the current one). True on success.
bool FlushTable(const Text& name = {});

// Creates (or empties) a file and writes the bytes, e.g. MakeEmptyRuleTable(),
// then flushes it. Refused with kSharingViolation while the file is open
// anywhere.
bool WriteNewTableFile(const Text& file, const Bytes& bytes);

// Puts the whole file `from` in the place of the table file `to` and
// removes `from`'s name. A reader that holds `to` open (with delete sharing)
// keeps reading the old file: when `to` cannot be replaced while it is open,
// it is first renamed to `to` less its extension + "-replaced.edb" and that
// name is deleted afterwards. Refusals that pass (a sharing violation, a
// scanner holding one of the files) are retried for up to `waitMs`
// milliseconds. A read-only `to` is never replaced. True on success; on
// failure `to` is the old file again.
bool ReplaceTableFile(const Text& from, const Text& to, int waitMs = 2000);
// The name a table file is moved to while ReplaceTableFile puts a new one in
// its place.
Text ReplacedTablePath(const Text& file);

// Writes a byte-for-byte copy of `from` as the new file `to` and flushes it;
// refused (kAccessDenied) when `to` exists.
bool CopyTableFile(const Text& from, const Text& to);

// For tools: the fields of a table (named, or the current one) and the record
// serial of its current record.
std::vector<FieldInfo> TableFields(const Text& name = {});
bool ReadRecordSerial(std::int32_t* serial, const Text& name = {});
std::int64_t TableRecordSize(const Text& name = {});

// Protected tables are scrambled with streams that depend only on their
// password; those of the first 256 MB of a file are kept once generated, for
// every table of that password, also after it closes. This frees them.
void ForgetKeystreams();

// Milliseconds for which a refused open or lock is retried (0 none, -1 for ever).
int LockWaitTime();
void SetLockWaitTime(int ms);

}  // namespace quillane::table

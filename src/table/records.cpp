// Records of an open table: the record count, moving to a record, reading
// and writing fields of the current record (memo and byte-array values
// through the companion's block chains), appending a record and clearing
// the table.
#include <algorithm>
#include <limits>
#include <new>

#include "table/field_values.h"
#include "table/registry.h"

namespace quillane::table {

using namespace detail;

namespace {

// A field up to this size is read into memory without asking the file's
// size first.
constexpr std::size_t kTrustedFieldSize = 65536;
// A new record is written in pieces of at most this size, so a huge record
// takes no more memory than one piece.
constexpr std::int64_t kAppendPieceSize = 65536;

// Reads the value of field `d` of the current record under the record's lock.
int ReadStoredValue(OpenTableState& t, const FieldDescriptor& d, Value* value) {
  const std::int64_t record = t.RecordOffset(t.current);
  ByteLock lock(t.table, record);
  int rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  const std::int64_t position = record + d.offset;
  // Nothing read at the position: it is at or beyond the end of the file.
  // (Field sizes are bounded by the record size, which the file bounds
  // when any record exists; a huge field of a table without records reads
  // nothing and takes no memory for it.)
  const std::size_t n = static_cast<std::size_t>(d.Size());
  std::uint8_t small[16];
  std::vector<std::uint8_t> large;
  std::uint8_t* raw = small;
  if (n > kTrustedFieldSize) {
    std::uint8_t probe;
    std::size_t got = 0;
    rc = t.table.file.ReadAt(position, &probe, 1, &got);
    if (rc != 0) return rc;
    if (got == 0) return kSeekFailed;
    std::int64_t size = 0;
    rc = t.table.Size(&size);
    if (rc != 0) return rc;
    if (position + static_cast<std::int64_t>(n) > size) return kReadFieldFailed;
  }
  if (n > sizeof small) {
    large.resize(n);
    raw = large.data();
  }
  std::size_t got = 0;
  rc = t.table.Read(position, raw, n, &got);
  if (rc != 0) return rc;
  if (got == 0) return kSeekFailed;
  if (got < n) return kReadFieldFailed;
  if (!IsBlockType(d.type)) {
    *value = DecodeField(d, raw);
    return 0;
  }
  if (!t.companion) return kReadFieldFailed;
  Bytes stored;
  rc = ReadChain(*t.companion, GetInt32(raw), &stored);
  if (rc != 0) return rc;
  if (d.type == static_cast<std::int32_t>(FieldType::kMemo)) {
    const auto zero = std::find(stored.begin(), stored.end(), 0);
    *value = Text(stored.begin(), zero);
  } else {
    *value = std::move(stored);
  }
  return 0;
}

// Writes a memo or byte-array value as a block chain in place of the chain
// the field at `position` points to; `raw` receives the new first block.
int WriteChainValue(OpenTableState& t, std::int64_t position, const Value& value,
                    std::uint8_t* raw) {
  std::uint8_t old[4];
  int rc = t.table.ReadExact(position, old, 4, kReadFieldFailed);
  if (rc != 0) return rc;
  if (!t.companion) return kCompanionAccessFailed;
  const std::uint8_t* data = nullptr;
  std::size_t length = 0;
  if (auto* s = std::get_if<Text>(&value)) {
    data = reinterpret_cast<const std::uint8_t*>(s->data());
    length = s->size();
  } else if (auto* b = std::get_if<Bytes>(&value)) {
    data = b->data();
    length = b->size();
  }
  ByteLock headerLock(*t.companion, 0);
  rc = headerLock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::int32_t first = 0;
  rc = WriteChain(*t.companion, GetInt32(old), data, length, &first);
  if (rc != 0) return rc;
  PutInt32(raw, first);
  return 0;
}

// Writes an already converted value into field `d` of the current record
// under the record's lock.
int WriteStoredValue(OpenTableState& t, const FieldDescriptor& d, const Value& value) {
  const std::int64_t record = t.RecordOffset(t.current);
  ByteLock lock(t.table, record);
  int rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::int64_t size = 0;
  rc = t.table.Size(&size);
  if (rc != 0) return rc;
  const std::int64_t position = record + d.offset;
  if (record >= size || position + d.Size() > size) return kNoCurrentRecord;
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(d.Size()));
  if (IsBlockType(d.type)) {
    rc = WriteChainValue(t, position, value, raw.data());
    if (rc != 0) return rc;
  } else {
    EncodeField(d, value, raw.data());
  }
  return t.table.Write(position, raw.data(), raw.size());
}

// Appends a zeroed record carrying the next serial and makes it current.
int Append(OpenTableState& t) {
  ByteLock headerLock(t.table, kCountersOffset);
  int rc = headerLock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::uint8_t raw[8];
  rc = t.table.ReadExact(kCountersOffset, raw, sizeof raw, kRecordCountFailed);
  if (rc != 0) return rc;
  std::int32_t count = std::max(GetInt32(raw), 0);
  std::int32_t serial = std::max(GetInt32(raw + 4), 1);
  // The counters are 32-bit; a full table refuses instead of wrapping.
  if (count == std::numeric_limits<std::int32_t>::max() ||
      serial == std::numeric_limits<std::int32_t>::max())
    return kWriteRecordFailed;
  const std::int64_t position = t.RecordOffset(count);
  ByteLock recordLock(t.table, position);
  rc = recordLock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::int64_t size = 0;
  rc = t.table.Size(&size);
  if (rc != 0) return rc;
  if (size < position) return kSeekFailed;
  // The new record in pieces: its serial, then zero bytes.
  const std::int64_t piece = std::min<std::int64_t>(t.recordSize, kAppendPieceSize);
  std::vector<std::uint8_t> zeros(static_cast<std::size_t>(piece), 0);
  PutInt32(zeros.data(), serial);
  for (std::int64_t done = 0; done < t.recordSize && rc == 0; done += piece) {
    const std::int64_t n = std::min(piece, t.recordSize - done);
    rc = t.table.Write(position + done, zeros.data(), static_cast<std::size_t>(n));
    if (done == 0) std::fill(zeros.begin(), zeros.begin() + 4, 0);
  }
  if (rc != 0) return rc;
  PutInt32(raw, count + 1);
  PutInt32(raw + 4, serial + 1);
  rc = t.table.Write(kCountersOffset, raw, sizeof raw);
  if (rc != 0) return rc;
  t.current = count;
  return 0;
}

}  // namespace

std::int32_t RecordCount() {
  OpenTableState* t = TheRegistry().current;
  if (!t) return SetError(kNoCurrentTable), 0;
  std::int32_t count = 0, serial = 0;
  const int rc = ReadCounters(*t, &count, &serial, HeaderWait());
  if (rc != 0) return SetError(rc), 0;
  SetError(0);
  return std::max(count, 0);
}

bool GoToRecord(std::int64_t number) {
  OpenTableState* t = TheRegistry().current;
  if (!t) return SetError(kNoCurrentTable), false;
  std::int32_t count = 0, serial = 0;
  const int rc = ReadCounters(*t, &count, &serial, HeaderWait());
  if (rc != 0) return SetError(rc), false;
  std::int64_t index = number - 1;
  if (number == std::numeric_limits<std::int64_t>::min()) index = 0;
  if (index > static_cast<std::int64_t>(count) - 1) index = static_cast<std::int64_t>(count) - 1;
  if (index < 0) index = 0;
  t->current = index;
  SetError(0);
  return true;
}

FieldValue ReadField(const FieldRef& field, const Text& tableName) {
  SetError(0);
  FieldValue result;
  OpenTableState* t = TableFor(tableName);
  if (!t) {
    result.runtimeError = kNoTableRuntimeError;
    return result;
  }
  if (!field.IsName() && !field.IsPosition()) {
    result.runtimeError = kBadFieldArgRuntimeError;
    return result;
  }
  const int index = FindField(*t, field);
  if (index < 0) {
    result.runtimeError = kNoFieldRuntimeError;
    return result;
  }
  const FieldDescriptor& d = t->fields[static_cast<std::size_t>(index)];
  result.value = EmptyValue(d.type);
  try {
    Value value;
    const int rc = ReadStoredValue(*t, d, &value);
    if (rc != 0) return SetError(rc), result;
    result.value = std::move(value);
  } catch (const std::bad_alloc&) {
    SetError(kOutOfMemory);
    result.value = EmptyValue(d.type);
  }
  return result;
}

bool WriteField(const FieldRef& field, const Text& tableName, const Value& value) {
  OpenTableState* t = TableFor(tableName);
  if (!t) return SetError(kTableNotOpen), false;
  const int index = FindField(*t, field);
  if (index < 0) return SetError(kNoSuchField), false;
  const FieldDescriptor& d = t->fields[static_cast<std::size_t>(index)];
  Value converted;
  if (!ConvertForField(d, value, &converted)) return SetError(kTypeMismatch), false;
  if (t->current < 0) return SetError(kNoCurrentRecord), false;
  try {
    return Report(WriteStoredValue(*t, d, converted));
  } catch (const std::bad_alloc&) {
    return SetError(kWriteFieldFailed), false;
  }
}

bool ReadRecordSerial(std::int32_t* serial, const Text& name) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(MissingTableError(name)), false;
  const std::int64_t record = t->RecordOffset(t->current);
  ByteLock lock(t->table, record);
  int rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return SetError(rc), false;
  std::uint8_t raw[4];
  rc = t->table.ReadExact(record, raw, 4, kSeekFailed);
  if (rc != 0) return SetError(rc), false;
  *serial = GetInt32(raw);
  SetError(0);
  return true;
}

bool AppendRecord() {
  OpenTableState* t = TheRegistry().current;
  if (!t) return SetError(kNoCurrentTable), false;
  try {
    return Report(Append(*t));
  } catch (const std::bad_alloc&) {
    return SetError(kWriteRecordFailed), false;
  }
}

bool ClearTable() {
  OpenTableState* t = TheRegistry().current;
  if (!t) return SetError(kNoCurrentTable), false;
  WholeLock lock(t->table);
  int rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return SetError(rc), false;
  std::uint8_t zero[4] = {};
  rc = t->table.Write(kCountersOffset, zero, 4);
  if (rc == 0) rc = t->table.file.Truncate(t->dataStart);
  if (rc == 0 && t->companion) {
    // The companion keeps its header block alone: one block, none free.
    std::uint8_t counters[12];
    PutInt32(counters, 1);
    PutInt32(counters + 4, 0);
    PutInt32(counters + 8, 0);
    rc = t->companion->Write(kCompanionCountersOffset, counters, sizeof counters);
    if (rc == 0) rc = t->companion->file.Truncate(kBlockSize);
  }
  if (rc != 0) return SetError(rc), false;
  t->current = 0;
  SetError(0);
  return true;
}

}  // namespace quillane::table

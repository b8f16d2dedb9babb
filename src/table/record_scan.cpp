// Reading many records at once: in file order, in large pieces, under one
// lock of the whole file, each record handed to the caller as a view of its
// bytes. Walking a table this way costs a few reads in all instead of a
// lock, a read and an unlock for every field.
#include <algorithm>
#include <cstring>
#include <new>

#include "table/field_values.h"
#include "table/registry.h"

namespace quillane::table {

using namespace detail;

struct RecordViewAccess {
  static void Point(RecordView& view, const OpenTableState* table, const std::uint8_t* bytes,
                    std::int64_t number) {
    view.table_ = table;
    view.bytes_ = bytes;
    view.number_ = number;
  }
  static int Failure(const RecordView& view) { return view.failure_; }
};

namespace {

// Records are read in pieces of about this many bytes.
constexpr std::int64_t kScanPieceBytes = std::int64_t{4} << 20;

const FieldDescriptor* FieldAt(const OpenTableState* t, int position) {
  if (!t || position < 1 || static_cast<std::size_t>(position) > t->fields.size()) return nullptr;
  return &t->fields[static_cast<std::size_t>(position - 1)];
}

int Scan(OpenTableState& t, std::int64_t first, std::int64_t count,
         const std::function<bool(const RecordView&)>& each) {
  WholeLock lock(t.table);
  int rc = lock.Acquire(HeaderWait());
  if (rc != 0) return rc;
  std::uint8_t counters[8];
  rc = t.table.ReadExact(kCountersOffset, counters, sizeof counters, kRecordCountFailed);
  if (rc != 0) return rc;
  std::int64_t total = std::max(GetInt32(counters), 0);
  if (t.countLimit >= 0) total = std::min(total, t.countLimit);
  const std::int64_t from = std::max<std::int64_t>(first, 1) - 1;
  const std::int64_t end = count < 0 || count > total - from ? total : from + count;
  if (from >= end) return 0;
  std::int64_t size = 0;
  rc = t.table.Size(&size);
  if (rc != 0) return rc;
  // A count the file does not hold fails before memory is taken for it.
  if (t.RecordOffset(end) > size) return kReadFieldFailed;
  const std::int64_t piece =
      std::clamp<std::int64_t>(kScanPieceBytes / t.recordSize, 1, end - from);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(piece * t.recordSize));
  RecordView view;
  for (std::int64_t at = from; at < end; at += piece) {
    const std::int64_t n = std::min(piece, end - at);
    rc = t.table.ReadExact(t.RecordOffset(at), buffer.data(),
                           static_cast<std::size_t>(n * t.recordSize), kReadFieldFailed);
    if (rc != 0) return rc;
    for (std::int64_t r = 0; r < n; ++r) {
      RecordViewAccess::Point(view, &t, buffer.data() + r * t.recordSize, at + r + 1);
      const bool more = each(view);
      if (RecordViewAccess::Failure(view) != 0) return RecordViewAccess::Failure(view);
      if (!more) return 0;
    }
  }
  return 0;
}

}  // namespace

std::int32_t RecordView::Serial() const { return GetInt32(bytes_); }

std::string_view RecordView::TextOf(int position) const {
  const FieldDescriptor* d = FieldAt(table_, position);
  if (!d || d->type != static_cast<std::int32_t>(FieldType::kText)) return {};
  const char* p = reinterpret_cast<const char*>(bytes_ + d->offset);
  const auto width = static_cast<std::size_t>(d->width);
  const void* zero = std::memchr(p, 0, width);
  return {p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : width};
}

Value RecordView::Get(int position) const {
  const FieldDescriptor* d = FieldAt(table_, position);
  if (!d) return {};
  if (!IsBlockType(d->type)) return DecodeField(*d, bytes_ + d->offset);
  // The companion is read as ReadField reads it; the view itself stays unchanged.
  DataFile* companion = table_->companion.get();
  Bytes stored;
  const int rc =
      companion ? ReadChain(*companion, GetInt32(bytes_ + d->offset), &stored) : kReadFieldFailed;
  if (rc != 0) {
    if (failure_ == 0) failure_ = rc;
    return EmptyValue(d->type);
  }
  if (d->type == static_cast<std::int32_t>(FieldType::kMemo)) {
    const auto zero = std::find(stored.begin(), stored.end(), 0);
    return Text(stored.begin(), zero);
  }
  return stored;
}

bool ReadRecords(const Text& name, std::int64_t first, std::int64_t count,
                 const std::function<bool(const RecordView&)>& each) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(MissingTableError(name)), false;
  try {
    return Report(Scan(*t, first, count, each));
  } catch (const std::bad_alloc&) {
    return SetError(kOutOfMemory), false;
  }
}

}  // namespace quillane::table

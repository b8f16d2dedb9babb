// Sorting the current table into a new table file: which fields are keys and
// which are copied, creating the new file, reading the sort keys under the
// source's whole-file lock, ordering them, and writing the records (with
// their memo and byte-array chains) in the new order.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "table/registry.h"
#include "table/sort.h"

namespace quillane::table {

using namespace detail;

namespace {

// Records are read and written in pieces of about this many bytes: few
// calls, and enough pages at once to scramble them on several threads.
constexpr std::int64_t kSortChunkBytes = std::int64_t{4} << 20;
// Source records up to this many bytes in all are kept in memory from the
// key pass for the output pass.
constexpr std::int64_t kKeepLimit = std::int64_t{256} << 20;

// What a sort takes from the source table.
struct SortPlan {
  std::vector<int> keys;        // indexes of the key fields, first key first
  std::vector<bool> ascending;  // one per key
  std::vector<int> keep;        // indexes of the fields copied, in their order
  bool needsCompanion = false;  // a copied field is a memo or a byte array
};

// The new table: its files and its record layout.
struct Target {
  DataFile table;
  std::unique_ptr<DataFile> companion;
  std::vector<FieldDescriptor> fields;  // the copied fields at their new offsets
  std::int64_t recordSize = 4;
  std::int64_t dataStart = 0;
};

// The source's records as the key pass leaves them.
struct SortEntries {
  std::vector<std::uint32_t> order;   // record indexes; in key order once ordered
  std::vector<std::uint8_t> keyData;  // the key bytes of each record, keyBytes apiece
  std::int64_t keyBytes = 0;
  bool keepAll = false;           // every record is held in `all`
  std::vector<std::uint8_t> all;  // the records themselves, when keepAll
};

int CompareKey(const FieldDescriptor& d, const std::uint8_t* a, const std::uint8_t* b) {
  auto order = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      return order(a[0], b[0]);
    case FieldType::kShort:
      return order(static_cast<std::int16_t>(a[0] | (a[1] << 8)),
                   static_cast<std::int16_t>(b[0] | (b[1] << 8)));
    case FieldType::kInt:
      return order(GetInt32(a), GetInt32(b));
    case FieldType::kLong:
      return order(GetInt64(a), GetInt64(b));
    case FieldType::kFloat: {
      float x, y;
      std::memcpy(&x, a, 4);
      std::memcpy(&y, b, 4);
      return order(x, y);
    }
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return order(GetDouble(a), GetDouble(b));
    case FieldType::kBool:
      return order(a[0] != 0, b[0] != 0);
    case FieldType::kSubroutine:
      return order(static_cast<std::uint32_t>(GetInt32(a)),
                   static_cast<std::uint32_t>(GetInt32(b)));
    case FieldType::kText: {
      // Bytewise over the width. In GBK every lead byte is above every
      // single-byte character, so this orders double-byte characters as units.
      const int c = std::memcmp(a, b, static_cast<std::size_t>(d.width));
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    default:
      return 0;
  }
}

// The key fields (none may be a memo or byte array) and the fields to copy:
// the named ones that exist, or all when none does.
int PlanSort(const OpenTableState& src, const SortOptions& options, SortPlan* plan) {
  if (options.keys.empty()) return kBadKeyField;
  for (const Text& name : options.keys) {
    const int k = FindField(src, FieldRef(name));
    if (k < 0 || IsBlockType(src.fields[static_cast<std::size_t>(k)].type)) return kBadKeyField;
    plan->keys.push_back(k);
  }
  plan->ascending.assign(plan->keys.size(), true);
  for (std::size_t k = 0; k < plan->keys.size() && k < options.ascending.size(); ++k)
    plan->ascending[k] = options.ascending[k];
  for (const Text& name : options.keep) {
    const int k = FindField(src, FieldRef(name));
    if (k >= 0) plan->keep.push_back(k);
  }
  if (plan->keep.empty())
    for (std::size_t k = 0; k < src.fields.size(); ++k) plan->keep.push_back(static_cast<int>(k));
  for (int k : plan->keep)
    plan->needsCompanion =
        plan->needsCompanion || IsBlockType(src.fields[static_cast<std::size_t>(k)].type);
  return 0;
}

// Creates the new table file (and its companion when a copied field needs
// one) without records. The new file carries the source's verifier and is
// scrambled with the source's password.
int CreateTarget(const OpenTableState& src, const Text& targetName, const SortPlan& plan,
                 Target* target) {
  if (targetName.empty()) return kFileNotFound;
  Text full;
  int rc = FullPath(WithDefaultExtension(targetName), &full);
  if (rc != 0) return rc;
  const double now = NowAsDateTime();
  rc = target->table.file.Open(full, Access::kReadWrite, Share::kExclusive,
                               Disposition::kCreateAlways);
  if (rc != 0) return rc;
  target->table.lockless = true;
  target->table.cipher = src.cipher.get();

  for (int k : plan.keep) target->fields.push_back(src.fields[static_cast<std::size_t>(k)]);
  TableHeader h;
  h.created = now;
  h.magic = src.header.magic;
  h.verifier = src.header.verifier;
  std::int64_t recordSize = 4;  // the record serial
  for (auto& f : target->fields) {
    f.offset = static_cast<std::int32_t>(recordSize);
    recordSize += f.Size();
  }
  if (recordSize > std::numeric_limits<std::int32_t>::max()) return kCreateTableFailed;
  h.recordSize = static_cast<std::int32_t>(recordSize);
  target->recordSize = recordSize;
  const std::size_t fieldCount = target->fields.size();
  target->dataStart = kFieldsOffset + kDescriptorSize * static_cast<std::int64_t>(fieldCount);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(target->dataStart));
  SerializeHeader(h, bytes.data());
  PutInt32(bytes.data() + kHeaderSize, static_cast<std::int32_t>(fieldCount));
  for (std::size_t k = 0; k < fieldCount; ++k)
    SerializeDescriptor(target->fields[k], bytes.data() + kFieldsOffset + kDescriptorSize * k);
  if (target->table.Write(0, bytes.data(), bytes.size()) != 0) return kCreateTableFailed;

  if (!plan.needsCompanion) return 0;
  target->companion = std::make_unique<DataFile>();
  target->companion->lockless = true;
  target->companion->cipher = src.cipher.get();
  if (target->companion->file.Open(CompanionPath(full), Access::kReadWrite, Share::kExclusive,
                                   Disposition::kCreateAlways) != 0)
    return kCreateCompanionFailed;
  Bytes block(kBlockSize, 0);
  CompanionHeader ch;
  ch.created = now;
  SerializeCompanionHeader(ch, block.data());
  if (target->companion->Write(0, block.data(), block.size()) != 0) return kCreateCompanionFailed;
  return 0;
}

// One pass over the source's records (under its whole-file lock) taking the
// key bytes of each; when the records fit in memory they are kept for the
// output pass, which then needs no second, scattered read of every record.
int ReadSortKeys(OpenTableState& src, const SortPlan& plan, SortEntries* entries) {
  std::uint8_t counters[8];
  int rc = src.table.ReadExact(kCountersOffset, counters, 8, kRecordCountFailed);
  if (rc != 0) return rc;
  std::int64_t count = std::max(GetInt32(counters), 0);
  if (src.countLimit >= 0) count = std::min(count, src.countLimit);

  for (int k : plan.keys) entries->keyBytes += src.fields[static_cast<std::size_t>(k)].Size();
  std::int64_t size = 0;
  rc = src.table.Size(&size);
  if (rc != 0) return rc;
  // Never reserve more than the file can hold.
  const std::int64_t present = std::min<std::int64_t>(
      count, std::max<std::int64_t>(0, (size - src.dataStart) / src.recordSize));
  entries->keyData.reserve(static_cast<std::size_t>(present * entries->keyBytes));
  entries->order.reserve(static_cast<std::size_t>(present));
  const std::int64_t chunk = std::max<std::int64_t>(1, kSortChunkBytes / src.recordSize);
  entries->keepAll = present * src.recordSize <= kKeepLimit;
  if (entries->keepAll) entries->all.reserve(static_cast<std::size_t>(present * src.recordSize));
  std::vector<std::uint8_t> buffer;
  for (std::int64_t first = 0; first < count; first += chunk) {
    const std::int64_t n = std::min(chunk, count - first);
    // A count beyond the file is a failed read, found before any memory is taken for it.
    if (src.RecordOffset(first + n) > size) return kReadRecordFailed;
    std::uint8_t* into;
    if (entries->keepAll) {
      entries->all.resize(static_cast<std::size_t>((first + n) * src.recordSize));
      into = entries->all.data() + first * src.recordSize;
    } else {
      buffer.resize(static_cast<std::size_t>(n * src.recordSize));
      into = buffer.data();
    }
    rc = src.table.ReadExact(src.RecordOffset(first), into,
                             static_cast<std::size_t>(n * src.recordSize), kReadRecordFailed);
    if (rc != 0) return kReadRecordFailed;
    for (std::int64_t r = 0; r < n; ++r) {
      const std::uint8_t* rec = into + r * src.recordSize;
      for (int k : plan.keys) {
        const auto& f = src.fields[static_cast<std::size_t>(k)];
        entries->keyData.insert(entries->keyData.end(), rec + f.offset, rec + f.offset + f.Size());
      }
      entries->order.push_back(static_cast<std::uint32_t>(first + r));
    }
  }
  return 0;
}

// Whether every two keys of this type are equal, before or after each
// other, consistently. Floating-point keys are not: NaN compares equal to
// every value.
bool TotallyOrdered(std::int32_t type) {
  switch (static_cast<FieldType>(type)) {
    case FieldType::kFloat:
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return false;
    default:
      return true;
  }
}

// The rank of each record's keys: equal keys equal ranks, a record sorting
// before another a smaller rank.
template <typename Compare>
std::vector<std::uint32_t> Ranks(std::size_t count, Compare compare) {
  std::vector<std::uint32_t> byKey(count);
  for (std::size_t k = 0; k < count; ++k) byKey[k] = static_cast<std::uint32_t>(k);
  std::sort(byKey.begin(), byKey.end(),
            [&](std::uint32_t x, std::uint32_t y) { return compare(x, y) < 0; });
  std::vector<std::uint32_t> rank(count);
  std::uint32_t r = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (k && compare(byKey[k - 1], byKey[k]) != 0) ++r;
    rank[byKey[k]] = r;
  }
  return rank;
}

// Puts the entries in key order, each key ascending or descending, in the
// quicksort's own order of equal keys.
void OrderEntries(const OpenTableState& src, const SortPlan& plan, SortEntries& entries) {
  const std::size_t count = entries.order.size();
  // The common sort of the rule tables, one integer key: compared as numbers
  // taken out of the key bytes once.
  if (plan.keys.size() == 1 && src.fields[static_cast<std::size_t>(plan.keys[0])].type ==
                                   static_cast<std::int32_t>(FieldType::kInt)) {
    std::vector<std::int32_t> keys(count);
    for (std::size_t k = 0; k < count; ++k) keys[k] = GetInt32(&entries.keyData[4 * k]);
    const int sign = plan.ascending[0] ? 1 : -1;
    QuickSortRanked(entries.order, Ranks(count, [&](std::uint32_t x, std::uint32_t y) {
                      const std::int32_t a = keys[x], b = keys[y];
                      return a < b ? -sign : (b < a ? sign : 0);
                    }));
    return;
  }
  std::vector<std::int64_t> keyOffsets;
  std::int64_t at = 0;
  bool ordered = true;
  for (int k : plan.keys) {
    keyOffsets.push_back(at);
    at += src.fields[static_cast<std::size_t>(k)].Size();
    ordered = ordered && TotallyOrdered(src.fields[static_cast<std::size_t>(k)].type);
  }
  const std::uint8_t* keyData = entries.keyData.data();
  const std::int64_t keyBytes = entries.keyBytes;
  auto compare = [&](std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* a = keyData + static_cast<std::int64_t>(x) * keyBytes;
    const std::uint8_t* b = keyData + static_cast<std::int64_t>(y) * keyBytes;
    for (std::size_t k = 0; k < plan.keys.size(); ++k) {
      const auto& f = src.fields[static_cast<std::size_t>(plan.keys[k])];
      const int c = CompareKey(f, a + keyOffsets[k], b + keyOffsets[k]);
      if (c != 0) return plan.ascending[k] ? c : -c;
    }
    return 0;
  };
  if (ordered) {
    QuickSortRanked(entries.order, Ranks(count, compare));
  } else {
    QuickSort(entries.order, compare);
  }
}

// Builds record `number` (1-based) of the new table from a source record: the
// serial (negative when the source's is), the copied fields, and copies of
// their memo and byte-array chains in the new companion.
int CopyRecord(OpenTableState& src, const SortPlan& plan, Target& target,
               const std::uint8_t* source, std::int32_t number, std::uint8_t* rec, Bytes& value) {
  PutInt32(rec, GetInt32(source) < 0 ? -number : number);
  for (std::size_t k = 0; k < target.fields.size(); ++k) {
    const FieldDescriptor& from = src.fields[static_cast<std::size_t>(plan.keep[k])];
    const FieldDescriptor& to = target.fields[k];
    if (!IsBlockType(from.type)) {
      std::memcpy(rec + to.offset, source + from.offset, static_cast<std::size_t>(from.Size()));
      continue;
    }
    std::int32_t first = 0;
    const std::int32_t oldFirst = GetInt32(source + from.offset);
    if (oldFirst > 0) {
      if (!src.companion) return kReadRecordFailed;
      int rc = ReadChain(*src.companion, oldFirst, &value);
      if (rc != 0) return rc;
      rc = WriteChain(*target.companion, 0, value.data(), value.size(), &first);
      if (rc != 0) return rc;
    }
    PutInt32(rec + to.offset, first);
  }
  return 0;
}

// Writes the records of the new table in key order, in chunks.
int WriteSortedRecords(OpenTableState& src, const SortPlan& plan, const SortEntries& entries,
                       Target& target) {
  // (Buffers are sized only when there are records, which bounds them by the file.)
  std::vector<std::uint8_t> sourceBuffer(
      entries.order.empty() || entries.keepAll ? 0 : static_cast<std::size_t>(src.recordSize));
  std::vector<std::uint8_t> out;
  const std::int64_t outChunk = std::max<std::int64_t>(1, kSortChunkBytes / target.recordSize);
  std::int64_t written = 0;
  auto flush = [&]() {
    if (out.empty()) return 0;
    const int w = target.table.WriteScrambling(target.dataStart + written * target.recordSize,
                                               out.data(), out.size());
    written += static_cast<std::int64_t>(out.size()) / target.recordSize;
    out.clear();
    return w;
  };
  Bytes value;
  int rc;
  for (std::size_t i = 0; i < entries.order.size(); ++i) {
    const std::uint8_t* source;
    if (entries.keepAll) {
      source = entries.all.data() + static_cast<std::int64_t>(entries.order[i]) * src.recordSize;
    } else {
      rc = src.table.ReadExact(src.RecordOffset(entries.order[i]), sourceBuffer.data(),
                               sourceBuffer.size(), kReadRecordFailed);
      if (rc != 0) return kReadRecordFailed;
      source = sourceBuffer.data();
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(target.recordSize), 0);
    rc = CopyRecord(src, plan, target, source, static_cast<std::int32_t>(i + 1), out.data() + at,
                    value);
    if (rc != 0) return rc;
    if (static_cast<std::int64_t>(out.size()) >= outChunk * target.recordSize) {
      rc = flush();
      if (rc != 0) return rc;
    }
  }
  return flush();
}

// Sets the new table's record count and next serial.
int FinishTarget(Target& target, std::int32_t total) {
  std::uint8_t counters[8];
  PutInt32(counters, total);
  PutInt32(counters + 4, total + 1);
  return target.table.Write(kCountersOffset, counters, 8);
}

int SortInto(OpenTableState& src, const Text& targetName, const SortOptions& options) {
  SortPlan plan;
  int rc = PlanSort(src, options, &plan);
  if (rc != 0) return rc;
  Target target;
  rc = CreateTarget(src, targetName, plan, &target);
  if (rc != 0) return rc;
  // The source, whole, until the new table is written: it cannot change
  // between the key pass and the output pass.
  WholeLock lock(src.table);
  rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  SortEntries entries;
  rc = ReadSortKeys(src, plan, &entries);
  if (rc != 0) return rc;
  OrderEntries(src, plan, entries);
  rc = WriteSortedRecords(src, plan, entries, target);
  if (rc != 0) return rc;
  return FinishTarget(target, static_cast<std::int32_t>(entries.order.size()));
}

}  // namespace

bool SortTable(const Text& target, const Text& key, bool ascending) {
  SortOptions options;
  options.keys.push_back(key);
  options.ascending.push_back(ascending);
  return SortTable(target, options);
}

bool SortTable(const Text& target, const SortOptions& options) {
  OpenTableState* t = TheRegistry().current;
  if (!t) return SetError(kNoCurrentTable), false;
  const std::int64_t current = t->current;
  int rc;
  try {
    rc = SortInto(*t, target, options);
  } catch (const std::bad_alloc&) {
    rc = kOutOfMemory;
  } catch (...) {
    rc = kUnknown;
  }
  t->current = current;
  return Report(rc);
}

}  // namespace quillane::table

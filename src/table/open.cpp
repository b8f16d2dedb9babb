// Opening a table: the alias check, the checks of the header, the field
// descriptors and the companion file, the repairs a writable opening makes
// to a torn file, and entering the table into the registry.
#include <algorithm>
#include <cstring>
#include <new>

#include "table/registry.h"

namespace quillane::table {

using namespace detail;

namespace {

bool ValidAlias(const Text& alias) {
  for (std::size_t k = 0; k < alias.size(); ++k) {
    const auto c = static_cast<unsigned char>(alias[k]);
    const bool first = k == 0;
    if (c < 0x80) {
      const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
      const bool digit = c >= '0' && c <= '9';
      if (!(letter || (digit && !first))) return false;
      continue;
    }
    if (!IsLeadByte(c) || k + 1 >= alias.size()) return false;
    const auto t = static_cast<unsigned char>(alias[k + 1]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    const unsigned code = (static_cast<unsigned>(c) << 8) | t;
    const bool fullLetter =
        (code >= 0xA3C1 && code <= 0xA3DA) || (code >= 0xA3E1 && code <= 0xA3FA);
    const bool fullDigit = code >= 0xA3B0 && code <= 0xA3B9;
    const bool hanzi = (c >= 0x81 && c <= 0xA0) || (c >= 0xAA && c <= 0xFE);
    const bool kana = (code >= 0xA4A1 && code <= 0xA4F3) || (code >= 0xA5A1 && code <= 0xA5F6);
    if (!(fullLetter || (fullDigit && !first) || hanzi || kana || code == 0xA960)) return false;
    ++k;
  }
  return true;
}

// Opens an existing table or companion file with the table's access and
// share mode, retrying while another opening refuses it.
int OpenExisting(const OpenTableState& t, File& file, const Text& path) {
  return WithRetry(LockWaitTime(), [&] {
    return file.Open(path, t.readOnly ? Access::kRead : Access::kReadWrite, t.share,
                     Disposition::kOpenExisting);
  });
}

int CheckCompanion(OpenTableState& t) {
  auto companion = std::make_unique<DataFile>();
  companion->cipher = t.cipher.get();
  companion->lockless = t.table.lockless;
  int rc = OpenExisting(t, companion->file, CompanionPath(t.fullPath));
  if (rc != 0) return kCompanionReadFailed;
  WholeLock lock(*companion);
  rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::uint8_t raw[kCompanionHeaderSize];
  if (companion->ReadExact(0, raw, sizeof raw, kCompanionReadFailed) != 0)
    return kCompanionReadFailed;
  CompanionHeader h;
  ParseCompanionHeader(raw, h);
  if (std::memcmp(h.magic.data(), "WEDT", 4) != 0 || h.blockCount <= 0 || h.freeCount < 0 ||
      h.freeCount >= h.blockCount || h.firstFree < 0 || h.firstFree >= h.blockCount)
    return kCompanionReadFailed;
  if (h.version != t.header.version) return kCompanionVersion;
  std::int64_t size = 0;
  rc = companion->Size(&size);
  if (rc != 0) return rc;
  const std::int64_t blocks = size / kBlockSize;
  if (blocks < h.blockCount) {
    if (t.readOnly) return kCompanionDamaged;
    // Not even the header block is whole: nothing to repair from.
    if (blocks < 1) return kCompanionReadFailed;
    h.blockCount = static_cast<std::int32_t>(blocks);
    // A free list that now points past the end is dropped (its blocks are lost, not reused).
    if (h.firstFree >= h.blockCount || h.freeCount >= h.blockCount) {
      h.firstFree = 0;
      h.freeCount = 0;
    }
    SerializeCompanionHeader(h, raw);
    rc = companion->Write(0, raw, sizeof raw);
    if (rc != 0) return rc;
  }
  lock.Release();
  t.companion = std::move(companion);
  return 0;
}

// Reads the header and checks its magic, the password and the counters.
int CheckHeader(OpenTableState& t, const Text& password) {
  std::uint8_t raw[kHeaderSize];
  const int rc = t.table.ReadExact(0, raw, sizeof raw, kNotATable);
  if (rc != 0) return rc;
  ParseHeader(raw, t.header);
  const TableHeader& h = t.header;
  if (!h.KnownMagic()) return kNotATable;
  if (!h.Protected()) {
    if (!password.empty()) return kBadPassword;
  } else {
    if (password.empty() || !VerifierMatches(h.verifier, t.cipher->Verifier())) return kBadPassword;
  }
  // Record size must at least hold the record serial.
  if (h.recordCount < 0 || h.nextSerial <= 0 || h.recordSize < 4) return kNotATable;
  if (h.version > kVersion) return kVersionTooHigh;
  return 0;
}

// Reads and checks the field descriptors of a file of `size` bytes; sets the
// fields, where the records start and their size.
int ReadDescriptors(OpenTableState& t, std::int64_t size, bool* needsCompanion) {
  DataFile& f = t.table;
  std::uint8_t countRaw[4];
  if (f.ReadExact(kHeaderSize, countRaw, 4, kNotATable) != 0) return kNotATable;
  const std::int32_t n = GetInt32(countRaw);
  // The descriptors must be in the file; this also bounds the memory taken.
  if (n <= 0 || n > (size - kFieldsOffset) / kDescriptorSize) return kNotATable;
  std::vector<std::uint8_t> descriptors(static_cast<std::size_t>(n) * kDescriptorSize);
  const int rc = f.ReadExact(kFieldsOffset, descriptors.data(), descriptors.size(), kNotATable);
  if (rc != 0) return rc;
  t.fields.resize(static_cast<std::size_t>(n));
  *needsCompanion = false;
  for (std::int32_t k = 0; k < n; ++k) {
    FieldDescriptor& d = t.fields[static_cast<std::size_t>(k)];
    ParseDescriptor(descriptors.data() + k * kDescriptorSize, d);
    if (!d.terminated || d.offset < 0 || d.type < static_cast<std::int32_t>(FieldType::kByte) ||
        d.type > static_cast<std::int32_t>(FieldType::kMemo))
      return kNotATable;
    if (d.type == static_cast<std::int32_t>(FieldType::kText) && d.width < 1) return kNotATable;
    // A field must lie inside the record, or reads would reach into the next one.
    if (static_cast<std::int64_t>(d.offset) + d.Size() > t.header.recordSize) return kNotATable;
    *needsCompanion = *needsCompanion || IsBlockType(d.type);
  }
  t.dataStart = kFieldsOffset + static_cast<std::int64_t>(n) * kDescriptorSize;
  t.recordSize = t.header.recordSize;
  return 0;
}

// Record-count repair: a torn append leaves a partial tail, a lost tail
// leaves a count larger than the records present. A writable opening mends
// the file; a read-only one refuses it, or with acceptShort counts only the
// whole records.
int MatchRecordCount(OpenTableState& t, std::int64_t size, bool acceptShort) {
  DataFile& f = t.table;
  TableHeader& h = t.header;
  const std::int64_t whole = (size - t.dataStart) / t.recordSize;
  if (whole < h.recordCount && t.readOnly && acceptShort) {
    t.countLimit = std::max<std::int64_t>(whole, 0);
  } else if (whole < h.recordCount) {
    if (t.readOnly) return kFileSizeWrong;
    h.recordCount = static_cast<std::int32_t>(whole);
    std::uint8_t countBytes[4];
    PutInt32(countBytes, h.recordCount);
    int rc = f.Write(kCountersOffset, countBytes, 4);
    if (rc != 0) return rc;
    rc = f.file.Truncate(t.RecordOffset(whole));
    if (rc != 0) return rc;
  } else if (!t.readOnly && size != t.RecordOffset(h.recordCount)) {
    const int rc = f.file.Truncate(t.RecordOffset(h.recordCount));
    if (rc != 0) return rc;
  }
  return 0;
}

int CheckTable(OpenTableState& t, const Text& password, bool acceptShort) {
  int rc = CheckHeader(t, password);
  if (rc != 0) return rc;
  std::int64_t size = 0;
  rc = t.table.Size(&size);
  if (rc != 0) return rc;
  bool needsCompanion = false;
  rc = ReadDescriptors(t, size, &needsCompanion);
  if (rc != 0) return rc;
  rc = MatchRecordCount(t, size, acceptShort);
  if (rc != 0) return rc;
  if (needsCompanion) return CheckCompanion(t);
  return 0;
}

}  // namespace

bool OpenTable(const Text& file, const Text& alias, const Text& password) {
  return OpenTable(file, alias, password, OpenOptions{});
}

bool OpenTable(const Text& file, const Text& alias, const Text& password,
               const OpenOptions& options) {
  try {
    if (file.empty()) return SetError(kFileNotFound), false;
    if (!alias.empty() && !ValidAlias(alias)) return SetError(kInvalidAlias), false;
    Text full;
    int rc = FullPath(WithDefaultExtension(file), &full);
    if (rc != 0) return SetError(rc), false;
    for (const auto& t : TheRegistry().tables)
      if (SameName(t->fullPath, full)) return SetError(kAlreadyOpen), false;

    auto t = std::make_unique<OpenTableState>();
    t->fullPath = full;
    t->title = FileTitle(full);
    t->alias = alias;
    t->readOnly = options.readOnly;
    t->share = ShareFromMode(options.shareMode);
    t->table.lockless = t->share == Share::kDenyRead || t->share == Share::kExclusive;
    if (!password.empty()) {
      t->cipher = std::make_unique<PageCipher>(StreamsFor(password));
      t->table.cipher = t->cipher.get();
    }
    rc = OpenExisting(*t, t->table.file, full);
    if (rc != 0) return SetError(rc), false;
    {
      WholeLock lock(t->table);
      rc = lock.Acquire(LockWaitTime());
      if (rc != 0) return SetError(rc), false;
      rc = CheckTable(*t, password, options.acceptShort);
      if (rc != 0) return SetError(rc), false;
    }
    Registry& r = TheRegistry();
    r.tables.push_back(std::move(t));
    r.current = r.tables.back().get();
    SetError(0);
    return true;
  } catch (const std::bad_alloc&) {
    return SetError(kOutOfMemory), false;
  }
}

}  // namespace quillane::table

#include "table/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "table/sort.h"
#include "table/storage.h"

namespace quillane::table {

namespace {

thread_local int tLastError = 0;

int SetError(int code) {
  tLastError = code;
  return code;
}

struct OpenTableState {
  Text fullPath;
  Text title;
  Text alias;
  bool readOnly = false;
  Share share = Share::kReadWrite;
  std::unique_ptr<PageCipher> cipher;
  TableHeader header;
  std::vector<FieldDescriptor> fields;
  std::int64_t dataStart = 0;
  std::int64_t recordSize = 0;
  std::int64_t current = 0;
  // The whole records of a short file opened with acceptShort; -1 otherwise.
  std::int64_t countLimit = -1;
  DataFile table;
  std::unique_ptr<DataFile> companion;

  std::int64_t RecordOffset(std::int64_t index) const { return dataStart + index * recordSize; }
};

struct Registry {
  std::vector<std::unique_ptr<OpenTableState>> tables;  // in order of opening
  OpenTableState* current = nullptr;
  ~Registry() { tables.clear(); }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Equality ignoring ASCII case, double-byte characters compared as units.
bool SameName(const Text& a, const Text& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const auto x = static_cast<unsigned char>(a[k]);
    const auto y = static_cast<unsigned char>(b[k]);
    if (IsLead(x) && k + 1 < a.size()) {
      if (x != y || a[k + 1] != b[k + 1]) return false;
      ++k;
      continue;
    }
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    if (lower(x) != lower(y)) return false;
  }
  return true;
}

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
    if (!IsLead(c) || k + 1 >= alias.size()) return false;
    const auto t = static_cast<unsigned char>(alias[k + 1]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    const unsigned code = (static_cast<unsigned>(c) << 8) | t;
    const bool fullLetter = (code >= 0xA3C1 && code <= 0xA3DA) || (code >= 0xA3E1 && code <= 0xA3FA);
    const bool fullDigit = code >= 0xA3B0 && code <= 0xA3B9;
    const bool hanzi = (c >= 0x81 && c <= 0xA0) || (c >= 0xAA && c <= 0xFE);
    const bool kana = (code >= 0xA4A1 && code <= 0xA4F3) || (code >= 0xA5A1 && code <= 0xA5F6);
    if (!(fullLetter || (fullDigit && !first) || hanzi || kana || code == 0xA960)) return false;
    ++k;
  }
  return true;
}

OpenTableState* Lookup(const Text& name) {
  if (name.empty()) return nullptr;
  auto& tables = TheRegistry().tables;
  for (auto it = tables.rbegin(); it != tables.rend(); ++it)
    if (!(*it)->alias.empty() && SameName((*it)->alias, name)) return it->get();
  for (auto it = tables.rbegin(); it != tables.rend(); ++it)
    if (SameName((*it)->title, name)) return it->get();
  for (auto it = tables.rbegin(); it != tables.rend(); ++it)
    if (SameName((*it)->fullPath, name)) return it->get();
  return nullptr;
}

int FindField(const OpenTableState& t, const FieldRef& ref) {
  if (ref.IsName()) {
    for (std::size_t k = 0; k < t.fields.size(); ++k)
      if (SameName(t.fields[k].name, ref.Name())) return static_cast<int>(k);
    return -1;
  }
  if (ref.IsPosition() && ref.Position() >= 1 &&
      ref.Position() <= static_cast<std::int64_t>(t.fields.size()))
    return static_cast<int>(ref.Position() - 1);
  return -1;
}

// The wait for the header counters: at least 2000 ms, so a writer in another
// process that holds them briefly does not make a count fail.
int HeaderWait() {
  const int wait = LockWaitTime();
  return (wait >= 0 && wait < 2000) ? 2000 : wait;
}

int ReadCounters(OpenTableState& t, std::int32_t* count, std::int32_t* serial, int waitMs) {
  ByteLock lock(t.table, kCountersOffset);
  int rc = lock.Acquire(waitMs);
  if (rc != 0) return rc;
  std::uint8_t raw[8];
  rc = t.table.ReadExact(kCountersOffset, raw, sizeof raw, kRecordCountFailed);
  if (rc != 0) return rc;
  *count = GetInt32(raw);
  if (t.countLimit >= 0 && *count > t.countLimit) *count = static_cast<std::int32_t>(t.countLimit);
  *serial = GetInt32(raw + 4);
  return 0;
}

// ---- opening ----------------------------------------------------------------

int CheckCompanion(OpenTableState& t, const Text& password) {
  auto companion = std::make_unique<DataFile>();
  companion->cipher = t.cipher.get();
  companion->lockless = t.table.lockless;
  const Text path = CompanionPath(t.fullPath);
  int rc = WithRetry(LockWaitTime(), [&] {
    return companion->file.Open(path, t.readOnly ? Access::kRead : Access::kReadWrite, t.share,
                                Disposition::kOpenExisting);
  });
  if (rc != 0) return kCompanionReadFailed;
  (void)password;
  WholeLock lock(*companion);
  rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::uint8_t raw[kCompanionHeaderSize];
  if (companion->ReadExact(0, raw, sizeof raw, kCompanionReadFailed) != 0) return kCompanionReadFailed;
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

int CheckTable(OpenTableState& t, const Text& password, bool acceptShort) {
  DataFile& f = t.table;
  std::uint8_t raw[kHeaderSize];
  int rc = f.ReadExact(0, raw, sizeof raw, kNotATable);
  if (rc != 0) return rc;
  ParseHeader(raw, t.header);
  TableHeader& h = t.header;
  if (!h.KnownMagic()) return kNotATable;
  if (!h.Protected()) {
    if (!password.empty()) return kBadPassword;
  } else {
    if (password.empty() || !VerifierMatches(h.verifier, t.cipher->Verifier())) return kBadPassword;
  }
  // Record size must at least hold the record serial.
  if (h.recordCount < 0 || h.nextSerial <= 0 || h.recordSize < 4) return kNotATable;
  if (h.version > kVersion) return kVersionTooHigh;

  std::int64_t size = 0;
  rc = f.Size(&size);
  if (rc != 0) return rc;
  std::uint8_t countRaw[4];
  if (f.ReadExact(kHeaderSize, countRaw, 4, kNotATable) != 0) return kNotATable;
  const std::int32_t n = GetInt32(countRaw);
  // The descriptors must be in the file; this also bounds the memory taken.
  if (n <= 0 || n > (size - kFieldsOffset) / kDescriptorSize) return kNotATable;
  std::vector<std::uint8_t> descriptors(static_cast<std::size_t>(n) * kDescriptorSize);
  rc = f.ReadExact(kFieldsOffset, descriptors.data(), descriptors.size(), kNotATable);
  if (rc != 0) return rc;
  t.fields.resize(static_cast<std::size_t>(n));
  bool needsCompanion = false;
  for (std::int32_t k = 0; k < n; ++k) {
    FieldDescriptor& d = t.fields[static_cast<std::size_t>(k)];
    ParseDescriptor(descriptors.data() + k * kDescriptorSize, d);
    if (!d.terminated || d.offset < 0 || d.type < 1 || d.type > 12) return kNotATable;
    if (d.type == static_cast<std::int32_t>(FieldType::kText) && d.width < 1) return kNotATable;
    // A field must lie inside the record, or reads would reach into the next one.
    if (static_cast<std::int64_t>(d.offset) + d.Size() > h.recordSize) return kNotATable;
    needsCompanion = needsCompanion || IsBlockType(d.type);
  }
  t.dataStart = kFieldsOffset + static_cast<std::int64_t>(n) * kDescriptorSize;
  t.recordSize = h.recordSize;

  // Record-count repair: a torn append leaves a partial tail, a lost tail
  // leaves a count larger than the records present.
  const std::int64_t whole = (size - t.dataStart) / t.recordSize;
  if (whole < h.recordCount && t.readOnly && acceptShort) {
    t.countLimit = std::max<std::int64_t>(whole, 0);
  } else if (whole < h.recordCount) {
    if (t.readOnly) return kFileSizeWrong;
    h.recordCount = static_cast<std::int32_t>(whole);
    std::uint8_t countBytes[4];
    PutInt32(countBytes, h.recordCount);
    rc = f.Write(kCountersOffset, countBytes, 4);
    if (rc != 0) return rc;
    rc = f.file.Truncate(t.RecordOffset(whole));
    if (rc != 0) return rc;
  } else if (!t.readOnly && size != t.RecordOffset(h.recordCount)) {
    rc = f.file.Truncate(t.RecordOffset(h.recordCount));
    if (rc != 0) return rc;
  }

  if (needsCompanion) return CheckCompanion(t, password);
  return 0;
}

// ---- values -----------------------------------------------------------------

Value EmptyValue(std::int32_t type) {
  switch (static_cast<FieldType>(type)) {
    case FieldType::kByte:
      return std::uint8_t{0};
    case FieldType::kShort:
      return std::int16_t{0};
    case FieldType::kInt:
      return std::int32_t{0};
    case FieldType::kLong:
      return std::int64_t{0};
    case FieldType::kFloat:
      return 0.0f;
    case FieldType::kDouble:
      return 0.0;
    case FieldType::kBool:
      return false;
    case FieldType::kDateTime:
      return DateTime{};
    case FieldType::kSubroutine:
      return RoutinePointer{};
    case FieldType::kText:
    case FieldType::kMemo:
      return Text{};
    case FieldType::kByteArray:
      return Bytes{};
  }
  return std::monostate{};
}

Value DecodeField(const FieldDescriptor& d, const std::uint8_t* p) {
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      return p[0];
    case FieldType::kShort:
      return static_cast<std::int16_t>(p[0] | (p[1] << 8));
    case FieldType::kInt:
      return GetInt32(p);
    case FieldType::kLong:
      return GetInt64(p);
    case FieldType::kFloat: {
      const auto u = static_cast<std::uint32_t>(GetInt32(p));
      float f;
      std::memcpy(&f, &u, 4);
      return f;
    }
    case FieldType::kDouble:
      return GetDouble(p);
    case FieldType::kBool:
      return p[0] != 0;
    case FieldType::kDateTime: {
      double v = GetDouble(p);
      if (std::isnan(v)) v = 0;
      return DateTime{std::clamp(v, -657434.0, 2958465.0)};
    }
    case FieldType::kSubroutine:
      return reinterpret_cast<RoutinePointer>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(GetInt32(p))));
    case FieldType::kText: {
      const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(d.width)));
      const std::size_t n = end ? static_cast<std::size_t>(end - p) : static_cast<std::size_t>(d.width);
      return Text(reinterpret_cast<const char*>(p), n);
    }
    default:
      return std::monostate{};
  }
}

// Whole numbers from any numeric value, keeping the low bytes; floating-point
// values truncate toward zero and saturate at the 64-bit range (NaN gives 0).
std::int64_t ToWhole(const Value& v) {
  if (auto* f = std::get_if<float>(&v)) return ToWhole(Value(static_cast<double>(*f)));
  if (auto* d = std::get_if<double>(&v)) {
    if (std::isnan(*d)) return 0;
    if (*d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (*d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*d);
  }
  if (auto* b = std::get_if<std::uint8_t>(&v)) return *b;
  if (auto* s = std::get_if<std::int16_t>(&v)) return *s;
  if (auto* i = std::get_if<std::int32_t>(&v)) return *i;
  if (auto* l = std::get_if<std::int64_t>(&v)) return *l;
  return 0;
}

double ToReal(const Value& v) {
  if (auto* f = std::get_if<float>(&v)) return *f;
  if (auto* d = std::get_if<double>(&v)) return *d;
  return static_cast<double>(ToWhole(v));
}

bool IsNumeric(const Value& v) {
  return std::holds_alternative<std::uint8_t>(v) || std::holds_alternative<std::int16_t>(v) ||
         std::holds_alternative<std::int32_t>(v) || std::holds_alternative<std::int64_t>(v) ||
         std::holds_alternative<float>(v) || std::holds_alternative<double>(v);
}

bool IsNumericType(std::int32_t type) { return type >= 1 && type <= 6; }

// The value in the field's own value type, or false for a mismatch.
bool ConvertForField(const FieldDescriptor& d, const Value& in, Value* out) {
  if (std::holds_alternative<std::monostate>(in)) {
    *out = EmptyValue(d.type);
    return true;
  }
  const Value empty = EmptyValue(d.type);
  if (in.index() == empty.index()) {
    *out = in;
    return true;
  }
  if (!IsNumeric(in) || !IsNumericType(d.type)) return false;
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      *out = static_cast<std::uint8_t>(static_cast<std::uint64_t>(ToWhole(in)));
      return true;
    case FieldType::kShort:
      *out = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(ToWhole(in))));
      return true;
    case FieldType::kInt:
      *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ToWhole(in))));
      return true;
    case FieldType::kLong:
      *out = ToWhole(in);
      return true;
    case FieldType::kFloat:
      *out = static_cast<float>(ToReal(in));
      return true;
    case FieldType::kDouble:
      *out = ToReal(in);
      return true;
    default:
      return false;
  }
}

// How many leading bytes of `s` a text field of `width` bytes takes: all of
// them when they fit, else as many as fit without splitting a double-byte
// character (its lead byte is left out with its trail byte).
std::size_t TextBytesThatFit(const Text& s, std::size_t width) {
  if (s.size() <= width) return s.size();
  std::size_t k = 0;
  while (k < width) {
    const std::size_t step = IsLead(static_cast<unsigned char>(s[k])) && k + 1 < s.size() ? 2 : 1;
    if (k + step > width) break;
    k += step;
  }
  return k;
}

// Bytes of a fixed-size value for the record.
void EncodeField(const FieldDescriptor& d, const Value& v, std::uint8_t* p) {
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      p[0] = std::get<std::uint8_t>(v);
      break;
    case FieldType::kShort: {
      const auto s = static_cast<std::uint16_t>(std::get<std::int16_t>(v));
      p[0] = static_cast<std::uint8_t>(s);
      p[1] = static_cast<std::uint8_t>(s >> 8);
      break;
    }
    case FieldType::kInt:
      PutInt32(p, std::get<std::int32_t>(v));
      break;
    case FieldType::kLong:
      PutInt64(p, std::get<std::int64_t>(v));
      break;
    case FieldType::kFloat: {
      std::uint32_t u;
      const float f = std::get<float>(v);
      std::memcpy(&u, &f, 4);
      PutInt32(p, static_cast<std::int32_t>(u));
      break;
    }
    case FieldType::kDouble:
      PutDouble(p, std::get<double>(v));
      break;
    case FieldType::kBool:
      p[0] = std::get<bool>(v) ? 1 : 0;
      break;
    case FieldType::kDateTime:
      PutDouble(p, std::get<DateTime>(v).days);
      break;
    case FieldType::kSubroutine:
      PutInt32(p, static_cast<std::int32_t>(
                      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(std::get<RoutinePointer>(v)))));
      break;
    case FieldType::kText: {
      const Text& s = std::get<Text>(v);
      const std::size_t width = static_cast<std::size_t>(d.width);
      std::memset(p, 0, width);
      std::memcpy(p, s.data(), TextBytesThatFit(s, width));
      break;
    }
    default:
      break;
  }
}

OpenTableState* TableFor(const Text& name) {
  return name.empty() ? TheRegistry().current : Lookup(name);
}

}  // namespace

FieldRef FieldRef::FromValue(const Value& value) {
  if (auto* t = std::get_if<Text>(&value)) return FieldRef(*t);
  if (IsNumeric(value)) {
    if (std::holds_alternative<float>(value) || std::holds_alternative<double>(value))
      return FieldRef(ToReal(value));
    return FieldRef(ToWhole(value));
  }
  return FieldRef();
}

int LastError() { return tLastError; }
const char* LastErrorText() { return ErrorText(tLastError); }

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
      t->cipher = std::make_unique<PageCipher>(password);
      t->table.cipher = t->cipher.get();
    }
    rc = WithRetry(LockWaitTime(), [&] {
      return t->table.file.Open(full, t->readOnly ? Access::kRead : Access::kReadWrite, t->share,
                                Disposition::kOpenExisting);
    });
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

bool SelectTable(const Text& name) {
  OpenTableState* t = Lookup(name);
  if (!t) return SetError(kTableNotOpen), false;
  TheRegistry().current = t;
  SetError(0);
  return true;
}

void CloseTable(const Text& name) {
  SetError(0);
  Registry& r = TheRegistry();
  OpenTableState* t = name.empty() ? r.current : Lookup(name);
  if (!t) return;
  if (r.current == t) r.current = nullptr;
  t->table.ReleaseAll();
  if (t->companion) t->companion->ReleaseAll();
  r.tables.erase(std::find_if(r.tables.begin(), r.tables.end(),
                              [t](const auto& p) { return p.get() == t; }));
}

void CloseAllTables() {
  SetError(0);
  Registry& r = TheRegistry();
  r.current = nullptr;
  r.tables.clear();
}

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
    const std::int64_t record = t->RecordOffset(t->current);
    ByteLock lock(t->table, record);
    int rc = lock.Acquire(LockWaitTime());
    if (rc != 0) return SetError(rc), result;
    const std::int64_t position = record + d.offset;
    // Nothing read at the position: it is at or beyond the end of the file.
    // (Field sizes are bounded by the record size, which the file bounds
    // when any record exists; a huge field of a table without records reads
    // nothing and takes no memory for it.)
    const std::size_t n = static_cast<std::size_t>(d.Size());
    std::uint8_t small[16];
    std::vector<std::uint8_t> large;
    std::uint8_t* raw = small;
    constexpr std::size_t kTrustedSize = 65536;  // allocated without asking the file's size
    if (n > kTrustedSize) {
      std::uint8_t probe;
      std::size_t got = 0;
      rc = t->table.file.ReadAt(position, &probe, 1, &got);
      if (rc != 0) return SetError(rc), result;
      if (got == 0) return SetError(kSeekFailed), result;
      std::int64_t size = 0;
      rc = t->table.Size(&size);
      if (rc != 0) return SetError(rc), result;
      if (position + static_cast<std::int64_t>(n) > size) return SetError(kReadFieldFailed), result;
    }
    if (n > sizeof small) {
      large.resize(n);
      raw = large.data();
    }
    std::size_t got = 0;
    rc = t->table.Read(position, raw, n, &got);
    if (rc != 0) return SetError(rc), result;
    if (got == 0) return SetError(kSeekFailed), result;
    if (got < n) return SetError(kReadFieldFailed), result;
    if (IsBlockType(d.type)) {
      if (!t->companion) return SetError(kReadFieldFailed), result;
      Bytes value;
      rc = ReadChain(*t->companion, GetInt32(raw), &value);
      if (rc != 0) return SetError(rc), result;
      if (d.type == static_cast<std::int32_t>(FieldType::kMemo)) {
        const auto zero = std::find(value.begin(), value.end(), 0);
        result.value = Text(value.begin(), zero);
      } else {
        result.value = std::move(value);
      }
    } else {
      result.value = DecodeField(d, raw);
    }
    lock.Release();
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
    const std::int64_t record = t->RecordOffset(t->current);
    ByteLock lock(t->table, record);
    int rc = lock.Acquire(LockWaitTime());
    if (rc != 0) return SetError(rc), false;
    std::int64_t size = 0;
    rc = t->table.Size(&size);
    if (rc != 0) return SetError(rc), false;
    const std::int64_t position = record + d.offset;
    if (record >= size || position + d.Size() > size) return SetError(kNoCurrentRecord), false;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(d.Size()));
    if (IsBlockType(d.type)) {
      std::uint8_t old[4];
      rc = t->table.ReadExact(position, old, 4, kReadFieldFailed);
      if (rc != 0) return SetError(rc), false;
      if (!t->companion) return SetError(kCompanionAccessFailed), false;
      const std::uint8_t* data = nullptr;
      std::size_t length = 0;
      if (auto* s = std::get_if<Text>(&converted)) {
        data = reinterpret_cast<const std::uint8_t*>(s->data());
        length = s->size();
      } else if (auto* b = std::get_if<Bytes>(&converted)) {
        data = b->data();
        length = b->size();
      }
      ByteLock headerLock(*t->companion, 0);
      rc = headerLock.Acquire(LockWaitTime());
      if (rc != 0) return SetError(rc), false;
      std::int32_t first = 0;
      rc = WriteChain(*t->companion, GetInt32(old), data, length, &first);
      if (rc != 0) return SetError(rc), false;
      PutInt32(raw.data(), first);
    } else {
      EncodeField(d, converted, raw.data());
    }
    rc = t->table.Write(position, raw.data(), raw.size());
    if (rc != 0) return SetError(rc), false;
    SetError(0);
    return true;
  } catch (const std::bad_alloc&) {
    return SetError(kWriteFieldFailed), false;
  }
}

bool AppendRecord() {
  OpenTableState* t = TheRegistry().current;
  if (!t) return SetError(kNoCurrentTable), false;
  try {
    ByteLock headerLock(t->table, kCountersOffset);
    int rc = headerLock.Acquire(LockWaitTime());
    if (rc != 0) return SetError(rc), false;
    std::uint8_t raw[8];
    rc = t->table.ReadExact(kCountersOffset, raw, sizeof raw, kRecordCountFailed);
    if (rc != 0) return SetError(rc), false;
    std::int32_t count = std::max(GetInt32(raw), 0);
    std::int32_t serial = std::max(GetInt32(raw + 4), 1);
    // The counters are 32-bit; a full table refuses instead of wrapping.
    if (count == std::numeric_limits<std::int32_t>::max() ||
        serial == std::numeric_limits<std::int32_t>::max())
      return SetError(kWriteRecordFailed), false;
    const std::int64_t position = t->RecordOffset(count);
    ByteLock recordLock(t->table, position);
    rc = recordLock.Acquire(LockWaitTime());
    if (rc != 0) return SetError(rc), false;
    std::int64_t size = 0;
    rc = t->table.Size(&size);
    if (rc != 0) return SetError(rc), false;
    if (size < position) return SetError(kSeekFailed), false;
    // The new record in pieces of at most 64 KiB: its serial, then zero bytes.
    const std::int64_t piece = std::min<std::int64_t>(t->recordSize, 65536);
    std::vector<std::uint8_t> zeros(static_cast<std::size_t>(piece), 0);
    PutInt32(zeros.data(), serial);
    for (std::int64_t done = 0; done < t->recordSize && rc == 0; done += piece) {
      const std::int64_t n = std::min(piece, t->recordSize - done);
      rc = t->table.Write(position + done, zeros.data(), static_cast<std::size_t>(n));
      if (done == 0) std::fill(zeros.begin(), zeros.begin() + 4, 0);
    }
    if (rc != 0) return SetError(rc), false;
    PutInt32(raw, count + 1);
    PutInt32(raw + 4, serial + 1);
    rc = t->table.Write(kCountersOffset, raw, sizeof raw);
    if (rc != 0) return SetError(rc), false;
    t->current = count;
    SetError(0);
    return true;
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
    std::uint8_t counters[12];
    PutInt32(counters, 1);
    PutInt32(counters + 4, 0);
    PutInt32(counters + 8, 0);
    rc = t->companion->Write(16, counters, sizeof counters);
    if (rc == 0) rc = t->companion->file.Truncate(kBlockSize);
  }
  if (rc != 0) return SetError(rc), false;
  t->current = 0;
  SetError(0);
  return true;
}

namespace {

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
      return order(static_cast<std::uint32_t>(GetInt32(a)), static_cast<std::uint32_t>(GetInt32(b)));
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

struct Target {
  DataFile table;
  std::unique_ptr<DataFile> companion;
};

int SortInto(OpenTableState& src, const Text& targetName, const SortOptions& options) {
  // Keys.
  if (options.keys.empty()) return kBadKeyField;
  std::vector<int> keys;
  for (const Text& name : options.keys) {
    const int k = FindField(src, FieldRef(name));
    if (k < 0 || IsBlockType(src.fields[static_cast<std::size_t>(k)].type)) return kBadKeyField;
    keys.push_back(k);
  }
  std::vector<bool> ascending(keys.size(), true);
  for (std::size_t k = 0; k < keys.size() && k < options.ascending.size(); ++k)
    ascending[k] = options.ascending[k];
  // Fields to keep.
  std::vector<int> keep;
  for (const Text& name : options.keep) {
    const int k = FindField(src, FieldRef(name));
    if (k >= 0) keep.push_back(k);
  }
  if (keep.empty())
    for (std::size_t k = 0; k < src.fields.size(); ++k) keep.push_back(static_cast<int>(k));
  std::vector<FieldDescriptor> kept;
  bool needsCompanion = false;
  for (int k : keep) {
    kept.push_back(src.fields[static_cast<std::size_t>(k)]);
    needsCompanion = needsCompanion || IsBlockType(kept.back().type);
  }

  // The target.
  if (targetName.empty()) return kFileNotFound;
  Text full;
  int rc = FullPath(WithDefaultExtension(targetName), &full);
  if (rc != 0) return rc;
  const double now = NowAsDateTime();
  Target target;
  rc = target.table.file.Open(full, Access::kReadWrite, Share::kExclusive, Disposition::kCreateAlways);
  if (rc != 0) return rc;
  target.table.lockless = true;
  target.table.cipher = src.cipher.get();
  // The new file carries the source's verifier; BuildTableFile derives it from
  // the password, which is the one the source was opened with.
  {
    TableHeader h;
    h.created = now;
    h.magic = src.header.magic;
    h.verifier = src.header.verifier;
    std::int64_t recordSize = 4;
    for (auto& f : kept) {
      f.offset = static_cast<std::int32_t>(recordSize);
      recordSize += f.Size();
    }
    if (recordSize > std::numeric_limits<std::int32_t>::max()) return kCreateTableFailed;
    h.recordSize = static_cast<std::int32_t>(recordSize);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kFieldsOffset + kDescriptorSize * kept.size()));
    SerializeHeader(h, bytes.data());
    PutInt32(bytes.data() + kHeaderSize, static_cast<std::int32_t>(kept.size()));
    for (std::size_t k = 0; k < kept.size(); ++k)
      SerializeDescriptor(kept[k], bytes.data() + kFieldsOffset + kDescriptorSize * k);
    if (target.table.Write(0, bytes.data(), bytes.size()) != 0) return kCreateTableFailed;
  }
  if (needsCompanion) {
    target.companion = std::make_unique<DataFile>();
    target.companion->lockless = true;
    target.companion->cipher = src.cipher.get();
    if (target.companion->file.Open(CompanionPath(full), Access::kReadWrite, Share::kExclusive,
                                    Disposition::kCreateAlways) != 0)
      return kCreateCompanionFailed;
    Bytes block(kBlockSize, 0);
    CompanionHeader ch;
    ch.created = now;
    SerializeCompanionHeader(ch, block.data());
    if (target.companion->Write(0, block.data(), block.size()) != 0) return kCreateCompanionFailed;
  }
  std::int64_t targetRecordSize = 4;
  for (const auto& f : kept) targetRecordSize += f.Size();
  const std::int64_t targetDataStart = kFieldsOffset + kDescriptorSize * static_cast<std::int64_t>(kept.size());

  // The source, whole.
  WholeLock lock(src.table);
  rc = lock.Acquire(LockWaitTime());
  if (rc != 0) return rc;
  std::uint8_t counters[8];
  rc = src.table.ReadExact(kCountersOffset, counters, 8, kRecordCountFailed);
  if (rc != 0) return rc;
  std::int64_t count = std::max(GetInt32(counters), 0);
  if (src.countLimit >= 0) count = std::min(count, src.countLimit);

  // Sort entries: record index plus key bytes.
  std::int64_t keyBytes = 0;
  for (int k : keys) keyBytes += src.fields[static_cast<std::size_t>(k)].Size();
  std::int64_t size = 0;
  rc = src.table.Size(&size);
  if (rc != 0) return rc;
  // Never reserve more than the file can hold.
  const std::int64_t present = std::min<std::int64_t>(count, std::max<std::int64_t>(0, (size - src.dataStart) / src.recordSize));
  std::vector<std::uint8_t> keyData;
  keyData.reserve(static_cast<std::size_t>(present * keyBytes));
  std::vector<std::uint32_t> order;
  order.reserve(static_cast<std::size_t>(present));
  const std::int64_t chunk = std::max<std::int64_t>(1, 163840 / src.recordSize);
  // The source cannot change under the whole-file lock, so when its records
  // fit in memory they are kept from this pass for the output pass, which
  // then needs no second, scattered read of every record.
  constexpr std::int64_t kKeepLimit = std::int64_t{256} << 20;
  const bool keepAll = present * src.recordSize <= kKeepLimit;
  std::vector<std::uint8_t> all;
  std::vector<std::uint8_t> buffer;
  for (std::int64_t first = 0; first < count; first += chunk) {
    const std::int64_t n = std::min(chunk, count - first);
    // A count beyond the file is a failed read, found before any memory is taken for it.
    if (src.RecordOffset(first + n) > size) return kReadRecordFailed;
    std::uint8_t* into;
    if (keepAll) {
      all.resize(static_cast<std::size_t>((first + n) * src.recordSize));
      into = all.data() + first * src.recordSize;
    } else {
      buffer.resize(static_cast<std::size_t>(n * src.recordSize));
      into = buffer.data();
    }
    rc = src.table.ReadExact(src.RecordOffset(first), into, static_cast<std::size_t>(n * src.recordSize),
                             kReadRecordFailed);
    if (rc != 0) return kReadRecordFailed;
    for (std::int64_t r = 0; r < n; ++r) {
      const std::uint8_t* rec = into + r * src.recordSize;
      for (int k : keys) {
        const auto& f = src.fields[static_cast<std::size_t>(k)];
        keyData.insert(keyData.end(), rec + f.offset, rec + f.offset + f.Size());
      }
      order.push_back(static_cast<std::uint32_t>(first + r));
    }
  }
  std::vector<std::int64_t> keyOffsets;
  {
    std::int64_t at = 0;
    for (int k : keys) {
      keyOffsets.push_back(at);
      at += src.fields[static_cast<std::size_t>(k)].Size();
    }
  }
  QuickSort(order, [&](std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* a = keyData.data() + static_cast<std::int64_t>(x) * keyBytes;
    const std::uint8_t* b = keyData.data() + static_cast<std::int64_t>(y) * keyBytes;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const auto& f = src.fields[static_cast<std::size_t>(keys[k])];
      const int c = CompareKey(f, a + keyOffsets[k], b + keyOffsets[k]);
      if (c != 0) return ascending[k] ? c : -c;
    }
    return 0;
  });

  // Output in sorted order, written in chunks.
  // (Buffers are sized only when there are records, which bounds them by the file.)
  std::vector<std::uint8_t> sourceBuffer(order.empty() || keepAll ? 0 : static_cast<std::size_t>(src.recordSize));
  std::vector<std::uint8_t> out;
  const std::int64_t outChunk = std::max<std::int64_t>(1, 163840 / targetRecordSize);
  std::int64_t written = 0;
  auto flush = [&]() {
    if (out.empty()) return 0;
    const int w = target.table.Write(targetDataStart + written * targetRecordSize, out.data(), out.size());
    written += static_cast<std::int64_t>(out.size()) / targetRecordSize;
    out.clear();
    return w;
  };
  Bytes value;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::uint8_t* source;
    if (keepAll) {
      source = all.data() + static_cast<std::int64_t>(order[i]) * src.recordSize;
    } else {
      rc = src.table.ReadExact(src.RecordOffset(order[i]), sourceBuffer.data(), sourceBuffer.size(),
                               kReadRecordFailed);
      if (rc != 0) return kReadRecordFailed;
      source = sourceBuffer.data();
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(targetRecordSize), 0);
    std::uint8_t* rec = out.data() + at;
    const auto number = static_cast<std::int32_t>(i + 1);
    PutInt32(rec, GetInt32(source) < 0 ? -number : number);
    for (std::size_t k = 0; k < kept.size(); ++k) {
      const FieldDescriptor& from = src.fields[static_cast<std::size_t>(keep[k])];
      const FieldDescriptor& to = kept[k];
      if (IsBlockType(from.type)) {
        std::int32_t first = 0;
        const std::int32_t oldFirst = GetInt32(source + from.offset);
        if (oldFirst > 0) {
          if (!src.companion) return kReadRecordFailed;
          rc = ReadChain(*src.companion, oldFirst, &value);
          if (rc != 0) return rc;
          rc = WriteChain(*target.companion, 0, value.data(), value.size(), &first);
          if (rc != 0) return rc;
        }
        PutInt32(rec + to.offset, first);
      } else {
        std::memcpy(rec + to.offset, source + from.offset, static_cast<std::size_t>(from.Size()));
      }
    }
    if (static_cast<std::int64_t>(out.size()) >= outChunk * targetRecordSize) {
      rc = flush();
      if (rc != 0) return rc;
    }
  }
  rc = flush();
  if (rc != 0) return rc;
  const auto total = static_cast<std::int32_t>(order.size());
  PutInt32(counters, total);
  PutInt32(counters + 4, total + 1);
  rc = target.table.Write(kCountersOffset, counters, 8);
  if (rc != 0) return rc;
  return 0;
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
  if (rc != 0) return SetError(rc), false;
  SetError(0);
  return true;
}

bool FlushTable(const Text& name) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(name.empty() ? kNoCurrentTable : kTableNotOpen), false;
  int rc = t->table.file.Flush();
  if (rc == 0 && t->companion) rc = t->companion->file.Flush();
  if (rc != 0) return SetError(rc), false;
  SetError(0);
  return true;
}

bool WriteNewTableFile(const Text& file, const Bytes& bytes) {
  if (file.empty()) return SetError(kFileNotFound), false;
  Text full;
  int rc = FullPath(file, &full);
  if (rc != 0) return SetError(rc), false;
  File f;
  rc = f.Open(full, Access::kReadWrite, Share::kExclusive, Disposition::kCreateAlways);
  if (rc == 0) rc = f.WriteAt(0, bytes.data(), bytes.size());
  if (rc == 0) rc = f.Flush();
  if (rc != 0) return SetError(rc), false;
  SetError(0);
  return true;
}

Text ReplacedTablePath(const Text& file) {
  Text stem = file;
  const std::size_t dot = stem.rfind('.');
  const std::size_t slash = stem.find_last_of("\\/");
  if (dot != Text::npos && (slash == Text::npos || dot > slash)) stem.resize(dot);
  return stem + "-replaced.edb";
}

namespace {

// One attempt of ReplaceTableFile.
int ReplaceOnce(const Text& from, const Text& to, const Text& aside) {
  bool readOnly = false;
  const int probe = ProbeFile(to, &readOnly);
  if (probe == 0 && readOnly) return kAccessDenied;
  int rc = RenameFile(from, to, true);
  if (rc != kAccessDenied || probe != 0) return rc;
  // `to` is open somewhere and cannot be replaced in one step: its name is
  // freed by moving the old file aside, which a reader's delete sharing allows.
  rc = RemoveFile(aside);
  // A leftover that cannot go yet (still open, delete pending) passes later.
  if (rc != 0 && rc != kFileNotFound) return kSharingViolation;
  rc = RenameFile(to, aside, false);
  if (rc != 0) return rc;
  rc = RenameFile(from, to, false);
  if (rc != 0) {
    RenameFile(aside, to, false);
    return rc;
  }
  // Gone once its last reader closes it.
  RemoveFile(aside);
  return 0;
}

}  // namespace

bool ReplaceTableFile(const Text& from, const Text& to, int waitMs) {
  Text source, target;
  int rc = FullPath(from, &source);
  if (rc == 0) rc = FullPath(to, &target);
  if (rc == 0) {
    const Text aside = ReplacedTablePath(target);
    rc = WithRetry(waitMs, [&] { return ReplaceOnce(source, target, aside); });
  }
  if (rc != 0) return SetError(rc), false;
  SetError(0);
  return true;
}

bool CopyTableFile(const Text& from, const Text& to) {
  try {
    Text source, target;
    int rc = FullPath(from, &source);
    if (rc == 0) rc = FullPath(to, &target);
    bool readOnly = false;
    if (rc == 0 && ProbeFile(target, &readOnly) == 0) rc = kAccessDenied;
    File in;
    if (rc == 0) rc = in.Open(source, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting);
    std::int64_t size = 0;
    if (rc == 0) rc = in.Size(&size);
    Bytes bytes;
    if (rc == 0) {
      bytes.resize(static_cast<std::size_t>(size));
      std::size_t got = 0;
      rc = in.ReadAt(0, bytes.data(), bytes.size(), &got);
      if (rc == 0 && got != bytes.size()) rc = kReadRecordFailed;
    }
    if (rc != 0) return SetError(rc), false;
    return WriteNewTableFile(target, bytes);
  } catch (const std::bad_alloc&) {
    return SetError(kOutOfMemory), false;
  }
}

std::vector<FieldInfo> TableFields(const Text& name) {
  std::vector<FieldInfo> out;
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(name.empty() ? kNoCurrentTable : kTableNotOpen), out;
  for (const auto& f : t->fields) out.push_back({f.name, f.type, f.offset, f.width});
  SetError(0);
  return out;
}

std::int64_t TableRecordSize(const Text& name) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(name.empty() ? kNoCurrentTable : kTableNotOpen), 0;
  SetError(0);
  return t->recordSize;
}

bool ReadRecordSerial(std::int32_t* serial, const Text& name) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(name.empty() ? kNoCurrentTable : kTableNotOpen), false;
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

}  // namespace quillane::table

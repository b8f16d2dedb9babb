// The registry of open tables and what works on it alone: the last error
// code, the lock wait time, finding tables and fields by name, selecting and
// closing tables, flushing them, and what tools ask about a table.
#include "table/registry.h"

#include <algorithm>
#include <atomic>

namespace quillane::table {

namespace detail {

namespace {

thread_local int tLastError = 0;

// A writer in another process holds the header counters only briefly; a
// count waits at least this long for them rather than failing at once.
constexpr int kMinHeaderWaitMs = 2000;

}  // namespace

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::shared_ptr<PageStreams> StreamsFor(const Text& password) {
  auto& kept = TheRegistry().streams[password];
  if (!kept) kept = std::make_shared<PageStreams>(password);
  return kept;
}

int SetError(int code) {
  tLastError = code;
  return code;
}

bool Report(int rc) { return SetError(rc) == kOk; }

int MissingTableError(const Text& name) { return name.empty() ? kNoCurrentTable : kTableNotOpen; }

bool SameName(const Text& a, const Text& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const auto x = static_cast<unsigned char>(a[k]);
    const auto y = static_cast<unsigned char>(b[k]);
    if (IsLeadByte(x) && k + 1 < a.size()) {
      if (x != y || a[k + 1] != b[k + 1]) return false;
      ++k;
      continue;
    }
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    if (lower(x) != lower(y)) return false;
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

OpenTableState* TableFor(const Text& name) {
  return name.empty() ? TheRegistry().current : Lookup(name);
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

int HeaderWait() {
  const int wait = LockWaitTime();
  return (wait >= 0 && wait < kMinHeaderWaitMs) ? kMinHeaderWaitMs : wait;
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

}  // namespace detail

using namespace detail;

namespace {
std::atomic<int> gLockWait{0};
}  // namespace

int LockWaitTime() { return gLockWait.load(); }
void SetLockWaitTime(int ms) { gLockWait.store(ms); }

void ForgetKeystreams() {
  for (auto& [password, streams] : TheRegistry().streams) {
    (void)password;
    streams->Clear();
  }
}

int LastError() { return tLastError; }
const char* LastErrorText() { return ErrorText(tLastError); }

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
  r.tables.erase(
      std::find_if(r.tables.begin(), r.tables.end(), [t](const auto& p) { return p.get() == t; }));
}

void CloseAllTables() {
  SetError(0);
  Registry& r = TheRegistry();
  r.current = nullptr;
  r.tables.clear();
}

bool FlushTable(const Text& name) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(MissingTableError(name)), false;
  int rc = t->table.file.Flush();
  if (rc == 0 && t->companion) rc = t->companion->file.Flush();
  return Report(rc);
}

std::vector<FieldInfo> TableFields(const Text& name) {
  std::vector<FieldInfo> out;
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(MissingTableError(name)), out;
  for (const auto& f : t->fields) out.push_back({f.name, f.type, f.offset, f.width});
  SetError(0);
  return out;
}

std::int64_t TableRecordSize(const Text& name) {
  OpenTableState* t = TableFor(name);
  if (!t) return SetError(MissingTableError(name)), 0;
  SetError(0);
  return t->recordSize;
}

}  // namespace quillane::table

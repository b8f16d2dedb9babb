// The engine's own state behind engine.h: what an open table holds, the
// process-wide registry of open tables with its current table, the last error
// code of each thread, and the lookups every operation starts with.
// Only the engine's source files include this header.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "table/engine.h"
#include "table/errors.h"
#include "table/format.h"
#include "table/storage.h"

namespace quillane::table::detail {

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
  // The page streams of each password, shared by all its tables and kept
  // after they close: the sorted copy and a reopened table reuse them.
  std::map<Text, std::shared_ptr<PageStreams>> streams;
  ~Registry() { tables.clear(); }
};

Registry& TheRegistry();

// Sets the calling thread's last error code and gives it back.
int SetError(int code);
// Sets the last error code to `rc` and tells whether it is success (0).
bool Report(int rc);
// The code for a table that was not found under `name` (empty: the current one).
int MissingTableError(const Text& name);

// Equality ignoring ASCII case, double-byte characters compared as units.
bool SameName(const Text& a, const Text& b);
// The open table of that alias, else that file title, else that full path;
// the latest opened first. Null when there is none.
OpenTableState* Lookup(const Text& name);
// The table named, or the current one for an empty name.
OpenTableState* TableFor(const Text& name);
// The index of a field of the table, or -1.
int FindField(const OpenTableState& t, const FieldRef& ref);

// The page streams of a password, made on first use.
std::shared_ptr<PageStreams> StreamsFor(const Text& password);

// The wait for the header counters: the lock wait time, but at least
// kMinHeaderWaitMs.
int HeaderWait();
// The record count (cut to a short file's whole records) and the next serial,
// read under the counters' byte lock.
int ReadCounters(OpenTableState& t, std::int32_t* count, std::int32_t* serial, int waitMs);

}  // namespace quillane::table::detail

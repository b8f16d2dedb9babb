// An opened table or companion file as the engine uses it: reads and writes
// pass through the table's scrambling, and locks are kept with their nesting
// counts so that the whole-file lock can leave out the bytes already held.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "services/events.h"
#include "table/errors.h"
#include "table/file_io.h"
#include "table/format.h"

namespace quillane::table {

// The pause between two attempts of WithRetry: kRetryPauseMs and less than
// kRetryJitterMs more, taken from the clock, so that two processes waiting
// for each other's file do not retry in step and keep colliding.
inline constexpr std::uint32_t kRetryPauseMs = 20;
inline constexpr std::uint32_t kRetryJitterMs = 20;

// Runs an attempt again while it is refused with a sharing or lock violation
// and the wait time (milliseconds; 0 no retry, -1 for ever) allows.
template <typename Attempt>
int WithRetry(int waitMs, Attempt attempt) {
  const std::uint32_t start = TickCount();
  for (;;) {
    const int rc = attempt();
    if (rc != kSharingViolation && rc != kLockViolation) return rc;
    if (waitMs == 0) return rc;
    if (waitMs > 0 && TickCount() - start > static_cast<std::uint32_t>(waitMs)) return rc;
    SleepMs(kRetryPauseMs + TickCount() % kRetryJitterMs);
  }
}

class DataFile {
 public:
  File file;
  PageCipher* cipher = nullptr;  // none for an unprotected table
  bool lockless = false;         // share mode 2 or exclusive: no locks at all

  int Read(std::int64_t offset, void* buffer, std::size_t n, std::size_t* got);
  // Reads exactly n bytes or reports `shortCode`.
  int ReadExact(std::int64_t offset, void* buffer, std::size_t n, int shortCode);
  int Write(std::int64_t offset, const void* buffer, std::size_t n);
  // Writes like Write without copying: the buffer is left scrambled.
  int WriteScrambling(std::int64_t offset, std::uint8_t* buffer, std::size_t n);
  int Size(std::int64_t* size) { return file.Size(size); }

  // Single-byte locks with nesting; no-ops while lockless or while the
  // whole-file lock is held (the release then is a no-op too).
  int LockByte(std::int64_t offset, int waitMs);
  int UnlockByte(std::int64_t offset);
  // The 2147483647 bytes from 0, less the bytes held singly; nests.
  int LockWhole(int waitMs);
  int UnlockWhole();
  void ReleaseAll();

 private:
  std::map<std::int64_t, int> held_;
  std::vector<std::int64_t> passed_;  // byte locks that were no-ops, released as no-ops
  int wholeDepth_ = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> wholeRanges_;
};

// Holds a byte lock for a scope.
class ByteLock {
 public:
  ByteLock(DataFile& file, std::int64_t offset) : file_(file), offset_(offset) {}
  ~ByteLock() { Release(); }
  ByteLock(const ByteLock&) = delete;
  ByteLock& operator=(const ByteLock&) = delete;
  int Acquire(int waitMs) {
    const int rc = file_.LockByte(offset_, waitMs);
    taken_ = rc == 0;
    return rc;
  }
  int Release() {
    if (!taken_) return 0;
    taken_ = false;
    return file_.UnlockByte(offset_);
  }

 private:
  DataFile& file_;
  std::int64_t offset_;
  bool taken_ = false;
};

class WholeLock {
 public:
  explicit WholeLock(DataFile& file) : file_(file) {}
  ~WholeLock() { Release(); }
  WholeLock(const WholeLock&) = delete;
  WholeLock& operator=(const WholeLock&) = delete;
  int Acquire(int waitMs) {
    const int rc = file_.LockWhole(waitMs);
    taken_ = rc == 0;
    return rc;
  }
  int Release() {
    if (!taken_) return 0;
    taken_ = false;
    return file_.UnlockWhole();
  }

 private:
  DataFile& file_;
  bool taken_ = false;
};

// Companion block chains. Both refuse damaged chains (a block number outside
// the file, a cycle, a used-byte count outside 0 to 500) with
// kCompanionAccessFailed instead of looping or reading out of bounds.
int ReadChain(DataFile& companion, std::int32_t first, Bytes* out);
// Writes a value as a chain, reusing the old chain first, then the free
// block list, then new blocks at the end; frees and trims what is left over.
int WriteChain(DataFile& companion, std::int32_t oldFirst, const std::uint8_t* data,
               std::size_t length, std::int32_t* newFirst);

}  // namespace quillane::table

// The one small interface through which the table engine reaches files:
// opening with an access and a share mode, positioned reads and writes,
// length, truncation, non-blocking byte-range locks and flushing. POSIX
// natively (fcntl open-file-description locks, share modes enforced within
// the process), Win32 under Windows (sharing modes, LockFileEx).
// Paths are GBK texts; each platform converts them at its own edge.
// Every function returns 0 or one of the engine's negative codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "services/types.h"
#ifdef _WIN32
#include "services/unique_handle.h"
#endif

namespace quillane::table {

enum class Access { kRead, kReadWrite };
// The share modes of OpenTable: 1 others may read and write, 2 others may not
// read, 3 others may not write, anything else exclusive. Modes 1 and 3 also
// let others rename or delete the file, so a reader never keeps a whole new
// table from taking its name.
enum class Share { kReadWrite, kDenyRead, kDenyWrite, kExclusive };
enum class Disposition { kOpenExisting, kCreateAlways };

// The Share of a share mode number of OpenTable.
inline Share ShareFromMode(int mode) {
  switch (mode) {
    case 1:
      return Share::kReadWrite;
    case 2:
      return Share::kDenyRead;
    case 3:
      return Share::kDenyWrite;
    default:
      return Share::kExclusive;
  }
}

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens (or creates and empties) the file. A refused open because another
  // opening's share mode forbids it gives kSharingViolation; opening a
  // read-only file for writing gives kAccessDenied.
  int Open(const Text& path, Access access, Share share, Disposition disposition);
  void Close();
  bool IsOpen() const;

  // Reads up to n bytes at offset; *got receives how many were read (fewer at the end).
  int ReadAt(std::int64_t offset, void* buffer, std::size_t n, std::size_t* got);
  int WriteAt(std::int64_t offset, const void* buffer, std::size_t n);
  int Size(std::int64_t* size);
  int Truncate(std::int64_t size);
  int Flush();
  // Exclusive lock of [offset, offset + length) that fails at once when held
  // elsewhere: kLockViolation for a lock held by another opening, kLockFailed
  // otherwise.
  int Lock(std::int64_t offset, std::int64_t length);
  int Unlock(std::int64_t offset, std::int64_t length);  // kUnlockFailed on failure

 private:
  bool writable_ = false;
#ifdef _WIN32
  UniqueHandle handle_;
#else
  int fd_ = -1;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  int shareSlot_ = -1;
#endif
};

// Renames a file in one step, written through to the disk; with `replace`
// an existing `to` is replaced. Refusals are those of Windows: a file open
// somewhere without delete sharing cannot be renamed (kSharingViolation), and
// an existing target that is open anywhere or read-only is not replaced
// (kAccessDenied).
int RenameFile(const Text& from, const Text& to, bool replace);
// Deletes a file: kFileNotFound when there is none, kSharingViolation while it
// is open somewhere without delete sharing, kAccessDenied when it may not be
// deleted.
int RemoveFile(const Text& path);
// 0 when the file exists (*readOnly tells whether it carries the read-only
// attribute; natively, whether its owner lacks write permission), else a code.
int ProbeFile(const Text& path, bool* readOnly);

// Completes a name to a full path as the operating system does; 0 or a code.
int FullPath(const Text& name, Text* full);

// Sleeps the calling thread for `ms` milliseconds.
void SleepMs(std::uint32_t ms);

#ifndef _WIN32
// Native test seam: called before every change a file opening makes to a
// file (creating or emptying it, a write, a truncation, a flush) and before
// every rename and deletion through this interface. A non-zero
// result is returned as that change's failure, the way a full disk would be;
// the hook may also end the process there. Install it before other threads
// use files; an empty hook removes it.
using FileChangeHook = std::function<int()>;
void SetFileChangeHook(FileChangeHook hook);
#endif

}  // namespace quillane::table

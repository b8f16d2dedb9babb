// POSIX files. Locks are open-file-description locks (F_OFD_SETLK) where the
// system has them, so two openings of one file in this process exclude each
// other as two handles do on Windows, and closing one opening never drops the
// locks of another. Share modes are kept in a process-wide list of openings.
#include "table/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <climits>
#include <mutex>
#include <vector>

#include "services/encoding.h"
#include "table/errors.h"
#include "table/format.h"

namespace quillane::table {

namespace {

FileChangeHook& ChangeHook() {
  static FileChangeHook hook;
  return hook;
}

int BeforeChange() { return ChangeHook() ? ChangeHook()() : 0; }

int CodeFromErrno(int e) {
  switch (e) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return kInvalidPath;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kAccessDenied;
    case EBADF:
      return kInvalidHandle;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kDiskFull;
    case EIO:
      return kHardwareFault;
    default:
      return kUnknown;
  }
}

// The openings of this process with their access and share modes.
struct Opening {
  bool used = false;
  std::uint64_t device = 0, inode = 0;
  Access access = Access::kRead;
  Share share = Share::kReadWrite;
};

// Never destroyed: tables still open at exit are closed by the engine's
// registry as the program ends, which may come after these would be gone.
std::mutex& OpeningsMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<Opening>& Openings() {
  static auto* v = new std::vector<Opening>;
  return *v;
}

bool AllowsRead(Share s) { return s == Share::kReadWrite || s == Share::kDenyWrite; }
bool AllowsWrite(Share s) { return s == Share::kReadWrite || s == Share::kDenyRead; }
bool AllowsDelete(Share s) { return s == Share::kReadWrite || s == Share::kDenyWrite; }

// How the openings of this process hold the file at `st`: whether any does,
// and whether one does without delete sharing.
struct Holders {
  bool any = false;
  bool denyDelete = false;
};
Holders HoldersOf(const struct stat& st) {
  Holders h;
  std::lock_guard<std::mutex> guard(OpeningsMutex());
  for (const Opening& o : Openings()) {
    if (!o.used || o.device != static_cast<std::uint64_t>(st.st_dev) ||
        o.inode != static_cast<std::uint64_t>(st.st_ino))
      continue;
    h.any = true;
    h.denyDelete = h.denyDelete || !AllowsDelete(o.share);
  }
  return h;
}

// The read-only attribute of Windows, as the owner's missing write permission.
// It is honoured even for root, as Windows honours it for administrators.
bool ReadOnlyMode(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// Makes a change of a folder's entries (a rename) durable.
void SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Whether a new opening is compatible with an existing one, as Windows judges it.
bool Compatible(const Opening& old, Access access, Share share) {
  // Every opening reads; the new one must be allowed to do what it asks...
  if (!AllowsRead(old.share)) return false;
  if (access == Access::kReadWrite && !AllowsWrite(old.share)) return false;
  // ...and must itself allow what the existing one does.
  if (!AllowsRead(share)) return false;
  if (old.access == Access::kReadWrite && !AllowsWrite(share)) return false;
  return true;
}

std::string NativePath(const Text& gbk) {
  // Folder separators may come as "\" (double-byte aware) from callers that
  // build Windows paths; native file names are UTF-8.
  Text p = gbk;
  for (std::size_t k = 0; k < p.size(); ++k) {
    const auto c = static_cast<unsigned char>(p[k]);
    if (IsLeadByte(c) && k + 1 < p.size()) {
      ++k;
      continue;
    }
    if (c == '\\') p[k] = '/';
  }
  return GbkToUtf8(p);
}

// Sets a lock of `type` (F_WRLCK, F_RDLCK, or F_UNLCK to clear it) on
// [offset, offset + length) without waiting: 0, or -1 with errno.
int SetLockRange(int fd, short type, std::int64_t offset, std::int64_t length) {
#ifdef F_OFD_SETLK
  constexpr int kCommand = F_OFD_SETLK;
#else
  constexpr int kCommand = F_SETLK;
#endif
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  return ::fcntl(fd, kCommand, &fl);
}

}  // namespace

File::~File() { Close(); }

bool File::IsOpen() const { return fd_ >= 0; }

int File::Open(const Text& path, Access access, Share share, Disposition disposition) {
  Close();
  if (path.empty()) return kFileNotFound;
  if (disposition == Disposition::kCreateAlways) {
    if (const int rc = BeforeChange(); rc != 0) return rc;
  }
  int flags = (access == Access::kRead ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  if (disposition == Disposition::kCreateAlways) flags |= O_CREAT;
  const int fd = ::open(NativePath(path).c_str(), flags, 0644);
  if (fd < 0) return CodeFromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int code = CodeFromErrno(errno);
    ::close(fd);
    return code;
  }
  if (S_ISDIR(st.st_mode) || (access == Access::kReadWrite && ReadOnlyMode(st))) {
    ::close(fd);
    return kAccessDenied;
  }
  {
    std::lock_guard<std::mutex> guard(OpeningsMutex());
    auto& list = Openings();
    for (const Opening& o : list) {
      if (o.used && o.device == static_cast<std::uint64_t>(st.st_dev) &&
          o.inode == static_cast<std::uint64_t>(st.st_ino) && !Compatible(o, access, share)) {
        ::close(fd);
        return kSharingViolation;
      }
    }
    int slot = -1;
    for (std::size_t k = 0; k < list.size(); ++k)
      if (!list[k].used) slot = static_cast<int>(k);
    if (slot < 0) {
      list.emplace_back();
      slot = static_cast<int>(list.size() - 1);
    }
    list[slot] = Opening{true, static_cast<std::uint64_t>(st.st_dev),
                         static_cast<std::uint64_t>(st.st_ino), access, share};
    shareSlot_ = slot;
  }
  fd_ = fd;
  writable_ = access == Access::kReadWrite;
  device_ = static_cast<std::uint64_t>(st.st_dev);
  inode_ = static_cast<std::uint64_t>(st.st_ino);
  if (disposition == Disposition::kCreateAlways && ::ftruncate(fd_, 0) != 0) {
    const int code = CodeFromErrno(errno);
    Close();
    return code;
  }
  return kOk;
}

void File::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  std::lock_guard<std::mutex> guard(OpeningsMutex());
  if (shareSlot_ >= 0) Openings()[static_cast<std::size_t>(shareSlot_)].used = false;
  shareSlot_ = -1;
}

int File::ReadAt(std::int64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (fd_ < 0) return kInvalidHandle;
  if (offset < 0) return kSeekFailed;
  auto* out = static_cast<char*>(buffer);
  while (*got < n) {
    const ssize_t r = ::pread(fd_, out + *got, n - *got, static_cast<off_t>(offset + *got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return CodeFromErrno(errno);
    }
    if (r == 0) break;
    *got += static_cast<std::size_t>(r);
  }
  return kOk;
}

int File::WriteAt(std::int64_t offset, const void* buffer, std::size_t n) {
  if (fd_ < 0) return kInvalidHandle;
  if (!writable_) return kAccessDenied;
  if (offset < 0) return kSeekFailed;
  if (const int rc = BeforeChange(); rc != 0) return rc;
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return CodeFromErrno(errno);
    }
    done += static_cast<std::size_t>(r);
  }
  return kOk;
}

int File::Size(std::int64_t* size) {
  struct stat st {};
  if (fd_ < 0) return kInvalidHandle;
  if (::fstat(fd_, &st) != 0) return CodeFromErrno(errno);
  *size = static_cast<std::int64_t>(st.st_size);
  return kOk;
}

int File::Truncate(std::int64_t size) {
  if (fd_ < 0) return kInvalidHandle;
  if (!writable_) return kAccessDenied;
  if (const int rc = BeforeChange(); rc != 0) return rc;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return CodeFromErrno(errno);
  return kOk;
}

int File::Flush() {
  if (fd_ < 0) return kInvalidHandle;
  if (const int rc = BeforeChange(); rc != 0) return rc;
  if (::fsync(fd_) != 0) return CodeFromErrno(errno);
  return kOk;
}

int File::Lock(std::int64_t offset, std::int64_t length) {
  if (fd_ < 0) return kLockFailed;
  // A read-only opening cannot take a write lock with fcntl; a read lock
  // still keeps writers out, which is what a reader needs.
  short type = F_WRLCK;
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0 && (flags & O_ACCMODE) == O_RDONLY) type = F_RDLCK;
  if (SetLockRange(fd_, type, offset, length) == 0) return kOk;
  if (errno == EAGAIN || errno == EACCES) return kLockViolation;
  return kLockFailed;
}

int File::Unlock(std::int64_t offset, std::int64_t length) {
  if (fd_ < 0) return kUnlockFailed;
  if (SetLockRange(fd_, F_UNLCK, offset, length) == 0) return kOk;
  return kUnlockFailed;
}

int RenameFile(const Text& from, const Text& to, bool replace) {
  if (from.empty() || to.empty()) return kFileNotFound;
  if (const int rc = BeforeChange(); rc != 0) return rc;
  const std::string source = NativePath(from), target = NativePath(to);
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return CodeFromErrno(errno);
  if (HoldersOf(st).denyDelete) return kSharingViolation;
  if (::lstat(target.c_str(), &st) == 0) {
    if (!replace || S_ISDIR(st.st_mode) || ReadOnlyMode(st) || HoldersOf(st).any)
      return kAccessDenied;
  }
  if (::rename(source.c_str(), target.c_str()) != 0) return CodeFromErrno(errno);
  SyncFolderOf(target);
  return kOk;
}

int RemoveFile(const Text& path) {
  if (path.empty()) return kFileNotFound;
  if (const int rc = BeforeChange(); rc != 0) return rc;
  const std::string native = NativePath(path);
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return CodeFromErrno(errno);
  if (S_ISDIR(st.st_mode) || ReadOnlyMode(st)) return kAccessDenied;
  if (HoldersOf(st).denyDelete) return kSharingViolation;
  if (::unlink(native.c_str()) != 0) return CodeFromErrno(errno);
  return kOk;
}

int ProbeFile(const Text& path, bool* readOnly) {
  if (path.empty()) return kFileNotFound;
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0) return CodeFromErrno(errno);
  if (S_ISDIR(st.st_mode)) return kAccessDenied;
  *readOnly = ReadOnlyMode(st);
  return kOk;
}

void SetFileChangeHook(FileChangeHook hook) { ChangeHook() = std::move(hook); }

int FullPath(const Text& name, Text* full) {
  if (name.empty()) return kFileNotFound;
  // Work on "/"-separated GBK; a relative name starts at the current directory.
  Text path;
  for (std::size_t k = 0; k < name.size(); ++k) {
    const auto c = static_cast<unsigned char>(name[k]);
    if (IsLeadByte(c) && k + 1 < name.size()) {
      path.push_back(name[k]);
      path.push_back(name[++k]);
      continue;
    }
    path.push_back(c == '\\' ? '/' : name[k]);
  }
  if (path[0] != '/') {
    std::vector<char> buffer(PATH_MAX);
    if (!::getcwd(buffer.data(), buffer.size())) return kInvalidPath;
    path = Utf8ToGbk(buffer.data()) + "/" + path;
  }
  std::vector<Text> parts;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == Text::npos) end = path.size();
    Text part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  Text out;
  for (const Text& p : parts) out += "/" + p;
  *full = out.empty() ? "/" : out;
  return kOk;
}

// (<chrono> cannot be compiled with the GBK execution character set.)
void SleepMs(std::uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace quillane::table

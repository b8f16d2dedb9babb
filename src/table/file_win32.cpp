// Win32 files: CreateFileW with the sharing modes, LockFileEx byte-range
// locks, SetEndOfFile. GBK paths are widened with code page 936 so the
// result does not depend on the system's code page.
#include <windows.h>

#include <string>
#include <utility>

#include "services/encoding.h"
#include "table/errors.h"
#include "table/file_io.h"

namespace quillane::table {

namespace {

int CodeFromError(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
      return kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
      return kInvalidPath;
    case ERROR_TOO_MANY_OPEN_FILES:
      return kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return kAccessDenied;
    case ERROR_INVALID_HANDLE:
      return kInvalidHandle;
    case ERROR_CURRENT_DIRECTORY:
      return kCurrentDirectory;
    case ERROR_CANNOT_MAKE:
      return kDirectoryFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
      return kSeekFailed;
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      return kHardwareFault;
    case ERROR_SHARING_VIOLATION:
      return kSharingViolation;
    case ERROR_LOCK_VIOLATION:
      return kLockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kDiskFull;
    case ERROR_HANDLE_EOF:
      return kEndOfFile;
    default:
      return kUnknown;
  }
}

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return o;
}

bool ReadOnlyAttribute(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (a & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

File::~File() { Close(); }

bool File::IsOpen() const { return static_cast<bool>(handle_); }

int File::Open(const Text& path, Access access, Share share, Disposition disposition) {
  Close();
  if (path.empty()) return kFileNotFound;
  DWORD desired = GENERIC_READ | (access == Access::kReadWrite ? GENERIC_WRITE : 0);
  DWORD shareMode = 0;
  // Readers let others rename and delete the file, so that a whole new table
  // can take its name while they read (they keep reading the old one).
  switch (share) {
    case Share::kReadWrite:
      shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
    case Share::kDenyRead:
      shareMode = FILE_SHARE_WRITE;
      break;
    case Share::kDenyWrite:
      shareMode = FILE_SHARE_READ | FILE_SHARE_DELETE;
      break;
    case Share::kExclusive:
      shareMode = 0;
      break;
  }
  const DWORD how = disposition == Disposition::kCreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
  const std::wstring wide = WideFromGbk(path);
  // A read-only file is not opened for writing, even where the system would
  // let an administrator (or Wine's root) do so.
  if (access == Access::kReadWrite && ReadOnlyAttribute(wide)) return kAccessDenied;
  UniqueHandle h(
      CreateFileW(wide.c_str(), desired, shareMode, nullptr, how, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return CodeFromError(GetLastError());
  handle_ = std::move(h);
  writable_ = access == Access::kReadWrite;
  return kOk;
}

void File::Close() { handle_.reset(); }

int File::ReadAt(std::int64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (!handle_) return kInvalidHandle;
  if (offset < 0) return kSeekFailed;
  auto* out = static_cast<char*>(buffer);
  while (*got < n) {
    OVERLAPPED o = At(offset + static_cast<std::int64_t>(*got));
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - *got, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(handle_.get(), out + *got, want, &read, &o)) {
      const DWORD e = GetLastError();
      if (e == ERROR_HANDLE_EOF) break;
      return CodeFromError(e);
    }
    if (read == 0) break;
    *got += read;
  }
  return kOk;
}

int File::WriteAt(std::int64_t offset, const void* buffer, std::size_t n) {
  if (!handle_) return kInvalidHandle;
  if (offset < 0) return kSeekFailed;
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED o = At(offset + static_cast<std::int64_t>(done));
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle_.get(), in + done, want, &written, &o))
      return CodeFromError(GetLastError());
    if (written == 0) return kDiskFull;
    done += written;
  }
  return kOk;
}

int File::Size(std::int64_t* size) {
  if (!handle_) return kInvalidHandle;
  LARGE_INTEGER li{};
  if (!GetFileSizeEx(handle_.get(), &li)) return CodeFromError(GetLastError());
  *size = li.QuadPart;
  return kOk;
}

int File::Truncate(std::int64_t size) {
  if (!handle_) return kInvalidHandle;
  LARGE_INTEGER li{};
  li.QuadPart = size;
  if (!SetFilePointerEx(handle_.get(), li, nullptr, FILE_BEGIN))
    return CodeFromError(GetLastError());
  if (!SetEndOfFile(handle_.get())) return CodeFromError(GetLastError());
  return kOk;
}

int File::Flush() {
  if (!handle_) return kInvalidHandle;
  if (!FlushFileBuffers(handle_.get())) return CodeFromError(GetLastError());
  return kOk;
}

int File::Lock(std::int64_t offset, std::int64_t length) {
  if (!handle_) return kLockFailed;
  OVERLAPPED o = At(offset);
  const auto len = static_cast<std::uint64_t>(length);
  if (LockFileEx(handle_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                 static_cast<DWORD>(len & 0xFFFFFFFFu), static_cast<DWORD>(len >> 32), &o))
    return kOk;
  const DWORD e = GetLastError();
  if (e == ERROR_LOCK_VIOLATION || e == ERROR_SHARING_VIOLATION || e == ERROR_IO_PENDING)
    return kLockViolation;
  return kLockFailed;
}

int File::Unlock(std::int64_t offset, std::int64_t length) {
  if (!handle_) return kUnlockFailed;
  OVERLAPPED o = At(offset);
  const auto len = static_cast<std::uint64_t>(length);
  if (UnlockFileEx(handle_.get(), 0, static_cast<DWORD>(len & 0xFFFFFFFFu),
                   static_cast<DWORD>(len >> 32), &o))
    return kOk;
  return kUnlockFailed;
}

int RenameFile(const Text& from, const Text& to, bool replace) {
  if (from.empty() || to.empty()) return kFileNotFound;
  const std::wstring target = WideFromGbk(to);
  if (replace && ReadOnlyAttribute(target)) return kAccessDenied;
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(WideFromGbk(from).c_str(), target.c_str(), flags)) return kOk;
  const DWORD e = GetLastError();
  return e == ERROR_ALREADY_EXISTS ? kAccessDenied : CodeFromError(e);
}

int RemoveFile(const Text& path) {
  if (path.empty()) return kFileNotFound;
  if (DeleteFileW(WideFromGbk(path).c_str())) return kOk;
  return CodeFromError(GetLastError());
}

int ProbeFile(const Text& path, bool* readOnly) {
  if (path.empty()) return kFileNotFound;
  const DWORD a = GetFileAttributesW(WideFromGbk(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return CodeFromError(GetLastError());
  if (a & FILE_ATTRIBUTE_DIRECTORY) return kAccessDenied;
  *readOnly = (a & FILE_ATTRIBUTE_READONLY) != 0;
  return kOk;
}

int FullPath(const Text& name, Text* full) {
  if (name.empty()) return kFileNotFound;
  const std::wstring wide = WideFromGbk(name);
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH, buffer, nullptr);
  if (n == 0) return CodeFromError(GetLastError());
  if (n >= MAX_PATH) return kInvalidPath;
  *full = Utf16ToGbk(std::u16string(buffer, buffer + n));
  return kOk;
}

void SleepMs(std::uint32_t ms) { Sleep(ms); }

}  // namespace quillane::table

#include "services/files.h"

#include "services/encoding.h"
#include "services/unique_handle.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <climits>
#endif

namespace quillane {

namespace {

std::string_view SkipLeadingSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "C:", "C:\", "C:/", and a lone separator: the root of a drive.
bool IsRoot(std::string_view p) {
  if (p.size() == 1 && IsSeparator(p[0])) return true;
  const bool letter =
      p.size() >= 2 && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
  if (!letter || p[1] != ':') return false;
  return p.size() == 2 || (p.size() == 3 && IsSeparator(p[2]));
}

std::string_view WithoutTrailingSeparators(std::string_view p) {
  while (p.size() > 1 && IsSeparator(p.back())) p.remove_suffix(1);
  return p;
}

}  // namespace

bool WriteBytesToFile(std::string_view file, const Bytes& bytes) {
  return WriteBytesToFile(file, {&bytes});
}

bool WriteBytesToFile(std::string_view file, const Bytes& first, const Bytes& second) {
  return WriteBytesToFile(file, {&first, &second});
}

#ifdef _WIN32

namespace {

bool DeleteTree(const std::wstring& dir) {
  WIN32_FIND_DATAW found;
  if (const UniqueFind find(FindFirstFileW((dir + L"\\*").c_str(), &found)); find) {
    do {
      if (found.cFileName[0] == L'.') continue;
      const std::wstring path = dir + L"\\" + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or directory link is removed as a link: never follow it,
        // or the tree it points to would be emptied as well.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteTree(path);
        RemoveDirectoryW(path.c_str());
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find.get(), &found));
  }
  return RemoveDirectoryW(dir.c_str()) != FALSE;
}

}  // namespace

Text RunDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  const auto slash = buffer.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  buffer.resize(slash);
  return GbkFromWide(buffer);
}

bool WriteBytesToFile(std::string_view file, std::initializer_list<const Bytes*> parts) {
  if (file.empty()) return false;
  HANDLE h = CreateFileW(WideFromGbk(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (const Bytes* part : parts) {
    if (!part || part->empty()) continue;
    std::size_t done = 0;
    while (ok && done < part->size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(part->size() - done, 1u << 30));
      DWORD written = 0;
      ok = WriteFile(h, part->data() + done, chunk, &written, nullptr) && written == chunk;
      done += written;
    }
  }
  ok = CloseHandle(h) && ok;
  return ok;
}

namespace {

FileFailure FailureOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return FileFailure::NotFound;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileFailure::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileFailure::Denied;
    default:
      return FileFailure::Other;
  }
}

// Reads or writes in pieces a DWORD can count.
constexpr std::size_t kFileChunk = 1u << 24;

}  // namespace

FileFailure ReadWholeFile(std::string_view file, Bytes* bytes) {
  bytes->clear();
  if (file.empty()) return FileFailure::NotFound;
  const UniqueHandle h(CreateFileW(WideFromGbk(file).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return FailureOf(GetLastError());
  for (;;) {
    const std::size_t done = bytes->size();
    bytes->resize(done + kFileChunk);
    DWORD got = 0;
    if (!ReadFile(h.get(), bytes->data() + done, static_cast<DWORD>(kFileChunk), &got, nullptr)) {
      const DWORD error = GetLastError();
      bytes->clear();
      return error == ERROR_LOCK_VIOLATION ? FileFailure::InUse : FileFailure::Other;
    }
    bytes->resize(done + got);
    if (got == 0) return FileFailure::None;
  }
}

namespace {

// The parts of WriteWholeFile: whether the file may be replaced, the new
// file written and flushed, and the new file put in the old one's place.
FileFailure CheckReplaceable(std::string_view file) {
  const UniqueHandle h(CreateFileW(WideFromGbk(file).c_str(), GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h) return FileFailure::None;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? FileFailure::None : FailureOf(error);
}

FileFailure WriteNewFile(std::string_view file, const Bytes& bytes) {
  const UniqueHandle h(CreateFileW(WideFromGbk(file).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return FailureOf(GetLastError());
  for (std::size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - done, kFileChunk));
    DWORD written = 0;
    if (!WriteFile(h.get(), bytes.data() + done, chunk, &written, nullptr) || written != chunk) {
      return FileFailure::Other;
    }
    done += written;
  }
  return FlushFileBuffers(h.get()) ? FileFailure::None : FileFailure::Other;
}

FileFailure PutInPlace(std::string_view from, std::string_view to) {
  if (MoveFileExW(WideFromGbk(from).c_str(), WideFromGbk(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return FileFailure::None;
  }
  return FailureOf(GetLastError());
}

}  // namespace

bool DeleteDirectoryTree(std::string_view directory) {
  directory = SkipLeadingSpaces(directory);
  if (directory.empty() || IsRoot(directory)) return false;
  const std::wstring path = WideFromGbk(WithoutTrailingSeparators(directory));
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  // A junction or directory link in the folder's place goes as a link; the
  // tree it points to is not ours.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryW(path.c_str()) != FALSE;
  return DeleteTree(path);
}

bool MoveFileTo(std::string_view from, std::string_view to, bool replace) {
  if (from.empty() || to.empty()) return false;
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExW(WideFromGbk(from).c_str(), WideFromGbk(to).c_str(), flags) != FALSE;
}

bool RemoveFile(std::string_view path) {
  return !path.empty() && DeleteFileW(WideFromGbk(path).c_str()) != FALSE;
}

bool PathIsDirectory(std::string_view path) {
  if (path.empty()) return false;
  const DWORD a = GetFileAttributesW(WideFromGbk(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathFileExists(std::string_view path) {
  if (path.empty()) return false;
  return GetFileAttributesW(WideFromGbk(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeSureDirectoryPathExists(std::string_view path) {
  if (path.empty()) return false;
  const std::wstring w = WideFromGbk(path);
  // Create every component that is followed by a separator.
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (w[i] != L'\\' && w[i] != L'/') continue;
    if (i == 0 || w[i - 1] == L':' || w[i - 1] == L'\\' || w[i - 1] == L'/') continue;
    const std::wstring part = w.substr(0, i);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

#else

std::string NativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

namespace {

bool DeleteTree(const std::string& dir) {
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const std::string path = dir + "/" + e->d_name;
      struct stat st {};
      if (lstat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        DeleteTree(path);
      } else {
        unlink(path.c_str());  // a symbolic link is removed, never followed
      }
    }
    closedir(d);
  }
  return rmdir(dir.c_str()) == 0;
}

}  // namespace

Text RunDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(n));
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  path.resize(slash);
  return path;
}

bool WriteBytesToFile(std::string_view file, std::initializer_list<const Bytes*> parts) {
  if (file.empty()) return false;
  const int fd = open(NativePath(file).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (const Bytes* part : parts) {
    if (!part || part->empty()) continue;
    std::size_t done = 0;
    while (ok && done < part->size()) {
      const ssize_t w = write(fd, part->data() + done, part->size() - done);
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      if (ok) done += static_cast<std::size_t>(w);
    }
  }
  ok = (close(fd) == 0) && ok;
  return ok;
}

namespace {

FileFailure FailureOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileFailure::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return FileFailure::Denied;
    case ETXTBSY:
      return FileFailure::InUse;
    default:
      return FileFailure::Other;
  }
}

}  // namespace

FileFailure ReadWholeFile(std::string_view file, Bytes* bytes) {
  bytes->clear();
  if (file.empty()) return FileFailure::NotFound;
  const int fd = open(NativePath(file).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FailureOf(errno);
  struct stat st {};
  FileFailure failure = FileFailure::None;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) failure = FileFailure::Denied;
  char buffer[1 << 16];
  while (failure == FileFailure::None) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure = FileFailure::Other;
    if (n <= 0) break;
    bytes->insert(bytes->end(), buffer, buffer + n);
  }
  close(fd);
  if (failure != FileFailure::None) bytes->clear();
  return failure;
}

namespace {

// The parts of WriteWholeFile: whether the file may be replaced, the new
// file written and flushed, and the new file put in the old one's place.
FileFailure CheckReplaceable(std::string_view file) {
  const int fd = open(NativePath(file).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return FileFailure::None;
  }
  return errno == ENOENT ? FileFailure::None : FailureOf(errno);
}

FileFailure WriteNewFile(std::string_view file, const Bytes& bytes) {
  const int fd = open(NativePath(file).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return FailureOf(errno);
  FileFailure failure = FileFailure::None;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      failure = FileFailure::Other;
      break;
    }
    done += static_cast<std::size_t>(w);
  }
  if (failure == FileFailure::None && fsync(fd) != 0) failure = FileFailure::Other;
  if (close(fd) != 0 && failure == FileFailure::None) failure = FileFailure::Other;
  return failure;
}

FileFailure PutInPlace(std::string_view from, std::string_view to) {
  return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0 ? FileFailure::None
                                                                         : FailureOf(errno);
}

}  // namespace

bool DeleteDirectoryTree(std::string_view directory) {
  directory = SkipLeadingSpaces(directory);
  if (directory.empty() || IsRoot(directory)) return false;
  const std::string path = NativePath(WithoutTrailingSeparators(directory));
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  // A link in the folder's place goes as a link; the tree it points to is
  // not ours.
  if (S_ISLNK(st.st_mode)) return unlink(path.c_str()) == 0;
  if (!S_ISDIR(st.st_mode)) return false;
  return DeleteTree(path);
}

bool MoveFileTo(std::string_view from, std::string_view to, bool replace) {
  if (from.empty() || to.empty()) return false;
  const std::string source = NativePath(from), target = NativePath(to);
  struct stat st {};
  if (!replace && ::lstat(target.c_str(), &st) == 0) return false;
  if (::rename(source.c_str(), target.c_str()) != 0) return false;
  // The rename lives in the folder's entries: make them durable too.
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : target.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return true;
}

bool RemoveFile(std::string_view path) {
  return !path.empty() && ::unlink(NativePath(path).c_str()) == 0;
}

bool PathIsDirectory(std::string_view path) {
  struct stat st {};
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathFileExists(std::string_view path) {
  struct stat st {};
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0;
}

bool MakeSureDirectoryPathExists(std::string_view path) {
  if (path.empty()) return false;
  const std::string p = NativePath(path);
  for (std::size_t i = 1; i < p.size(); ++i) {
    if (p[i] != '/' || p[i - 1] == '/') continue;
    const std::string part = p.substr(0, i);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

#endif

FileFailure WriteWholeFile(std::string_view file, const Bytes& bytes) {
  if (file.empty()) return FileFailure::NotFound;
  // A file another program holds is left as it is.
  if (const FileFailure held = CheckReplaceable(file); held != FileFailure::None) return held;
  // The bytes go to a file beside it first, which then takes its place: a
  // write that fails half-way (a full disk) leaves the old file whole.
  const std::string beside = std::string(file) + ".saving";
  FileFailure failure = WriteNewFile(beside, bytes);
  if (failure == FileFailure::None) failure = PutInPlace(beside, file);
  if (failure != FileFailure::None) RemoveFile(beside);
  return failure;
}

}  // namespace quillane

#include "services/paths.h"

#include "services/encoding.h"
#include "services/unique_handle.h"

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#else
#include <climits>
#include <cstdlib>
#endif

namespace quillane {

namespace {

// Paths are taken apart in UTF-16: in GBK the second byte of a character may
// be a "\" or a "|".
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Characters no file name may hold; U+FFFD stands for bytes that are no GBK.
bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
         c == u'*' || c == 0xFFFD;
}

char16_t Folded(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

std::optional<Text> FullLocalPath(std::string_view path) {
  const std::u16string p = GbkToUtf16(path);
  std::u16string root;
  std::size_t at = 0;
  if (p.size() >= 3 && IsLetter(p[0]) && p[1] == u':' && IsSeparator(p[2])) {
    root = {Folded(p[0]), u':', u'\\'};
    at = 3;
  }
#ifndef _WIN32
  else if (p.size() >= 1 && p[0] == u'/' && (p.size() == 1 || !IsSeparator(p[1]))) {
    root = u"/";
    at = 1;
  }
#endif
  else {
    return std::nullopt;
  }
  std::vector<std::u16string> names;
  while (at < p.size()) {
    std::size_t end = at;
    while (end < p.size() && !IsSeparator(p[end])) ++end;
    std::u16string name = p.substr(at, end - at);
    at = end + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    for (char16_t c : name) {
      if (IsForbidden(c)) return std::nullopt;
    }
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
    if (name.empty()) return std::nullopt;
    names.push_back(std::move(name));
  }
  const char16_t separator = root == u"/" ? u'/' : u'\\';
  std::u16string full = root;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) full += separator;
    full += names[i];
  }
  return Utf16ToGbk(full);
}

bool HasDotNames(std::string_view path) {
  const std::u16string p = GbkToUtf16(path);
  std::size_t at = 0;
  while (at <= p.size()) {
    std::size_t end = at;
    while (end < p.size() && !IsSeparator(p[end])) ++end;
    const std::u16string_view name(p.data() + at, end - at);
    if (name == u"." || name == u"..") return true;
    at = end + 1;
  }
  return false;
}

bool IsDriveRoot(std::string_view fullPath) {
  return fullPath == "/" || (fullPath.size() == 3 && fullPath[1] == ':' && fullPath[2] == '\\');
}

bool IsSameOrAbove(std::string_view folder, std::string_view inner) {
  const std::u16string a = GbkToUtf16(folder), b = GbkToUtf16(inner);
  if (a.empty() || a.size() > b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
  }
  // "C:\shop" is above "C:\shop\1", not above "C:\shop1".
  return a.size() == b.size() || IsSeparator(a.back()) || IsSeparator(b[a.size()]);
}

#ifdef _WIN32

namespace {

// The full form of a path the system handed out ("\\?\C:\x" as "C:\x").
void AddFull(std::vector<Text>& out, std::wstring path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  if (auto full = FullLocalPath(GbkFromWide(path))) out.push_back(*full);
}

}  // namespace

Text ResolvedPath(std::string_view fullPath) {
  // Opening the folder itself (not what a link in its place points to would
  // be the same here: the handle's path is the target's) tells its real path.
  const UniqueHandle folder(CreateFileW(WideFromGbk(fullPath).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  if (!folder) return {};
  HANDLE h = folder.get();
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  }
  if (n == 0 || n >= buffer.size()) return {};
  buffer.resize(n);
  std::vector<Text> full;
  AddFull(full, buffer);
  return full.empty() ? Text{} : full.front();
}

std::vector<Text> SystemFolders() {
  std::vector<Text> out;
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
  if (n > 0 && n <= MAX_PATH) AddFull(out, buffer);
  n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n > 0 && n <= MAX_PATH) AddFull(out, buffer);
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    AddFull(out, buffer);
  }
  return out;
}

#else

Text ResolvedPath(std::string_view fullPath) {
  char buffer[PATH_MAX];
  if (!realpath(Text(fullPath).c_str(), buffer)) return {};
  return FullLocalPath(buffer).value_or(Text{});
}

std::vector<Text> SystemFolders() {
  std::vector<Text> out;
  if (const char* home = std::getenv("HOME")) {
    if (auto full = FullLocalPath(home)) out.push_back(*full);
  }
  return out;
}

#endif

}  // namespace quillane

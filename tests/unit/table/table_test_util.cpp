#include "table_test_util.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>

#include "services/encoding.h"

namespace quillane::table::testing {

namespace {
int gCounter = 0;
}

TempDir::TempDir() {
#ifdef _WIN32
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  std::wstring dir = std::wstring(base) + L"qtable-" + std::to_wstring(GetCurrentProcessId()) +
                     L"-" + std::to_wstring(++gCounter);
  CreateDirectoryW(dir.c_str(), nullptr);
  root_ = Utf16ToGbk(std::u16string(dir.begin(), dir.end()));
#else
  std::string name = "/tmp/qtable-XXXXXX";
  ++gCounter;
  if (!mkdtemp(name.data())) std::abort();
  root_ = Utf8ToGbk(name);
#endif
}

TempDir::~TempDir() {
#ifdef _WIN32
  const std::u16string wide = GbkToUtf16(root_);
  std::wstring dir(wide.begin(), wide.end());
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileW((dir + L"\\" + data.cFileName).c_str());
    } while (FindNextFileW(h, &data));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
#else
  const std::string cmd = "rm -rf '" + GbkToUtf8(root_) + "'";
  if (std::system(cmd.c_str()) != 0) {
  }
#endif
}

Text TempDir::Path(const Text& name) const {
#ifdef _WIN32
  return root_ + "\\" + name;
#else
  return root_ + "/" + name;
#endif
}

Bytes ReadAll(const Text& path) {
  File f;
  if (f.Open(path, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting) != 0) return {};
  std::int64_t size = 0;
  f.Size(&size);
  Bytes out(static_cast<std::size_t>(size));
  std::size_t got = 0;
  f.ReadAt(0, out.data(), out.size(), &got);
  out.resize(got);
  return out;
}

void WriteAll(const Text& path, const Bytes& bytes) {
  File f;
  if (f.Open(path, Access::kReadWrite, Share::kReadWrite, Disposition::kCreateAlways) != 0) return;
  f.WriteAt(0, bytes.data(), bytes.size());
}

bool Exists(const Text& path) {
  File f;
  return f.Open(path, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting) == 0;
}

void Remove(const Text& path) {
#ifdef _WIN32
  const std::u16string w = GbkToUtf16(path);
  DeleteFileW(std::wstring(w.begin(), w.end()).c_str());
#else
  unlink(GbkToUtf8(path).c_str());
#endif
}

void SetReadOnly(const Text& path, bool readOnly) {
#ifdef _WIN32
  const std::u16string w = GbkToUtf16(path);
  SetFileAttributesW(std::wstring(w.begin(), w.end()).c_str(),
                     readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
  chmod(GbkToUtf8(path).c_str(), readOnly ? 0444 : 0644);
#endif
}

Bytes Plain(const Bytes& scrambled, const Text& password) {
  Bytes out = scrambled;
  if (!password.empty()) PageCipher(password).Apply(0, out.data(), out.size());
  return out;
}

FieldDescriptor Field(const Text& name, FieldType type, std::int32_t width) {
  FieldDescriptor f;
  f.name = name;
  f.type = static_cast<std::int32_t>(type);
  f.width = width;
  return f;
}

bool MakeTable(const Text& path, const std::vector<FieldDescriptor>& fields, const Text& password,
               const Text& alias) {
  if (!WriteNewTableFile(path, BuildTableFile(fields, password, 45000.25))) return false;
  bool companion = false;
  for (const auto& f : fields) companion = companion || IsBlockType(f.type);
  if (companion && !WriteNewTableFile(CompanionPath(path), BuildCompanionFile(password, 45000.25)))
    return false;
  return OpenTable(path, alias, password);
}

Text Gbk(const char8_t* utf8) { return Utf8ToGbk(reinterpret_cast<const char*>(utf8)); }

}  // namespace quillane::table::testing

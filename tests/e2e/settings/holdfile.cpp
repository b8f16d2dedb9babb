// holdfile: holds a file open for reading, as a backup tool, a scanner or a
// second reader of the rule tables would, for the end-to-end tests.
//   holdfile FILE shared|nodelete|exclusive MILLISECONDS
// "shared" lets others read, write and delete (rename) the file, "nodelete"
// only read and write, "exclusive" nothing. Prints "held" once the file is open, then keeps it open
// until FILE.release exists or the time is up. Exit code 1 when it cannot open.
#include <windows.h>

#include <cstdio>
#include <string>

#include "services/unique_handle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::wstring file = argv[1], mode = argv[2];
  const DWORD share = mode == L"exclusive" ? 0
                                           : FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                 (mode == L"shared" ? FILE_SHARE_DELETE : 0);
  const DWORD limit = static_cast<DWORD>(_wtoi(argv[3]));
  const quillane::UniqueHandle held(CreateFileW(file.c_str(), GENERIC_READ, share, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held) {
    std::printf("refused %lu\n", GetLastError());
    return 1;
  }
  char first = 0;
  DWORD got = 0;
  ReadFile(held.get(), &first, 1, &got, nullptr);
  std::printf("held\n");
  std::fflush(stdout);
  const std::wstring release = file + L".release";
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < limit &&
         GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES)
    Sleep(50);
  return 0;
}

// The program entry of Quillane.exe: the window runtime on the Win32 backend,
// the handlers of both windows, the start, then the message loop until the main
// window's destruction ends the program. Only one Quillane runs per folder.
#include <windows.h>

#include <string>

#include "app/main_window.h"
#include "app/settings_window.h"
#include "app/startup.h"
#include "services/encoding.h"
#include "services/message_box.h"
#include "services/unique_handle.h"
#include "ui/definitions.h"
#include "ui/runtime.h"
#include "ui/win32_backend.h"

namespace {

// The folder spelled one way: long names, upper case (the file system's own
// case folding).
std::wstring FoldedFolder(const std::wstring& folder) {
  std::wstring path = folder;
  const DWORD n = GetLongPathNameW(folder.c_str(), nullptr, 0);
  if (n > 0) {
    std::wstring buffer(n, L'\0');
    const DWORD got = GetLongPathNameW(folder.c_str(), buffer.data(), n);
    if (got > 0 && got < n) path.assign(buffer.data(), got);
  }
  if (!path.empty()) CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
  return path;
}

// Holds the folder's mutex from the start to the end of the process.
class FolderMutex {
 public:
  explicit FolderMutex(const std::wstring& name)
      : handle_(CreateMutexW(nullptr, FALSE, name.c_str())), error_(GetLastError()) {}
  // Another Quillane of this folder has it (a Quillane of another user
  // makes it unreachable rather than shared).
  bool HeldElsewhere() const {
    return handle_ ? error_ == ERROR_ALREADY_EXISTS : error_ == ERROR_ACCESS_DENIED;
  }

 private:
  quillane::UniqueHandle handle_;
  DWORD error_;
};

struct RunningSearch {
  std::wstring folder;   // folded
  std::wstring caption;  // the main window's
  HWND found = nullptr;
};

// The folder of a process's program, folded; empty when it cannot be told.
std::wstring ProgramFolderOf(DWORD processId) {
  const quillane::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return {};
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  const BOOL ok = QueryFullProcessImageNameW(process.get(), 0, path, &size);
  if (!ok) return {};
  std::wstring folder(path, size);
  const std::size_t slash = folder.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  folder.resize(slash);
  return FoldedFolder(folder);
}

BOOL CALLBACK FindRunningMainWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<RunningSearch*>(data);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (std::wstring(cls) != L"QuillaneWindow") return TRUE;
  const int length = GetWindowTextLengthW(window);
  std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
  caption.resize(static_cast<std::size_t>(GetWindowTextW(window, caption.data(), length + 1)));
  if (caption != search->caption) return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == GetCurrentProcessId() || ProgramFolderOf(processId) != search->folder)
    return TRUE;
  search->found = window;
  return FALSE;
}

// A second start in the folder: says so, then brings the running
// Quillane's main window to the front.
void ShowRunningInstance(const std::wstring& folder) {
  const std::u16string path(folder.begin(), folder.end());
  quillane::ShowMessageBox("Quillane 已在这个文件夹中运行：\r\n" + quillane::Utf16ToGbk(path) +
                               "\r\n\r\n同一文件夹只能运行一个 Quillane，否则两者会争用规则文件。"
                               "\r\n点击“确定”后将切换到正在运行的窗口。",
                           quillane::kMbIconInformation, "启动");
  RunningSearch search{
      FoldedFolder(folder),
      quillane::WideFromGbk(quillane::ui::GetWindowDef(quillane::ui::WindowId::Main).caption)};
  EnumWindows(FindRunningMainWindow, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return;
  if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
  SetForegroundWindow(search.found);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The program's own folder is the current folder, whatever started it.
  wchar_t path[MAX_PATH];
  std::wstring folder;
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    for (DWORD i = n; i > 0; --i) {
      if (path[i - 1] == L'\\') {
        path[i - 1] = L'\0';
        folder = path;
        SetCurrentDirectoryW(path);
        break;
      }
    }
  }

  // A second Quillane in the same folder would fight the first over the rule
  // files (every save of both would fail, its replies would not match).
  const std::wstring folded = FoldedFolder(folder);
  const std::string name =
      quillane::InstanceMutexName(std::u16string(folded.begin(), folded.end()));
  const FolderMutex mutex(std::wstring(name.begin(), name.end()));
  if (mutex.HeldElsewhere()) {
    ShowRunningInstance(folder);
    return 0;
  }

  namespace ui = quillane::ui;
  ui::Runtime runtime(ui::CreateWin32Backend());
  quillane::BindMainWindowHandlers();
  quillane::BindSettingsWindowHandlers();
  quillane::StartUp();
  return ui::RunMessageLoop();
}

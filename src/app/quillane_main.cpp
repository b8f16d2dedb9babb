// The program entry of Quillane.exe: the window runtime on the Win32 backend,
// the handlers of both windows, the start, then the message loop until the main
// window's destruction ends the program.
#include <windows.h>

#include "app/main_window.h"
#include "app/settings_window.h"
#include "app/startup.h"
#include "ui/runtime.h"
#include "ui/win32_backend.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The program's own folder is the current folder, whatever started it.
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    for (DWORD i = n; i > 0; --i) {
      if (path[i - 1] == L'\\') {
        path[i - 1] = L'\0';
        SetCurrentDirectoryW(path);
        break;
      }
    }
  }

  namespace ui = quillane::ui;
  ui::Runtime runtime(ui::CreateWin32Backend());
  quillane::BindMainWindowHandlers();
  quillane::BindSettingsWindowHandlers();
  quillane::StartUp();
  return ui::RunMessageLoop();
}

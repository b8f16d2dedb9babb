#include "app/client_windows.h"

#ifdef _WIN32
#include <windows.h>

#include "services/process.h"
#endif

namespace quillane {

namespace {

#ifdef _WIN32
HWND AsWindow(std::uintptr_t w) { return reinterpret_cast<HWND>(w); }

class Win32ClientWindows : public ClientWindows {
 public:
  bool Start(const Text& commandLine, std::uint32_t* processId) override {
    return RunProgram(commandLine, false, kShowNormal, processId);
  }
  bool Embed(std::uintptr_t window, std::uintptr_t parent) override {
    return ::SetParent(AsWindow(window), AsWindow(parent)) != nullptr;
  }
  void Move(std::uintptr_t window, int x, int y, int width, int height) override {
    ::MoveWindow(AsWindow(window), x, y, width, height, TRUE);
  }
  void Show(std::uintptr_t window, bool show) override {
    ::ShowWindow(AsWindow(window), show ? SW_SHOWNORMAL : SW_HIDE);
  }
  std::uint32_t ProcessOf(std::uintptr_t window) override {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(AsWindow(window), &pid);
    return pid;
  }
  void Terminate(std::uint32_t processId) override {
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, processId)) {
      ::TerminateProcess(process, 0);
      ::CloseHandle(process);
    }
  }
};
#else
// Natively there are no client windows; nothing starts and nothing is moved.
class NoClientWindows : public ClientWindows {
 public:
  bool Start(const Text&, std::uint32_t*) override { return false; }
  bool Embed(std::uintptr_t, std::uintptr_t) override { return false; }
  void Move(std::uintptr_t, int, int, int, int) override {}
  void Show(std::uintptr_t, bool) override {}
  std::uint32_t ProcessOf(std::uintptr_t) override { return 0; }
  void Terminate(std::uint32_t) override {}
};
#endif

std::unique_ptr<ClientWindows>& Instance() {
#ifdef _WIN32
  static std::unique_ptr<ClientWindows> clients = std::make_unique<Win32ClientWindows>();
#else
  static std::unique_ptr<ClientWindows> clients = std::make_unique<NoClientWindows>();
#endif
  return clients;
}

}  // namespace

ClientWindows& Clients() { return *Instance(); }
void SetClients(std::unique_ptr<ClientWindows> clients) { Instance() = std::move(clients); }

}  // namespace quillane

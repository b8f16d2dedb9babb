#include "app/client_windows.h"

#ifdef _WIN32
#include <windows.h>

#include <map>
#include <mutex>

#include "services/process.h"
#endif

namespace quillane {

namespace {

#ifdef _WIN32
HWND AsWindow(std::uintptr_t w) { return reinterpret_cast<HWND>(w); }

class Win32ClientWindows : public ClientWindows {
 public:
  bool Start(const Text& commandLine, const std::function<void(std::uint32_t)>& created) override {
    StartedProcess process;
    if (!StartProcess(commandLine, kShowNormal, &process)) return false;
    const std::uint32_t id = process.Id();
    StartedProcess* held = nullptr;
    {
      std::lock_guard lock(mutex_);
      held = &(started_[id] = std::move(process));
    }
    created(id);
    // Only this (the main) thread ever lets go of a held process.
    held->WaitUntilIdle(1000);
    return true;
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
  bool IsClientProcess(std::uint32_t sender, std::uint32_t started) override {
    {
      std::lock_guard lock(mutex_);
      if (sender == 0 || started_.count(started) == 0) return false;
    }
    return sender == started || IsChildProcess(sender, started);
  }
  void Terminate(std::uint32_t startedProcessId) override {
    StartedProcess process;
    {
      std::lock_guard lock(mutex_);
      const auto it = started_.find(startedProcessId);
      if (it == started_.end()) return;
      process = std::move(it->second);
      started_.erase(it);
    }
    process.Terminate();
  }

 private:
  std::mutex mutex_;
  std::map<std::uint32_t, StartedProcess> started_;
};
#else
// Natively there are no client windows; nothing starts and nothing is moved.
class NoClientWindows : public ClientWindows {
 public:
  bool Start(const Text&, const std::function<void(std::uint32_t)>&) override { return false; }
  bool Embed(std::uintptr_t, std::uintptr_t) override { return false; }
  void Move(std::uintptr_t, int, int, int, int) override {}
  void Show(std::uintptr_t, bool) override {}
  std::uint32_t ProcessOf(std::uintptr_t) override { return 0; }
  bool IsClientProcess(std::uint32_t, std::uint32_t) override { return false; }
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

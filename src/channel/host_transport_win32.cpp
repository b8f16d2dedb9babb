// The host channel on the Win32 calls.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "channel/exchange_area.h"
#include "channel/host_transport.h"
#include "services/unique_handle.h"

namespace quillane {

namespace {

// Room for about 30 sends of the largest payload at once.
constexpr std::size_t kExchangeAreaSize = 32u << 20;

// A process handle shared by the cache and the memory objects using it; the
// handle is closed when the last of them lets go.
using ProcessHandle = UniqueHandle;

// Only what reading the payload, writing the acknowledgement and telling
// whether the process has ended need.
constexpr DWORD kProcessAccess = PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                 PROCESS_QUERY_INFORMATION | SYNCHRONIZE;

std::shared_ptr<ProcessHandle> Open(std::uint64_t processId) {
  HANDLE h = ::OpenProcess(kProcessAccess, FALSE, static_cast<DWORD>(processId));
  return h ? std::make_shared<ProcessHandle>(h) : nullptr;
}

// The handles of the processes that sent recently, so that a message costs
// two calls into the system (one read, one write) rather than five. A handle
// whose process has ended is opened again by process id: a process id that
// has been reused then reaches the new process, never the old one.
class HandleCache {
 public:
  std::shared_ptr<ProcessHandle> Get(std::uint64_t processId, bool fresh) {
    std::lock_guard lock(mutex_);
    ++clock_;
    for (Entry& e : entries_) {
      if (e.processId != processId) continue;
      if (fresh) e.handle = Open(processId);
      e.lastUse = clock_;
      return e.handle;
    }
    auto handle = Open(processId);
    if (!handle) return nullptr;
    if (entries_.size() < kSize) {
      entries_.push_back(Entry{processId, handle, clock_});
    } else {
      auto oldest =
          std::min_element(entries_.begin(), entries_.end(),
                           [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
      *oldest = Entry{processId, handle, clock_};
    }
    return handle;
  }

 private:
  static constexpr std::size_t kSize = 16;
  struct Entry {
    std::uint64_t processId;
    std::shared_ptr<ProcessHandle> handle;
    std::uint64_t lastUse;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t clock_ = 0;
};

class Win32Memory : public ProcessMemory {
 public:
  Win32Memory(HandleCache& cache, std::uint64_t processId, std::shared_ptr<ProcessHandle> handle)
      : cache_(cache), processId_(processId), handle_(std::move(handle)) {}

  bool Read(std::uint64_t address, void* buffer, std::size_t size) override {
    return Retry(
        [&](HANDLE h) {
          SIZE_T done = 0;
          return ReadProcessMemory(h,
                                   reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)),
                                   buffer, size, &done) &&
                 done == size;
        },
        address, size);
  }
  bool Write(std::uint64_t address, const void* data, std::size_t size) override {
    return Retry(
        [&](HANDLE h) {
          SIZE_T done = 0;
          return WriteProcessMemory(h,
                                    reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(address)),
                                    data, size, &done) &&
                 done == size;
        },
        address, size);
  }

 private:
  template <typename F>
  bool Retry(F access, std::uint64_t address, std::size_t size) {
    if (address > UINTPTR_MAX - size) return false;
    if (access(handle_->get())) return true;
    // A cached handle of a process that has ended: open the id again, once.
    if (WaitForSingleObject(handle_->get(), 0) != WAIT_OBJECT_0) return false;
    auto fresh = cache_.Get(processId_, true);
    if (!fresh) return false;
    handle_ = std::move(fresh);
    return access(handle_->get());
  }

  HandleCache& cache_;
  std::uint64_t processId_;
  std::shared_ptr<ProcessHandle> handle_;
};

WNDPROC gPrevious = nullptr;

LRESULT CALLBACK HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return static_cast<LRESULT>(DispatchHostMessage(reinterpret_cast<NativeWindow>(window), message,
                                                  static_cast<std::uint64_t>(wParam),
                                                  static_cast<std::int64_t>(lParam)));
}

class Win32Transport : public HostTransport {
 public:
  std::uint32_t RegisterMessage(const Text& name) override {
    // The name's GBK bytes, as the clients register it.
    return name.empty() ? 0 : RegisterWindowMessageA(name.c_str());
  }
  std::uint64_t CurrentProcessId() override { return GetCurrentProcessId(); }
  bool IsWindow(NativeWindow window) override {
    return window != 0 && ::IsWindow(reinterpret_cast<HWND>(window));
  }
  bool SendWithin(NativeWindow target, std::uint32_t message, std::uint64_t wParam,
                  std::int64_t lParam, std::uint32_t milliseconds) override {
    // While it waits, this thread still serves messages sent to its own
    // windows, so a client can answer from inside its own send.
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(reinterpret_cast<HWND>(target), message, static_cast<WPARAM>(wParam),
                               static_cast<LPARAM>(lParam), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               milliseconds, &result) != 0;
  }
  std::unique_ptr<ProcessMemory> OpenProcess(std::uint64_t processId) override {
    if (processId == 0 || processId > 0xFFFFFFFFull) return nullptr;
    auto handle = handles_.Get(processId, false);
    if (!handle) return nullptr;
    return std::make_unique<Win32Memory>(handles_, processId, std::move(handle));
  }
  ExchangeBlock AllocateExchange(std::size_t size) override {
    std::uint8_t* p = area_.Allocate(size);
    if (!p) return {};
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    if (address + size >= 0x80000000u) {  // cannot happen: the area lies below 2 GiB
      area_.Free(p);
      return {};
    }
    return ExchangeBlock{p, static_cast<std::uint32_t>(address), size};
  }
  void FreeExchange(const ExchangeBlock& block) override { area_.Free(block.data); }
  bool Subclass(NativeWindow window) override {
    HWND h = reinterpret_cast<HWND>(window);
    if (!::IsWindow(h)) return false;
    // The W form: the window's own procedure keeps receiving Unicode messages,
    // so texts never pass through the system's ANSI code page.
    gPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostWindowProcedure)));
    return gPrevious != nullptr;
  }
  std::intptr_t CallPrevious(NativeWindow window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) override {
    HWND h = reinterpret_cast<HWND>(window);
    if (!gPrevious) return DefWindowProcW(h, message, wParam, lParam);
    return CallWindowProcW(gPrevious, h, message, static_cast<WPARAM>(wParam),
                           static_cast<LPARAM>(lParam));
  }

 private:
  ExchangeArea area_{kExchangeAreaSize};
  HandleCache handles_;
};

}  // namespace

HostTransport& DefaultHostTransport() {
  static Win32Transport win32;
  return win32;
}

}  // namespace quillane

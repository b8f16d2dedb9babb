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

// Only what reading the payload, writing the acknowledgement and telling
// whether the process has ended need.
constexpr DWORD kProcessAccess = PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                 PROCESS_QUERY_INFORMATION | SYNCHRONIZE;

class SenderProcesses;

// A sender's process, opened at its first message and kept open while it
// lives, so that a message costs two calls into the system: one read and one
// write. While the handle is open the system gives the process's id to no
// other process, so the id always names this process.
class SenderProcess : public ProcessMemory {
 public:
  SenderProcess(SenderProcesses& all, std::uint64_t processId, UniqueHandle handle)
      : all_(all), processId_(processId), handle_(std::move(handle)) {}

  bool Read(std::uint64_t address, void* buffer, std::size_t size) override;
  bool Write(std::uint64_t address, const void* data, std::size_t size) override;

  std::uint64_t Id() const { return processId_; }
  bool HasEnded() const { return WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0; }

 private:
  bool ReadHere(std::uint64_t address, void* buffer, std::size_t size) {
    SIZE_T done = 0;
    return ReadProcessMemory(handle_.get(),
                             reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)),
                             buffer, size, &done) &&
           done == size;
  }
  bool WriteHere(std::uint64_t address, const void* data, std::size_t size) {
    SIZE_T done = 0;
    return WriteProcessMemory(handle_.get(),
                              reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(address)), data,
                              size, &done) &&
           done == size;
  }

  SenderProcesses& all_;
  std::uint64_t processId_;
  UniqueHandle handle_;
};

// The senders' processes by id. A message finds its sender's process under
// a short lock of memory only: no system call, no allocation. Room is made
// for a new sender by letting go of a process that has ended, else of the
// one unused longest.
class SenderProcesses {
 public:
  std::shared_ptr<SenderProcess> Get(std::uint64_t processId) {
    std::lock_guard lock(mutex_);
    if (Entry* e = Find(processId)) return e->process;
    return OpenLocked(processId);
  }

  // The process under the id of `ended`, a process found to have ended: the
  // id is opened again (it may name a new process once nobody holds the old
  // one), unless that was done already.
  std::shared_ptr<SenderProcess> Reopen(const SenderProcess& ended) {
    std::lock_guard lock(mutex_);
    if (Entry* e = Find(ended.Id()); e && e->process.get() != &ended) return e->process;
    return OpenLocked(ended.Id());
  }

 private:
  static constexpr std::size_t kSize = 64;
  struct Entry {
    std::uint64_t processId = 0;
    std::shared_ptr<SenderProcess> process;
    std::uint64_t lastUse = 0;
  };

  Entry* Find(std::uint64_t processId) {
    ++clock_;
    for (Entry& e : entries_) {
      if (e.processId != processId) continue;
      e.lastUse = clock_;
      return &e;
    }
    return nullptr;
  }

  std::shared_ptr<SenderProcess> OpenLocked(std::uint64_t processId) {
    UniqueHandle handle(::OpenProcess(kProcessAccess, FALSE, static_cast<DWORD>(processId)));
    if (!handle) return nullptr;
    auto process = std::make_shared<SenderProcess>(*this, processId, std::move(handle));
    Entry* slot = Find(processId);
    if (!slot && entries_.size() < kSize) slot = &entries_.emplace_back();
    if (!slot) {
      const auto ended = std::find_if(entries_.begin(), entries_.end(),
                                      [](const Entry& e) { return e.process->HasEnded(); });
      slot = ended != entries_.end() ? &*ended
                                     : &*std::min_element(entries_.begin(), entries_.end(),
                                                          [](const Entry& a, const Entry& b) {
                                                            return a.lastUse < b.lastUse;
                                                          });
    }
    *slot = Entry{processId, process, clock_};
    return process;
  }

  std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t clock_ = 0;
};

// A failed access through a process that has ended is tried once more through
// the process now under its id.
bool SenderProcess::Read(std::uint64_t address, void* buffer, std::size_t size) {
  if (address > UINTPTR_MAX - size) return false;
  if (ReadHere(address, buffer, size)) return true;
  if (!HasEnded()) return false;
  const auto fresh = all_.Reopen(*this);
  return fresh && fresh.get() != this && fresh->ReadHere(address, buffer, size);
}

bool SenderProcess::Write(std::uint64_t address, const void* data, std::size_t size) {
  if (address > UINTPTR_MAX - size) return false;
  if (WriteHere(address, data, size)) return true;
  if (!HasEnded()) return false;
  const auto fresh = all_.Reopen(*this);
  return fresh && fresh.get() != this && fresh->WriteHere(address, data, size);
}

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
    // The handles that make the system send to every top-level window are
    // never a receiver; any other handle that is no window makes the send
    // fail without a call of anybody's procedure. Window handles count in
    // their low 32 bits only, so those are what is compared.
    const auto low = static_cast<std::uint32_t>(target);
    if (low == 0 || low == reinterpret_cast<std::uintptr_t>(HWND_BROADCAST) || low == 0xFFFFFFFFu) {
      return false;
    }
    // While it waits, this thread still serves messages sent to its own
    // windows, so a client can answer from inside its own send.
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(reinterpret_cast<HWND>(target), message, static_cast<WPARAM>(wParam),
                               static_cast<LPARAM>(lParam), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               milliseconds, &result) != 0;
  }
  std::shared_ptr<ProcessMemory> OpenProcess(std::uint64_t processId) override {
    if (processId == 0 || processId > 0xFFFFFFFFull) return nullptr;
    return senders_.Get(processId);
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
  SenderProcesses senders_;
};

}  // namespace

HostTransport& DefaultHostTransport() {
  static Win32Transport win32;
  return win32;
}

}  // namespace quillane

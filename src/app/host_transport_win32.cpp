// The host channel on the Win32 calls.
#include <windows.h>

#include "app/exchange_area.h"
#include "app/host_transport.h"

namespace quillane {

namespace {

// Room for about 30 sends of the largest payload at once.
constexpr std::size_t kExchangeAreaSize = 32u << 20;

class Win32Memory : public ProcessMemory {
 public:
  explicit Win32Memory(HANDLE process) : process_(process) {}
  ~Win32Memory() override { CloseHandle(process_); }
  Win32Memory(const Win32Memory&) = delete;
  Win32Memory& operator=(const Win32Memory&) = delete;

  bool Read(std::uint64_t address, void* buffer, std::size_t size) override {
    if (address > UINTPTR_MAX - size) return false;
    SIZE_T done = 0;
    return ReadProcessMemory(process_, reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)),
                             buffer, size, &done) &&
           done == size;
  }
  bool Write(std::uint64_t address, const void* data, std::size_t size) override {
    if (address > UINTPTR_MAX - size) return false;
    SIZE_T done = 0;
    return WriteProcessMemory(process_, reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(address)),
                              data, size, &done) &&
           done == size;
  }

 private:
  HANDLE process_;
};

WNDPROC gPrevious = nullptr;

LRESULT CALLBACK HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return static_cast<LRESULT>(DispatchHostMessage(reinterpret_cast<WindowId>(window), message,
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
  bool IsWindow(WindowId window) override {
    return window != 0 && ::IsWindow(reinterpret_cast<HWND>(window));
  }
  std::intptr_t Send(WindowId target, std::uint32_t message, std::uint64_t wParam,
                     std::int64_t lParam) override {
    return SendMessageA(reinterpret_cast<HWND>(target), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam));
  }
  std::unique_ptr<ProcessMemory> OpenProcess(std::uint64_t processId) override {
    if (processId == 0 || processId > 0xFFFFFFFFull) return nullptr;
    // Only what reading the payload and writing the acknowledgement need.
    HANDLE h = ::OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                 PROCESS_QUERY_INFORMATION,
                             FALSE, static_cast<DWORD>(processId));
    if (!h) return nullptr;
    return std::make_unique<Win32Memory>(h);
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
  bool Subclass(WindowId window) override {
    HWND h = reinterpret_cast<HWND>(window);
    if (!::IsWindow(h)) return false;
    // The W form: the window's own procedure keeps receiving Unicode messages,
    // so texts never pass through the system's ANSI code page.
    gPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostWindowProcedure)));
    return gPrevious != nullptr;
  }
  std::intptr_t CallPrevious(WindowId window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) override {
    HWND h = reinterpret_cast<HWND>(window);
    if (!gPrevious) return DefWindowProcW(h, message, wParam, lParam);
    return CallWindowProcW(gPrevious, h, message, static_cast<WPARAM>(wParam),
                           static_cast<LPARAM>(lParam));
  }

 private:
  ExchangeArea area_{kExchangeAreaSize};
};

HostTransport*& Installed() {
  static HostTransport* installed = nullptr;
  return installed;
}

}  // namespace

HostTransport& CurrentHostTransport() {
  if (Installed()) return *Installed();
  static Win32Transport win32;
  return win32;
}

void SetHostTransport(HostTransport* transport) { Installed() = transport; }

}  // namespace quillane

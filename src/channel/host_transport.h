// What the host channel needs of the system: registered message ids, windows,
// sending, and reading and writing another process's memory. Under Windows the
// Win32 calls serve; natively an in-process stand-in (host_transport_local.h)
// lets the channel's logic run in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "channel/host_channel.h"
#include "services/types.h"

namespace quillane {

// Another process's memory, opened for reading and writing.
class ProcessMemory {
 public:
  virtual ~ProcessMemory() = default;
  // All or nothing: false unless every byte was read (written).
  virtual bool Read(std::uint64_t address, void* buffer, std::size_t size) = 0;
  virtual bool Write(std::uint64_t address, const void* data, std::size_t size) = 0;
};

// A block of this process's memory that other processes can read at a wire
// address (below 2 GiB).
struct ExchangeBlock {
  std::uint8_t* data = nullptr;
  std::uint32_t address = 0;
  std::size_t size = 0;
  explicit operator bool() const { return data != nullptr; }
};

class HostTransport {
 public:
  virtual ~HostTransport() = default;
  // The id for a message name, the same in every process; 0 on failure.
  virtual std::uint32_t RegisterMessage(const Text& name) = 0;
  virtual std::uint64_t CurrentProcessId() = 0;
  virtual bool IsWindow(NativeWindow window) = 0;
  // Delivers the message and returns once the target's procedure has handled
  // it (true), or when it has not done so within `milliseconds` or the target
  // is known to hang (false).
  virtual bool SendWithin(NativeWindow target, std::uint32_t message, std::uint64_t wParam,
                          std::int64_t lParam, std::uint32_t milliseconds) = 0;
  // Null when the process cannot be opened. The transport may keep the
  // process open and hand out the same object again for later messages.
  virtual std::shared_ptr<ProcessMemory> OpenProcess(std::uint64_t processId) = 0;
  // Thread-safe; an empty block when no memory is left.
  virtual ExchangeBlock AllocateExchange(std::size_t size) = 0;
  virtual void FreeExchange(const ExchangeBlock& block) = 0;
  // Puts the dispatcher in front of the window's procedure.
  virtual bool Subclass(NativeWindow window) = 0;
  // Calls the procedure that was in place before the dispatcher.
  virtual std::intptr_t CallPrevious(NativeWindow window, std::uint32_t message,
                                     std::uint64_t wParam, std::int64_t lParam) = 0;
};

// The transport in use: the platform's own (the Win32 one under Windows, the
// stand-in natively) unless one was installed. Install before any message
// flows.
HostTransport& CurrentHostTransport();
void SetHostTransport(HostTransport* transport);  // nullptr: back to the default
HostTransport& DefaultHostTransport();

}  // namespace quillane

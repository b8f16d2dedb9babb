// What the main window does to the shop clients' processes and windows, behind
// one small interface: the Win32 calls in the program, a recording stand-in in
// native tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "services/types.h"

namespace quillane {

class ClientWindows {
 public:
  virtual ~ClientWindows() = default;
  // Starts a client from its command line and tells `created` its process id
  // at once, before waiting at most 1000 ms for it to become idle (a client
  // may announce itself within that wait). False if not started. The process
  // is held from here until Terminate, so its id stays its own.
  virtual bool Start(const Text& commandLine,
                     const std::function<void(std::uint32_t processId)>& created) = 0;
  // Makes `parent` the window's parent; true when the window had a parent
  // before (the platform reports the previous one).
  virtual bool Embed(std::uintptr_t window, std::uintptr_t parent) = 0;
  virtual void Move(std::uintptr_t window, int x, int y, int width, int height) = 0;
  virtual void Show(std::uintptr_t window, bool show) = 0;
  // The id of the process that owns the window; 0 when it has none.
  virtual std::uint32_t ProcessOf(std::uintptr_t window) = 0;
  // True when `sender` is the process started as `started` or a process that
  // one started (a launcher's client stands in for it).
  virtual bool IsClientProcess(std::uint32_t sender, std::uint32_t started) = 0;
  // Ends a process that Start started, through the handle held since, with
  // exit code 0, and lets go of it; any other id is left alone.
  virtual void Terminate(std::uint32_t startedProcessId) = 0;
};

// The program's implementation (Win32 under Windows); tests replace it.
ClientWindows& Clients();
void SetClients(std::unique_ptr<ClientWindows> clients);

}  // namespace quillane

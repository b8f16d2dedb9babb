// What the main window does to the shop clients' processes and windows, behind
// one small interface: the Win32 calls in the program, a recording stand-in in
// native tests.
#pragma once

#include <cstdint>
#include <memory>

#include "services/types.h"

namespace quillane {

class ClientWindows {
 public:
  virtual ~ClientWindows() = default;
  // Starts a client from its command line, waiting at most 1000 ms for it to
  // become idle; its process id goes to `processId`. False if not started.
  virtual bool Start(const Text& commandLine, std::uint32_t* processId) = 0;
  // Makes `parent` the window's parent; true when the window had a parent
  // before (the platform reports the previous one).
  virtual bool Embed(std::uintptr_t window, std::uintptr_t parent) = 0;
  virtual void Move(std::uintptr_t window, int x, int y, int width, int height) = 0;
  virtual void Show(std::uintptr_t window, bool show) = 0;
  // The id of the process that owns the window; 0 when it has none.
  virtual std::uint32_t ProcessOf(std::uintptr_t window) = 0;
  // Ends the process with exit code 0; the outcome is not reported.
  virtual void Terminate(std::uint32_t processId) = 0;
};

// The program's implementation (Win32 under Windows); tests replace it.
ClientWindows& Clients();
void SetClients(std::unique_ptr<ClientWindows> clients);

}  // namespace quillane

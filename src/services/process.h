// Starting programs and threads, and ending the program.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "services/types.h"

namespace quillane {

// Show modes of RunProgram (clamped to 1..6).
enum ShowMode : std::int32_t {
  kShowHidden = 1,
  kShowNormal = 2,
  kShowMinimized = 3,
  kShowMaximized = 4,
  kShowNoActivate = 5,
  kShowMinimize = 6,
};

// The platform show command (SW_*) for a show mode, after clamping to 1..6.
int ShowCommandFor(std::int32_t showMode);

// A process this program started, held by its handle. While it is held the
// system never gives its id to another process, so ending it through this
// object can never hit another program. Move-only; the handle is closed when
// the object goes.
class StartedProcess {
 public:
  StartedProcess() = default;
  StartedProcess(std::uintptr_t handle, std::uint32_t id) : handle_(handle), id_(id) {}
  ~StartedProcess();
  StartedProcess(StartedProcess&& other) noexcept;
  StartedProcess& operator=(StartedProcess&& other) noexcept;
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  std::uint32_t Id() const { return id_; }
  explicit operator bool() const { return handle_ != 0; }
  // Ends the process with exit code 0 (nothing when it has ended already).
  bool Terminate();
  // Waits until the process is idle for input, at most `milliseconds`.
  void WaitUntilIdle(std::uint32_t milliseconds);
  void WaitUntilEnded();

 private:
  std::uintptr_t handle_ = 0;
  std::uint32_t id_ = 0;
};

// Creates a process from the command line alone (no inherited handles, the
// caller's environment and current directory). With wait, blocks until it ends;
// otherwise waits until it is idle for input, at most 1000 ms. True whenever the
// process was created; its id goes to `processId` when given (0 natively), and
// its handle to `process` when given (never natively).
bool RunProgram(std::string_view commandLine, bool wait, std::int32_t showMode = kShowNormal,
                std::uint32_t* processId = nullptr, StartedProcess* process = nullptr);

// Creates a process as RunProgram does, without waiting for it; false when it
// cannot be created (always natively).
bool StartProcess(std::string_view commandLine, std::int32_t showMode, StartedProcess* process);

// True when the process `child` was started by the process `parent`, which
// still runs and was started before it (so a parent id the system has given
// to a new process does not count). Always false natively.
bool IsChildProcess(std::uint32_t child, std::uint32_t parent);

// A thread handle as the program keeps it (0: none).
using ThreadHandle = std::uintptr_t;
using ThreadRoutine = void (*)(std::int32_t parameter);

// Runs the routine on a new thread. When `handle` is given, the thread's handle
// is stored there and stays open for KillThread; otherwise it is closed at once.
bool StartThread(ThreadRoutine routine, std::int32_t parameter = 0, ThreadHandle* handle = nullptr);

// Terminates the thread (exit code 0xFFFFFFFF) without waiting for it, and
// closes the handle. Natively the thread ends at its next Delay/ProcessEvents
// (or other cancellation point), which is where the program's threads wait.
bool KillThread(ThreadHandle handle);

// Flushes the C runtime's streams and ends the process with the exit code.
void EndProgram(std::int32_t exitCode);

#ifndef _WIN32
// Native stand-ins for tests. With a hook installed, RunProgram and EndProgram
// call it instead of acting (EndProgram then returns, so a test can watch a
// shutdown). Without one, RunProgram runs the command line through /bin/sh and
// EndProgram ends the process. Install hooks before other threads start.
using RunProgramHook = std::function<bool(const Text& commandLine, bool wait, int showCommand)>;
void SetRunProgramHook(RunProgramHook hook);
using EndProgramHook = std::function<void(std::int32_t exitCode)>;
void SetEndProgramHook(EndProgramHook hook);
#endif

}  // namespace quillane

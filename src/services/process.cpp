#include "services/process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>

#include "services/encoding.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#include <tlhelp32.h>

#include "services/unique_handle.h"
#else
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <map>

extern char** environ;
#endif

namespace quillane {

int ShowCommandFor(std::int32_t showMode) {
  // SW_HIDE 0, SW_SHOWNORMAL 1, SW_SHOWMINIMIZED 2, SW_SHOWMAXIMIZED 3,
  // SW_SHOWNOACTIVATE 4, SW_MINIMIZE 6.
  static constexpr int kCommands[] = {0, 1, 2, 3, 4, 6};
  return kCommands[std::clamp(showMode, 1, 6) - 1];
}

StartedProcess::StartedProcess(StartedProcess&& other) noexcept
    : handle_(std::exchange(other.handle_, 0)), id_(std::exchange(other.id_, 0)) {}

StartedProcess& StartedProcess::operator=(StartedProcess&& other) noexcept {
  if (this != &other) {
    StartedProcess old(std::move(*this));
    handle_ = std::exchange(other.handle_, 0);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

namespace {
struct ThreadStart {
  ThreadRoutine routine;
  std::int32_t parameter;
};
}  // namespace

#ifdef _WIN32

StartedProcess::~StartedProcess() {
  if (handle_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool StartedProcess::Terminate() {
  return handle_ && TerminateProcess(reinterpret_cast<HANDLE>(handle_), 0) != FALSE;
}

bool IsChildProcess(std::uint32_t child, std::uint32_t parent) {
  if (child == 0 || parent == 0 || child == parent) return false;
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool listed = false;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == child) {
      listed = entry.th32ParentProcessID == parent;
      break;
    }
  }
  if (!listed) return false;
  auto created = [](std::uint32_t id, ULONGLONG* time) {
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) return false;
    FILETIME creation{}, exit{}, kernel{}, user{};
    const bool ok = GetProcessTimes(process.get(), &creation, &exit, &kernel, &user) != FALSE;
    *time = (static_cast<ULONGLONG>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    return ok;
  };
  ULONGLONG childTime = 0, parentTime = 0;
  return created(child, &childTime) && created(parent, &parentTime) && parentTime <= childTime;
}

void StartedProcess::WaitUntilIdle(std::uint32_t milliseconds) {
  if (handle_) WaitForInputIdle(reinterpret_cast<HANDLE>(handle_), milliseconds);
}

void StartedProcess::WaitUntilEnded() {
  if (handle_) WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), INFINITE);
}

bool StartProcess(std::string_view commandLine, std::int32_t showMode, StartedProcess* process) {
  std::wstring line = WideFromGbk(commandLine);
  if (line.empty()) return false;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(ShowCommandFor(showMode));
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  *process = StartedProcess(reinterpret_cast<std::uintptr_t>(pi.hProcess), pi.dwProcessId);
  return true;
}

bool RunProgram(std::string_view commandLine, bool wait, std::int32_t showMode,
                std::uint32_t* processId, StartedProcess* process) {
  if (processId) *processId = 0;
  StartedProcess started;
  if (!StartProcess(commandLine, showMode, &started)) return false;
  if (processId) *processId = started.Id();
  if (wait) {
    started.WaitUntilEnded();
  } else {
    started.WaitUntilIdle(1000);
  }
  if (process) *process = std::move(started);
  return true;
}

namespace {
unsigned __stdcall ThreadMain(void* arg) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
  const ThreadStart s = *start;
  start.reset();
  s.routine(s.parameter);
  return 0;
}
}  // namespace

bool StartThread(ThreadRoutine routine, std::int32_t parameter, ThreadHandle* handle) {
  if (!routine) return false;
  auto start = std::make_unique<ThreadStart>(ThreadStart{routine, parameter});
  const std::uintptr_t h = _beginthreadex(nullptr, 0, ThreadMain, start.get(), 0, nullptr);
  if (h == 0) return false;
  start.release();  // the thread owns it now
  if (handle) {
    *handle = h;
  } else {
    CloseHandle(reinterpret_cast<HANDLE>(h));
  }
  return true;
}

bool KillThread(ThreadHandle handle) {
  if (handle == 0) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  const bool ok = TerminateThread(h, 0xFFFFFFFFu) != FALSE;
  CloseHandle(h);
  return ok;
}

void EndProgram(std::int32_t exitCode) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(exitCode));
}

#else

namespace {

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}
RunProgramHook& RunHook() {
  static RunProgramHook hook;
  return hook;
}
EndProgramHook& EndHook() {
  static EndProgramHook hook;
  return hook;
}

// Threads started with a handle, by handle number, until KillThread.
struct NativeThread {
  pthread_t thread{};
  bool finished = false;
};
struct ThreadTable {
  std::mutex mutex;
  std::map<ThreadHandle, std::shared_ptr<NativeThread> > threads;
  ThreadHandle next = 1;
};
ThreadTable& Threads() {
  static ThreadTable table;
  return table;
}

struct NativeStart {
  ThreadStart start;
  std::shared_ptr<NativeThread> record;  // null when no handle was asked for
};

// Marks the record finished however the thread ends (return or cancellation).
struct FinishMark {
  std::shared_ptr<NativeThread> record;
  ~FinishMark() {
    if (!record) return;
    std::lock_guard lock(Threads().mutex);
    record->finished = true;
  }
};

void* NativeThreadMain(void* arg) {
  std::unique_ptr<NativeStart> start(static_cast<NativeStart*>(arg));
  FinishMark mark{start->record};
  const ThreadStart s = start->start;
  start.reset();
  s.routine(s.parameter);
  return nullptr;
}

}  // namespace

void SetRunProgramHook(RunProgramHook hook) {
  std::lock_guard lock(HookMutex());
  RunHook() = std::move(hook);
}

void SetEndProgramHook(EndProgramHook hook) {
  std::lock_guard lock(HookMutex());
  EndHook() = std::move(hook);
}

StartedProcess::~StartedProcess() = default;

bool StartedProcess::Terminate() { return false; }

void StartedProcess::WaitUntilIdle(std::uint32_t) {}

void StartedProcess::WaitUntilEnded() {}

bool StartProcess(std::string_view, std::int32_t, StartedProcess*) { return false; }

bool IsChildProcess(std::uint32_t, std::uint32_t) { return false; }

bool RunProgram(std::string_view commandLine, bool wait, std::int32_t showMode,
                std::uint32_t* processId, StartedProcess*) {
  if (processId) *processId = 0;  // the shell's child is not tracked natively
  RunProgramHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = RunHook();
  }
  if (hook) return hook(Text(commandLine), wait, ShowCommandFor(showMode));
  if (commandLine.empty()) return false;
  // Without waiting, the shell starts the program in the background and ends
  // at once, so no child is left to reap.
  std::string script(commandLine);
  if (!wait) script = "(" + script + ") >/dev/null 2>&1 &";
  char sh[] = "/bin/sh";
  char dashC[] = "-c";
  char* argv[] = {sh, dashC, script.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // The shell reports 127 when it could not find the program.
  return !(WIFEXITED(status) && WEXITSTATUS(status) == 127 && wait);
}

bool StartThread(ThreadRoutine routine, std::int32_t parameter, ThreadHandle* handle) {
  if (!routine) return false;
  auto start = std::make_unique<NativeStart>();
  start->start = ThreadStart{routine, parameter};
  if (handle) start->record = std::make_shared<NativeThread>();
  auto record = start->record;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  std::lock_guard lock(Threads().mutex);  // the record is complete before KillThread sees it
  pthread_t thread{};
  const int rc = pthread_create(&thread, &attr, NativeThreadMain, start.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) return false;
  start.release();
  if (handle) {
    record->thread = thread;
    const ThreadHandle h = Threads().next++;
    Threads().threads[h] = record;
    *handle = h;
  }
  return true;
}

bool KillThread(ThreadHandle handle) {
  std::lock_guard lock(Threads().mutex);
  const auto it = Threads().threads.find(handle);
  if (it == Threads().threads.end()) return false;
  // A thread that has marked itself finished may already be gone; only a
  // running one is cancelled (it cannot finish while this lock is held).
  if (!it->second->finished) pthread_cancel(it->second->thread);
  Threads().threads.erase(it);
  return true;
}

void EndProgram(std::int32_t exitCode) {
  EndProgramHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = EndHook();
  }
  if (hook) {
    hook(exitCode);
    return;
  }
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

#endif

}  // namespace quillane

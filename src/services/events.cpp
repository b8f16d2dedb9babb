#include "services/events.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#endif

namespace quillane {

namespace {
ProcessEventsHook& Hook() {
  static ProcessEventsHook hook;
  return hook;
}
}  // namespace

void SetProcessEventsHook(ProcessEventsHook hook) { Hook() = std::move(hook); }

#ifdef _WIN32

std::uint32_t TickCount() { return GetTickCount(); }

void ProcessEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The quit message belongs to the message loop: put it back.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (Hook()) Hook()();
}

namespace {
// Wakes for any message (sent ones included) or when the time is up, so a
// wait keeps the thread's messages flowing without spinning.
void WaitForEvents(std::uint32_t milliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}
}  // namespace

#else

std::uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

void ProcessEvents() {
  pthread_testcancel();  // a killed thread ends here (see KillThread)
  if (Hook()) Hook()();
}

namespace {
// Natively nothing can wake the thread: it looks at the events again soon,
// whatever time is left.
void WaitForEvents(std::uint32_t) {
  timespec pause{0, 200 * 1000};
  nanosleep(&pause, nullptr);
}
}  // namespace

#endif

void Delay(std::int32_t milliseconds) {
  if (milliseconds <= 0) return;
  const std::uint32_t start = TickCount();
  const auto wanted = static_cast<std::uint32_t>(milliseconds);
  for (;;) {
    ProcessEvents();
    // Elapsed time by unsigned difference, so a wrap of the tick count in the
    // middle of a wait does not end it early.
    const std::uint32_t elapsed = TickCount() - start;
    if (elapsed > wanted) return;
    WaitForEvents(wanted - elapsed + 1);
  }
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

std::string TimeStampNow() {
  const std::tm local = LocalTimeNow();
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
  return buf;
}

}  // namespace quillane

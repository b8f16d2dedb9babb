// Waiting while the calling thread's window messages keep flowing.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace quillane {

// The local date and time now.
std::tm LocalTimeNow();

// The local date and time now as it goes into the names of files kept aside:
// "YYYYMMDD-hhmmss".
std::string TimeStampNow();

// A millisecond tick count (wraps after about 49.7 days, like the platform's).
std::uint32_t TickCount();

// Handles every message waiting in the calling thread's queue, as the thread's
// message loop would, and returns when the queue is empty or the next message
// is the quit message (which stays queued for the loop).
void ProcessEvents();

// Waits `milliseconds` (<= 0: returns at once) without sleeping, handling the
// thread's messages all the while (ProcessEvents).
void Delay(std::int32_t milliseconds);

// The hook ProcessEvents runs (on the calling thread) in place of, or natively
// as, the platform's message handling. The headless window backend installs
// one so that its queued events flow while a handler waits. Under Windows the
// hook runs after the thread's queue has been drained. Pass an empty function
// to remove it. Install it before other threads call ProcessEvents.
using ProcessEventsHook = std::function<void()>;
void SetProcessEventsHook(ProcessEventsHook hook);

}  // namespace quillane

#include "services/events.h"

#include <gtest/gtest.h>

#include <time.h>

using namespace quillane;

namespace {
// <chrono> does not build with the GBK execution character set; use the clock directly.
double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}
struct HookGuard {
  explicit HookGuard(ProcessEventsHook h) { SetProcessEventsHook(std::move(h)); }
  ~HookGuard() { SetProcessEventsHook(nullptr); }
};
}  // namespace

TEST(Events, DelayOfZeroOrLessReturnsAtOnceWithoutHandlingEvents) {
  int runs = 0;
  HookGuard guard([&] { ++runs; });
  Delay(0);
  Delay(-5);
  EXPECT_EQ(runs, 0);
}

TEST(Events, DelayWaitsAtLeastTheTimeAndKeepsEventsFlowing) {
  int runs = 0;
  HookGuard guard([&] { ++runs; });
  const double start = NowMs();
  Delay(100);
  EXPECT_GE(NowMs() - start, 100.0);
  EXPECT_GT(runs, 2);  // the hook ran again and again while waiting
}

TEST(Events, ProcessEventsRunsTheHookOncePerCall) {
  int runs = 0;
  {
    HookGuard guard([&] { ++runs; });
    ProcessEvents();
    ProcessEvents();
  }
  ProcessEvents();  // no hook: nothing happens
  EXPECT_EQ(runs, 2);
}

TEST(Events, TickCountAdvancesInMilliseconds) {
  const std::uint32_t a = TickCount();
  Delay(30);
  const std::uint32_t b = TickCount();
  EXPECT_GE(b - a, 30u);
  EXPECT_LT(b - a, 5000u);
}

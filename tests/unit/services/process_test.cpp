#include "services/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "services/events.h"
#include "test_dir.h"

using namespace quillane;
using quillane::testing::ReadFile;
using quillane::testing::TempDir;

TEST(Process, ShowModesAreClampedAndMapped) {
  EXPECT_EQ(ShowCommandFor(1), 0);  // SW_HIDE
  EXPECT_EQ(ShowCommandFor(2), 1);  // SW_SHOWNORMAL
  EXPECT_EQ(ShowCommandFor(3), 2);  // SW_SHOWMINIMIZED
  EXPECT_EQ(ShowCommandFor(4), 3);  // SW_SHOWMAXIMIZED
  EXPECT_EQ(ShowCommandFor(5), 4);  // SW_SHOWNOACTIVATE
  EXPECT_EQ(ShowCommandFor(6), 6);  // SW_MINIMIZE
  EXPECT_EQ(ShowCommandFor(0), 0);
  EXPECT_EQ(ShowCommandFor(-9), 0);
  EXPECT_EQ(ShowCommandFor(7), 6);
}

TEST(Process, RunProgramHookSeesTheCommandLine) {
  Text seen;
  bool seenWait = true;
  int seenShow = -1;
  SetRunProgramHook([&](const Text& line, bool wait, int show) {
    seen = line;
    seenWait = wait;
    seenShow = show;
    return false;
  });
  EXPECT_FALSE(RunProgram("\"D:\\Q\\Browser.exe\" 132456 1", false));
  SetRunProgramHook(nullptr);
  EXPECT_EQ(seen, "\"D:\\Q\\Browser.exe\" 132456 1");
  EXPECT_FALSE(seenWait);
  EXPECT_EQ(seenShow, 1);
}

TEST(Process, RunProgramRunsACommandNatively) {
  TempDir dir;
  const std::string f = dir / "ran";
  EXPECT_TRUE(RunProgram("echo -n done > " + f, true));
  EXPECT_EQ(ReadFile(f), "done");
  EXPECT_FALSE(RunProgram("", true));
  EXPECT_FALSE(RunProgram("/no/such/program-quillane", true));
}

namespace {
std::atomic<int> gSeen{0};
std::atomic<int> gTicks{0};
void Remember(std::int32_t p) { gSeen = p; }
void Forever(std::int32_t) {
  for (;;) {
    ++gTicks;
    Delay(5);
  }
}
}  // namespace

TEST(Threads, StartThreadRunsTheRoutineWithItsParameter) {
  gSeen = 0;
  ASSERT_TRUE(StartThread(Remember, 42));
  for (int i = 0; i < 500 && gSeen != 42; ++i) Delay(2);
  EXPECT_EQ(gSeen, 42);
  EXPECT_FALSE(StartThread(nullptr, 1));
}

TEST(Threads, KillThreadEndsAWaitingThread) {
  ThreadHandle h = 0;
  ASSERT_TRUE(StartThread(Forever, 0, &h));
  ASSERT_NE(h, 0u);
  while (gTicks < 3) Delay(2);
  EXPECT_TRUE(KillThread(h));
  Delay(50);
  const int after = gTicks;
  Delay(60);
  EXPECT_EQ(gTicks, after);     // it no longer runs
  EXPECT_FALSE(KillThread(h));  // the handle is closed
  EXPECT_FALSE(KillThread(0));
}

TEST(Threads, KillThreadOfAFinishedThreadSucceeds) {
  gSeen = 0;
  ThreadHandle h = 0;
  ASSERT_TRUE(StartThread(Remember, 9, &h));
  for (int i = 0; i < 500 && gSeen != 9; ++i) Delay(2);
  Delay(20);
  EXPECT_TRUE(KillThread(h));
}

TEST(EndProgramTest, HookSeesTheExitCode) {
  int code = -1;
  SetEndProgramHook([&](std::int32_t c) { code = c; });
  EndProgram(3);
  SetEndProgramHook(nullptr);
  EXPECT_EQ(code, 3);
}

TEST(EndProgramTest, EndsTheProcessWithTheCode) {
  EXPECT_EXIT(EndProgram(7), ::testing::ExitedWithCode(7), "");
}

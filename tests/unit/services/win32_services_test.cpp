// The services on the real Win32 calls, run under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "services/events.h"
#include "services/files.h"
#include "services/message_box.h"
#include "services/process.h"
#include "test_dir.h"

using namespace quillane;
using quillane::testing::ReadFile;
using quillane::testing::TempDir;
using quillane::testing::WriteFile;
namespace fs = std::filesystem;

TEST(Win32Services, RunDirectoryIsTheProgramsFolder) {
  const Text dir = RunDirectory();
  ASSERT_GT(dir.size(), 2u);
  EXPECT_NE(dir.back(), '\\');
  EXPECT_TRUE(PathFileExists(dir + "\\services_tests.exe"));
}

TEST(Win32Services, WriteBytesToFileAndDeleteDirectoryTree) {
  TempDir dir;
  const std::string root = dir.path() + "\\shop";
  ASSERT_TRUE(MakeSureDirectoryPathExists(root + "\\sub\\"));
  EXPECT_TRUE(PathIsDirectory(root + "\\sub"));
  ASSERT_TRUE(WriteBytesToFile(root + "\\sub\\a.bin", Bytes{'a', 0, 'b'}, Bytes{'c'}));
  EXPECT_EQ(ReadFile(root + "\\sub\\a.bin"), std::string("a\0bc", 4));
  ASSERT_TRUE(WriteBytesToFile(root + "\\b.bin", Bytes{}));
  EXPECT_FALSE(WriteBytesToFile("", Bytes{'x'}));
  // Opened with no sharing: a second writer at the same time fails.
  HANDLE open = CreateFileW(fs::path(root + "\\b.bin").wstring().c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteBytesToFile(root + "\\b.bin", Bytes{'y'}));
  CloseHandle(open);
  EXPECT_FALSE(DeleteDirectoryTree("C:\\"));
  EXPECT_FALSE(DeleteDirectoryTree("c:"));
  EXPECT_FALSE(DeleteDirectoryTree("  "));
  EXPECT_TRUE(DeleteDirectoryTree("  " + root + "\\"));
  EXPECT_FALSE(PathFileExists(root));
}

// A spreadsheet program holds the file it shows with no sharing: reading and
// writing it say so, and the file keeps its bytes.
TEST(Win32Services, WholeFilesNameWhyTheyCannotBeReadOrWritten) {
  TempDir dir;
  const std::string file = dir.path() + "\\rules.csv";
  EXPECT_EQ(WriteWholeFile(file, Bytes{'a', 0, 'b'}), FileFailure::None);
  Bytes bytes;
  EXPECT_EQ(ReadWholeFile(file, &bytes), FileFailure::None);
  EXPECT_EQ(bytes, (Bytes{'a', 0, 'b'}));
  HANDLE held = CreateFileW(fs::path(file).wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile(file, &bytes), FileFailure::InUse);
  EXPECT_EQ(WriteWholeFile(file, Bytes{'x'}), FileFailure::InUse);
  CloseHandle(held);
  EXPECT_EQ(ReadWholeFile(file, &bytes), FileFailure::None);
  EXPECT_EQ(bytes, (Bytes{'a', 0, 'b'}));
  EXPECT_EQ(ReadWholeFile(dir.path() + "\\none.csv", &bytes), FileFailure::NotFound);
  EXPECT_EQ(WriteWholeFile(dir.path() + "\\none\\x.csv", Bytes{'x'}), FileFailure::NotFound);
  EXPECT_EQ(WriteWholeFile(dir.path(), Bytes{'x'}), FileFailure::Denied);
}

TEST(Win32Services, RunProgramCreatesAndWaits) {
  TempDir dir;
  const std::string f = dir.path() + "\\ran.txt";
  EXPECT_TRUE(RunProgram("cmd.exe /c echo done> \"" + f + "\"", true, kShowHidden));
  EXPECT_EQ(ReadFile(f).substr(0, 4), "done");
  EXPECT_FALSE(RunProgram("\"C:\\no\\such\\program.exe\" 1 2", false));
  EXPECT_FALSE(RunProgram("", false));
}

namespace {
std::atomic<int> gTicks{0};
void Forever(std::int32_t) {
  for (;;) {
    ++gTicks;
    Sleep(5);
  }
}
std::atomic<int> gParameter{0};
void Remember(std::int32_t p) { gParameter = p; }
}  // namespace

TEST(Win32Services, ThreadsStartAndAreKilled) {
  ASSERT_TRUE(StartThread(Remember, 17));
  for (int i = 0; i < 200 && gParameter != 17; ++i) Sleep(5);
  EXPECT_EQ(gParameter, 17);
  ThreadHandle h = 0;
  ASSERT_TRUE(StartThread(Forever, 0, &h));
  ASSERT_NE(h, 0u);
  while (gTicks < 3) Sleep(5);
  EXPECT_TRUE(KillThread(h));
  Sleep(50);
  const int after = gTicks;
  Sleep(60);
  EXPECT_EQ(gTicks, after);
}

namespace {
int gTimerRuns = 0;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { ++gTimerRuns; }
}  // namespace

TEST(Win32Services, DelayKeepsMessagesFlowingAndProcessEventsLeavesQuit) {
  gTimerRuns = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, OnTimer);
  const DWORD start = GetTickCount();
  Delay(100);
  EXPECT_GE(GetTickCount() - start, 100u);
  EXPECT_GE(gTimerRuns, 3);  // timer messages were handled during the wait
  KillTimer(nullptr, timer);
  Delay(0);

  PostQuitMessage(3);
  ProcessEvents();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
}

namespace {
// Presses a button of the next message box that appears, from another thread.
DWORD WINAPI PressButton(void* id) {
  for (int i = 0; i < 400; ++i) {
    HWND box = FindWindowW(L"#32770", L"退出");
    if (box) {
      PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(reinterpret_cast<std::uintptr_t>(id)), 0);
      return 0;
    }
    Sleep(25);
  }
  return 1;
}
}  // namespace

TEST(Win32Services, MessageBoxAnswersAreNumbered) {
  HANDLE t = CreateThread(nullptr, 0, PressButton, reinterpret_cast<void*>(IDCANCEL), 0, nullptr);
  EXPECT_EQ(ShowMessageBox("确定退出吗？", 65, "退出"), kAnswerCancel);
  WaitForSingleObject(t, 12000);
  CloseHandle(t);
  t = CreateThread(nullptr, 0, PressButton, reinterpret_cast<void*>(IDOK), 0, nullptr);
  EXPECT_EQ(ShowMessageBox("确定退出吗？", 65, "退出"), kAnswerOk);
  WaitForSingleObject(t, 12000);
  CloseHandle(t);
}

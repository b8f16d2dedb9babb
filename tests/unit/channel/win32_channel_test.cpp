// The channel on the real Win32 calls, in one process: the dispatcher opens
// its own process to read what SendHostMessage handed out.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "channel/exchange_area.h"
#include "channel/host_channel.h"
#include "channel/host_transport.h"
#include "services/unique_handle.h"
#include "services/values.h"

using namespace quillane;

namespace {
int gRuns = 0;
void Handler() { ++gRuns; }
LRESULT CALLBACK Counting(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m >= 0xC000) return 55;  // the previous procedure's answer to registered messages
  return DefWindowProcW(w, m, wp, lp);
}
}  // namespace

TEST(Win32Channel, ExchangeBlocksLieBelowTwoGigabytes) {
  ExchangeArea area(1 << 20);
  for (int i = 0; i < 10; ++i) {
    std::uint8_t* p = area.Allocate(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_LT(reinterpret_cast<std::uintptr_t>(p) + 1000, 0x80000000u);
  }
  auto block = CurrentHostTransport().AllocateExchange(4096);
  ASSERT_TRUE(block);
  EXPECT_LT(static_cast<std::uint64_t>(block.address) + 4096, 0x80000000ull);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data), block.address);
  CurrentHostTransport().FreeExchange(block);
}

TEST(Win32Channel, SendToOwnWindowIsFetchedAcknowledgedAndServed) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Counting;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuillaneChannelTest";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                           wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  ClearHostRegistry();
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", Handler));
  SubclassHostWindow(reinterpret_cast<NativeWindow>(w));

  EXPECT_TRUE(
      SendHostMessage(reinterpret_cast<NativeWindow>(w), "匹配回复内容", ToBytes(Text("在吗|1"))));
  EXPECT_EQ(gRuns, 1);
  EXPECT_EQ(ToText(LastPayload("匹配回复内容")), "在吗|1");
  const Bytes zero{'a', 0, 'b'};
  EXPECT_TRUE(SendHostMessage(reinterpret_cast<NativeWindow>(w), "匹配回复内容", zero));
  EXPECT_EQ(LastPayload("匹配回复内容"), zero);
  EXPECT_TRUE(SendHostMessage(reinterpret_cast<NativeWindow>(w), "匹配回复内容", Bytes{}));
  EXPECT_TRUE(LastPayload("匹配回复内容").empty());
  EXPECT_EQ(gRuns, 3);
  // The previous procedure still answers, through the dispatcher.
  EXPECT_EQ(SendMessageA(w, RegisterWindowMessageA("匹配回复内容"), 0, 0), 55);
  EXPECT_EQ(gRuns, 3);  // a garbage wParam runs no handler
  // Not registered here: passed on, not acknowledged.
  EXPECT_FALSE(SendHostMessage(reinterpret_cast<NativeWindow>(w), "停止", ToBytes(Text("1"))));

  DestroyWindow(w);
  EXPECT_FALSE(
      SendHostMessage(reinterpret_cast<NativeWindow>(w), "匹配回复内容", ToBytes(Text("x"))));
  EXPECT_EQ(gRuns, 3);
  ClearHostRegistry();
}

TEST(Win32Channel, BroadcastHandlesAreNoReceivers) {
  // A top-level window, which a broadcast would reach.
  WNDCLASSW wc{};
  wc.lpfnWndProc = Counting;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuillaneChannelTopLevel";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  ClearHostRegistry();
  ASSERT_TRUE(RegisterHostMessage("匹配回复内容", Handler));
  SubclassHostWindow(reinterpret_cast<NativeWindow>(w));
  gRuns = 0;
  for (const NativeWindow target :
       {NativeWindow{0}, reinterpret_cast<NativeWindow>(HWND_BROADCAST),
        reinterpret_cast<NativeWindow>(HWND_TOPMOST), NativeWindow{0xFFFFFFFFu}}) {
    EXPECT_FALSE(SendHostMessage(target, "匹配回复内容", ToBytes(Text("在吗|1"))));
  }
  EXPECT_EQ(gRuns, 0);
  EXPECT_TRUE(
      SendHostMessage(reinterpret_cast<NativeWindow>(w), "匹配回复内容", ToBytes(Text("在吗|1"))));
  EXPECT_EQ(gRuns, 1);
  DestroyWindow(w);
  ClearHostRegistry();
}

namespace {
// A process that waits for commands on a pipe until it is ended, with a text
// written into its memory.
struct WaitingChild {
  UniqueHandle process;
  UniqueHandle input;  // the pipe's writing end; the child reads the other
  DWORD id = 0;
  std::uint64_t text = 0;  // where the text lies in the child

  explicit WaitingChild(const char* marker) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return;
    const UniqueHandle childEnd(read);
    input = UniqueHandle(write);
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = read;
    si.hStdOutput = si.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    wchar_t line[] = L"cmd.exe /q";
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &si, &pi)) {
      return;
    }
    CloseHandle(pi.hThread);
    process = UniqueHandle(pi.hProcess);
    id = pi.dwProcessId;
    // The child takes a moment to start up before memory can be made in it.
    void* at = nullptr;
    for (int i = 0; i < 100 && !at; ++i) {
      at = VirtualAllocEx(process.get(), nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
      if (!at) Sleep(50);
    }
    SIZE_T done = 0;
    if (at && WriteProcessMemory(process.get(), at, marker, std::strlen(marker) + 1, &done)) {
      text = reinterpret_cast<std::uintptr_t>(at);
    }
  }
  ~WaitingChild() { End(); }
  void End() {
    if (!process) return;
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 5000);
    process = UniqueHandle();
  }
};
}  // namespace

TEST(Win32Channel, ASendersProcessIsKeptOpenAndNeverStandsInForAnother) {
  HostTransport& transport = CurrentHostTransport();
  char seen[8] = {};
  WaitingChild first("first");
  ASSERT_NE(first.text, 0u);
  const auto kept = transport.OpenProcess(first.id);
  ASSERT_TRUE(kept);
  EXPECT_EQ(transport.OpenProcess(first.id), kept);  // opened once, then kept
  EXPECT_TRUE(kept->Read(first.text, seen, 6));
  EXPECT_STREQ(seen, "first");

  // Once it has ended, nothing is read under its id any more: neither
  // through the kept process nor through whatever the id names now.
  const DWORD firstId = first.id;
  const std::uint64_t firstText = first.text;
  first.End();
  std::fill(std::begin(seen), std::end(seen), '\0');
  EXPECT_FALSE(kept->Read(firstText, seen, 6));
  const auto again = transport.OpenProcess(firstId);
  EXPECT_FALSE(again && again->Read(firstText, seen, 6) && std::string(seen) == "first");

  // A new sender is read through its own process.
  WaitingChild second("second");
  ASSERT_NE(second.text, 0u);
  const auto other = transport.OpenProcess(second.id);
  ASSERT_TRUE(other);
  EXPECT_TRUE(other->Read(second.text, seen, 7));
  EXPECT_STREQ(seen, "second");
}

// The channel on the real Win32 calls, in one process: the dispatcher opens
// its own process to read what SendHostMessage handed out.
#include <windows.h>

#include <gtest/gtest.h>

#include "channel/exchange_area.h"
#include "channel/host_channel.h"
#include "channel/host_transport.h"
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

// hosttest.exe: a small host for trying the shop client and the message
// channel before the main program exists. One window with a tab control as
// the host window; it starts Browser.exe (from its own folder) for each shop
// with the command line the main program uses, places each announced client
// window, turns replying on, and answers every customer text with "回复:"
// followed by the text.
//
//   hosttest.exe [number of shops, default 1] [--embed]
//
// With --embed the client windows are re-parented into the tabs, as the main
// program does. Under Wine such a window of another process is not drawn (it
// exists, is placed and gets its messages, but its painting never reaches the
// screen), so by default the clients are placed beside the host instead.
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "channel/host_channel.h"
#include "channel/messages.h"
#include "client/win_text.h"
#include "services/encoding.h"
#include "services/files.h"
#include "services/paths.h"
#include "services/process.h"
#include "services/text.h"
#include "services/unique_handle.h"
#include "services/values.h"

using namespace quillane;
using namespace quillane::client;

namespace {

struct Shop {
  HWND window = nullptr;
  Text directory;
};

HWND gMain = nullptr;
HWND gTabs = nullptr;
HWND gStatus = nullptr;
std::vector<Shop> gShops;
int gWanted = 1;
bool gEmbed = false;
int gStarted = 0;

// QUILLANE_HOST_LOG names a file to which one UTF-8 line is appended per
// message received: its name, a tab and the payload as text.
HANDLE gLog = INVALID_HANDLE_VALUE;
void Log(const Text& name, const Text& text) {
  if (gLog == INVALID_HANDLE_VALUE) return;
  const std::string line = GbkToUtf8(name) + "\t" + GbkToUtf8(text) + "\r\n";
  DWORD written = 0;
  WriteFile(gLog, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Status(const Text& text) { SetText(gStatus, text); }

void FitClient(HWND client) {
  RECT r{};
  GetClientRect(gTabs, &r);
  MoveWindow(client, 0, 24, r.right, r.bottom - 24, TRUE);
}

void ShowCurrent() {
  const int current = static_cast<int>(SendMessageW(gTabs, TCM_GETCURSEL, 0, 0));
  for (std::size_t k = 0; k < gShops.size(); ++k) {
    ShowWindow(gShops[k].window, static_cast<int>(k) + 1 == current ? SW_SHOW : SW_HIDE);
  }
}

void StartNextShop() {
  if (gStarted >= gWanted) return;
  ++gStarted;
  const std::wstring caption = WideFromGbk("店铺" + ToText(gStarted));
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(caption.c_str());
  SendMessageW(gTabs, TCM_INSERTITEMW, gStarted, reinterpret_cast<LPARAM>(&item));
  SendMessageW(gTabs, TCM_SETCURSEL, gStarted, 0);
  ShowCurrent();
  const Text line = "\"" + RunDirectory() + "\\Browser.exe\" " +
                    ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(gTabs))) +
                    " " + ToText(gStarted);
  if (!RunProgram(line, false)) {
    Status("添加失败，请检查本程序目录中Browser.exe是否存在。");
  } else {
    Status("已启动店铺" + ToText(gStarted));
  }
}

void OnAnnounce() {
  const auto fields = SplitText(ToText(LastPayload(kAnnounceMessage)), "|");
  Log(kAnnounceMessage, ToText(LastPayload(kAnnounceMessage)));
  if (fields.size() < 3) return;
  Shop shop;
  shop.window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ToWideInteger(fields[0])));
  shop.directory = fields[2];
  gShops.push_back(shop);
  if (gEmbed) {
    if (SetParent(shop.window, gTabs)) FitClient(shop.window);
    ShowCurrent();
  } else {
    // Beside the host window, so that it can be seen and used under Wine too.
    RECT r{};
    GetWindowRect(gMain, &r);
    const int offset = 30 * static_cast<int>(gShops.size() - 1);
    SetWindowPos(shop.window, nullptr, r.right + 8 + offset, r.top + offset, 560, 420,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  // Turn replying on: the client answers with its "启动" notice.
  SendHostMessage(reinterpret_cast<NativeWindow>(shop.window), kStartReplyingMessage,
                  ToBytes(Text("10")));
  StartNextShop();  // one client at a time, so shop k is the k-th to announce
}

void OnMatch() {
  const auto fields = SplitText(ToText(LastPayload(kMatchRequestMessage)), "|");
  Log(kMatchRequestMessage, ToText(LastPayload(kMatchRequestMessage)));
  if (fields.empty()) return;
  const std::int32_t shop = fields.size() > 1 ? ToInteger(fields[1]) : 0;
  if (shop < 1 || static_cast<std::size_t>(shop) > gShops.size()) return;
  SendHostMessage(reinterpret_cast<NativeWindow>(gShops[shop - 1].window), kMatchRequestMessage,
                  ToBytes("回复:" + fields[0]));
}

void OnStopped() {
  const std::int32_t n = ToInteger(ToText(LastPayload(kStoppedMessage)));
  Log(kStoppedMessage, ToText(LastPayload(kStoppedMessage)));
  if (n > 0) Status("店铺" + ToText(n) + "已停止");
}

void OnStarted() {
  const std::int32_t n = ToInteger(ToText(LastPayload(kStartedMessage)));
  Log(kStartedMessage, ToText(LastPayload(kStartedMessage)));
  if (n > 0) Status("店铺" + ToText(n) + "已启动");
}

void Layout() {
  RECT r{};
  GetClientRect(gMain, &r);
  MoveWindow(gTabs, 0, 0, r.right, r.bottom - 24, TRUE);
  MoveWindow(gStatus, 4, r.bottom - 22, r.right - 8, 20, TRUE);
  for (const Shop& s : gShops) FitClient(s.window);
}

// Tells the clients to stop and removes their data directories (only plain
// full paths below a drive root); the processes are ended by whoever started
// this host.
void OnDestroy() {
  for (const Shop& s : gShops) {
    SendHostMessage(reinterpret_cast<NativeWindow>(s.window), kStopReplyingMessage, Bytes{0});
    const auto full = FullLocalPath(s.directory);
    if (full && !IsDriveRoot(*full) && !HasDotNames(s.directory)) DeleteDirectoryTree(*full);
  }
  PostQuitMessage(0);
}

LRESULT CALLBACK MainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (gTabs) Layout();
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == TCN_SELCHANGE) ShowCurrent();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int argc = 0;
  const UniqueArgv arguments(CommandLineToArgvW(GetCommandLineW(), &argc));
  wchar_t** argv = arguments.get();
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--embed") {
      gEmbed = true;
    } else {
      gWanted = std::max(1, std::min(9, _wtoi(argv[i])));
    }
  }

  const std::wstring logPath = Environment(L"QUILLANE_HOST_LOG");
  if (!logPath.empty()) {
    gLog = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MainProcedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"QuillaneChannelHost";
  RegisterClassExW(&wc);
  gMain = CreateWindowExW(0, wc.lpszClassName, WideFromGbk("Quillane 通道测试主机").c_str(),
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 20, 40, 600, 480, nullptr, nullptr,
                          instance, nullptr);
  const UniqueFont font(CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, 0,
                                    0, 0, 0, L"SimSun"));
  gTabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 10,
                          10, gMain, nullptr, instance, nullptr);
  gStatus = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, gMain, nullptr,
                            instance, nullptr);
  SendMessageW(gTabs, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  SendMessageW(gStatus, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  const std::wstring start = WideFromGbk("启动页");
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(start.c_str());
  SendMessageW(gTabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  Layout();
  Status("欢迎使用");

  SubclassHostWindow(reinterpret_cast<NativeWindow>(gTabs));
  RegisterHostMessage(kAnnounceMessage, OnAnnounce);
  RegisterHostMessage(kMatchRequestMessage, OnMatch);
  RegisterHostMessage(kStoppedMessage, OnStopped);
  RegisterHostMessage(kStartedMessage, OnStarted);

  ShowWindow(gMain, show);
  UpdateWindow(gMain);
  StartNextShop();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

// Browser.exe, the reference shop client. Started by the host with
//   "<path>\Browser.exe" <host window> <shop number>
// it announces its window to the host, asks for the reply to every customer
// text typed into it (or read from a script), shows the replies, and follows
// the host's "开启回复", "停止回复" and "子夹改变".
//
// Scripted runs (its environment; the host passes its own on):
//   QUILLANE_CLIENT_SCRIPT  a UTF-8 file, one customer text per line, sent one
//                           after another once the client has announced itself;
//                           A line "#raw PAYLOAD" sends the payload as it
//                           stands (a "|" and shop number of its own); a line
//                           "#hang SECONDS" stops handling messages that long,
//                           as a client that hangs does;
//   QUILLANE_CLIENT_LOG     a file to which one UTF-8 line is appended per
//                           message sent or received: name, a tab, the payload
//                           as text (line breaks in it written as \r and \n);
//   QUILLANE_CLIENT_FOLDER  a UTF-8 file whose first line is the data folder to
//                           announce instead of a new one of its own.
// In both names "{shop}" stands for the shop number the client was started
// with, so that each shop of a test can have a script and a log of its own.
#include <windows.h>
#include <shellapi.h>

#include <deque>
#include <string>

#include "channel/host_channel.h"
#include "channel/messages.h"
#include "client/win_text.h"
#include "services/encoding.h"
#include "services/files.h"
#include "services/text.h"
#include "services/unique_handle.h"
#include "services/values.h"

using namespace quillane;
using namespace quillane::client;

namespace {

constexpr int kIdText = 101;
constexpr int kIdSend = 102;
constexpr int kIdStart = 103;
constexpr int kIdStop = 104;
constexpr int kIdLog = 105;
constexpr int kIdState = 106;
constexpr UINT kAnnounce = WM_APP + 1;
constexpr UINT kNextScripted = WM_APP + 2;
constexpr UINT kNotice = WM_APP + 3;  // wParam 1: "启动", 0: "停止"

struct Client {
  HWND window = nullptr;
  HWND text = nullptr;
  HWND send = nullptr;
  HWND start = nullptr;
  HWND stop = nullptr;
  HWND log = nullptr;
  HWND state = nullptr;
  UniqueFont font;
  NativeWindow host = 0;
  std::int32_t shop = 0;
  bool replying = false;
  std::int32_t waitSeconds = 0;
  Text dataDirectory;
  UniqueHandle logFile;
  std::deque<Text> script;
  // Under Wine a window put into another process's window is not painted, so
  // there the client stays a top-level window laid over its place in the
  // host's tab instead (see FollowHost).
  HWND floatingOver = nullptr;  // the host window it lies over, when floating
  bool moving = false;          // a move of its own, not the host's
};
Client gClient;

constexpr UINT_PTR kFollowTimer = 1;

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The screen position of a point of the host window's client area.
POINT HostToScreen(int x, int y) {
  POINT p{x, y};
  ClientToScreen(gClient.floatingOver, &p);
  return p;
}

// Keeps the floating window over the host's client area below the tab strip.
void FollowHost() {
  if (!gClient.floatingOver || !IsWindow(gClient.floatingOver)) return;
  RECT r{};
  GetClientRect(gClient.floatingOver, &r);
  RECT now{};
  GetWindowRect(gClient.window, &now);
  const POINT p = HostToScreen(0, 24);
  const int w = r.right, h = r.bottom - 24 > 0 ? r.bottom - 24 : 0;
  if (now.left == p.x && now.top == p.y && now.right - now.left == w && now.bottom - now.top == h)
    return;
  gClient.moving = true;
  SetWindowPos(gClient.window, nullptr, p.x, p.y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  gClient.moving = false;
}

// One line of the log file, written at once so that clients sharing a file do
// not interleave within a line.
void LogMessage(const Text& name, const Text& payloadText) {
  if (!gClient.logFile) return;
  Text text = ReplaceText(payloadText, "\r", "\\r");
  text = ReplaceText(text, "\n", "\\n");
  const std::string line = GbkToUtf8(name) + "\t" + GbkToUtf8(text) + "\r\n";
  DWORD written = 0;
  WriteFile(gClient.logFile.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Show(const Text& line) { AppendLine(gClient.log, line); }

void ShowState() {
  Text s = "店铺" + ToText(gClient.shop) + (gClient.replying ? "：正在回复" : "：未回复");
  if (gClient.host == 0) s = "未连接主程序（单独运行）";
  SetText(gClient.state, s);
  SetText(gClient.window, "店铺客户端 - 店铺" + ToText(gClient.shop));
}

bool Send(const Text& name, const Bytes& payload) {
  LogMessage(name, ToText(payload));
  if (gClient.host == 0) return false;
  return SendHostMessage(gClient.host, name, payload);
}

// Asks the host for the reply to a customer text. The reply comes back as a
// message of the same name while this send is still in progress.
void AskForReply(Text customerText) {
  // The payload's own separator must not occur inside the text.
  customerText = ReplaceText(customerText, "|", "｜");
  Show("顾客：" + customerText);
  if (!Send(kMatchRequestMessage, ToBytes(customerText + "|" + ToText(gClient.shop)))) {
    Show("（未送达主程序）");
  }
}

// ---- handlers of the host's messages ----------------------------------------

void OnReply() {
  const Text reply = ToText(LastPayload(kMatchRequestMessage));
  LogMessage(kMatchRequestMessage, reply);
  Show("回复：" + reply);
}

void OnStartReplying() {
  const Text seconds = ToText(LastPayload(kStartReplyingMessage));
  LogMessage(kStartReplyingMessage, seconds);
  gClient.waitSeconds = ToInteger(seconds);
  const bool was = gClient.replying;
  gClient.replying = true;
  Show("开启回复，等待时间 " + seconds + " 秒");
  ShowState();
  // The notice goes out after this handler has returned, not nested in the
  // host's own send.
  if (!was) PostMessageW(gClient.window, kNotice, 1, 0);
}

void OnStopReplying() {
  LogMessage(kStopReplyingMessage, ToText(LastPayload(kStopReplyingMessage)));
  const bool was = gClient.replying;
  gClient.replying = false;
  Show("停止回复");
  ShowState();
  if (was) PostMessageW(gClient.window, kNotice, 0, 0);
}

void OnShopChanged() {
  const Text number = ToText(LastPayload(kShopNumberMessage));
  LogMessage(kShopNumberMessage, number);
  const std::int32_t n = ToInteger(number);
  if (n > 0) gClient.shop = n;
  Show("店铺编号：" + number);
  ShowState();
}

// ---- start-up ----------------------------------------------------------------

Text MakeDataDirectory() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n > MAX_PATH) return {};
  Text base = GbkFromWide(temp);
  if (!base.empty() && base.back() != '\\') base += "\\";
  const Text dir = base + "QuillaneShop\\" +
                   ToText(static_cast<std::uint64_t>(GetCurrentProcessId())) + "-" +
                   ToText(static_cast<std::uint64_t>(GetTickCount()));
  if (!MakeSureDirectoryPathExists(dir + "\\")) return {};
  return dir;
}

// A file name from the environment, with "{shop}" replaced by the shop number.
std::wstring ShopFileName(const wchar_t* variable) {
  std::wstring path = Environment(variable);
  const std::wstring shop = std::to_wstring(gClient.shop);
  for (std::size_t at = path.find(L"{shop}"); at != std::wstring::npos;
       at = path.find(L"{shop}", at)) {
    path.replace(at, 6, shop);
    at += shop.size();
  }
  return path;
}

// The lines of the UTF-8 file that the variable names, as GBK texts.
std::deque<Text> ReadLines(const wchar_t* variable) {
  std::deque<Text> lines;
  const std::wstring path = ShopFileName(variable);
  if (path.empty()) return lines;
  const UniqueHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return lines;
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    content.append(buffer, got);
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);  // a byte order mark
  std::size_t at = 0;
  while (at < content.size()) {
    std::size_t end = content.find('\n', at);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(Utf8ToGbk(line));
    at = end + 1;
  }
  return lines;
}

// One line of a script: a customer text, or one of the "#" commands.
void RunScriptLine(const Text& line) {
  if (line.rfind("#raw ", 0) == 0) {
    const Text payload = line.substr(5);
    Show("顾客：" + payload);
    if (!Send(kMatchRequestMessage, ToBytes(payload))) Show("（未送达主程序）");
  } else if (line.rfind("#hang ", 0) == 0) {
    Sleep(static_cast<DWORD>(ToInteger(line.substr(6))) * 1000);
  } else {
    AskForReply(line);
  }
}

void OpenLog() {
  const std::wstring path = ShopFileName(L"QUILLANE_CLIENT_LOG");
  if (path.empty()) return;
  gClient.logFile.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

HWND Child(const wchar_t* cls, const Text& text, DWORD style, int id, DWORD exStyle = 0) {
  HWND h =
      CreateWindowExW(exStyle, cls, WideFromGbk(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                      10, 10, gClient.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      GetModuleHandleW(nullptr), nullptr);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(gClient.font.get()), TRUE);
  return h;
}

void Layout() {
  RECT r{};
  GetClientRect(gClient.window, &r);
  const int w = r.right;
  const int h = r.bottom;
  MoveWindow(gClient.state, 8, 8, w - 16, 20, TRUE);
  MoveWindow(gClient.text, 8, 34, w - 16 - 3 * 88, 26, TRUE);
  MoveWindow(gClient.send, w - 8 - 3 * 88 + 6, 34, 82, 26, TRUE);
  MoveWindow(gClient.start, w - 8 - 2 * 88 + 6, 34, 82, 26, TRUE);
  MoveWindow(gClient.stop, w - 8 - 88 + 6, 34, 82, 26, TRUE);
  MoveWindow(gClient.log, 8, 68, w - 16, h - 76 > 20 ? h - 76 : 20, TRUE);
}

void SetReplying(bool on) {
  if (gClient.replying == on) return;
  gClient.replying = on;
  Show(on ? "开启回复" : "停止回复");
  ShowState();
  PostMessageW(gClient.window, kNotice, on ? 1 : 0, 0);
}

// ---- the window's messages, one function each ------------------------------

void OnCommand(WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDOK:  // Enter in the text box
    case kIdSend: {
      const Text text = WindowText(gClient.text);
      SetText(gClient.text, "");
      AskForReply(text);
      SetFocus(gClient.text);
      break;
    }
    case kIdStart:
      SetReplying(true);
      break;
    case kIdStop:
      SetReplying(false);
      break;
    default:
      break;
  }
}

// Under Wine: float over the host's tab as a frameless window owned by the
// host's top-level window, so it stays above it and goes with it.
void FloatOver(HWND window, HWND parent) {
  const bool shown = IsWindowVisible(window) != FALSE;
  SetParent(window, nullptr);
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  style &= ~static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW | WS_CHILD);
  SetWindowLongPtrW(window, GWL_STYLE, style | WS_POPUP);
  SetWindowLongPtrW(window, GWLP_HWNDPARENT,
                    reinterpret_cast<LONG_PTR>(GetAncestor(parent, GA_ROOT)));
  gClient.floatingOver = parent;
  FollowHost();
  ShowWindow(window, shown ? SW_SHOWNA : SW_HIDE);
  SetTimer(window, kFollowTimer, 250, nullptr);
  // The host's tab has lost a child: let it paint the place again.
  RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Embedded by the host: become a plain child window without a frame.
void BecomeChild(HWND window, HWND parent) {
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  style &= ~static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW | WS_POPUP);
  SetWindowLongPtrW(window, GWL_STYLE, style | WS_CHILD);
  SetParent(window, parent);
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void OnAnnounce(HWND window) {
  if (gClient.host == 0) return;
  const Text payload =
      ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window))) + "|" +
      ToText(static_cast<std::uint64_t>(GetCurrentProcessId())) + "|" + gClient.dataDirectory;
  if (!Send(kAnnounceMessage, ToBytes(payload))) Show("（主程序未应答）");
  HWND parent = GetAncestor(window, GA_PARENT);
  if (parent && parent != GetDesktopWindow()) {
    if (RunningUnderWine()) {
      FloatOver(window, parent);
    } else {
      BecomeChild(window, parent);
    }
  }
  PostMessageW(window, kNextScripted, 0, 0);
}

void OnNextScripted(HWND window) {
  if (gClient.script.empty()) return;
  const Text line = gClient.script.front();
  gClient.script.pop_front();
  RunScriptLine(line);
  PostMessageW(window, kNextScripted, 0, 0);
}

// While floating, the host's moves are in its own client coordinates.
void OnPositionChanging(WINDOWPOS* pos) {
  if (!gClient.floatingOver || gClient.moving || (pos->flags & SWP_NOMOVE)) return;
  const POINT p = HostToScreen(pos->x, pos->y);
  pos->x = p.x;
  pos->y = p.y;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (gClient.log) Layout();
      return 0;
    case WM_COMMAND:
      OnCommand(wParam);
      break;
    case kAnnounce:
      OnAnnounce(window);
      return 0;
    case kNextScripted:
      OnNextScripted(window);
      return 0;
    case kNotice:
      Send(wParam ? kStartedMessage : kStoppedMessage, ToBytes(ToText(gClient.shop)));
      return 0;
    case WM_TIMER:
      if (wParam == kFollowTimer) FollowHost();
      return 0;
    case WM_WINDOWPOSCHANGING:
      OnPositionChanging(reinterpret_cast<WINDOWPOS*>(lParam));
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The whole number an argument holds, or 0.
std::uint64_t Number(const wchar_t* s) {
  std::uint64_t v = 0;
  for (; *s; ++s) {
    if (*s < L'0' || *s > L'9' || v > 0xFFFFFFFFFFFFull) return 0;
    v = v * 10 + static_cast<std::uint64_t>(*s - L'0');
  }
  return v;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int argc = 0;
  const UniqueArgv arguments(CommandLineToArgvW(GetCommandLineW(), &argc));
  wchar_t** argv = arguments.get();
  if (argv && argc >= 3) {
    gClient.host = static_cast<NativeWindow>(Number(argv[1]));
    gClient.shop = static_cast<std::int32_t>(Number(argv[2]) & 0x7FFFFFFF);
  }
  if (gClient.host != 0 && !IsWindow(reinterpret_cast<HWND>(gClient.host))) gClient.host = 0;

  OpenLog();
  gClient.script = ReadLines(L"QUILLANE_CLIENT_SCRIPT");
  const std::deque<Text> folder = ReadLines(L"QUILLANE_CLIENT_FOLDER");
  gClient.dataDirectory = folder.empty() ? MakeDataDirectory() : folder.front();

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProcedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"QuillaneShopClient";
  RegisterClassExW(&wc);

  gClient.window =
      CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, 640, 420, nullptr, nullptr, instance, nullptr);
  if (!gClient.window) return 1;
  gClient.font.reset(CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, 0, 0,
                                 0, 0, L"SimSun"));
  gClient.state = Child(L"STATIC", "", SS_LEFT, kIdState);
  gClient.text =
      Child(L"EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kIdText, WS_EX_CLIENTEDGE);
  gClient.send = Child(L"BUTTON", "发送", WS_TABSTOP | BS_DEFPUSHBUTTON, kIdSend);
  gClient.start = Child(L"BUTTON", "开启回复", WS_TABSTOP, kIdStart);
  gClient.stop = Child(L"BUTTON", "停止回复", WS_TABSTOP, kIdStop);
  gClient.log =
      Child(L"EDIT", "", WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
            kIdLog, WS_EX_CLIENTEDGE);
  Layout();
  ShowState();
  Show(gClient.host ? "在上面的输入框中输入顾客消息，按“发送”查看自动回复。"
                    : "没有主程序：请由主程序启动本客户端。");

  RegisterHostMessage(kMatchRequestMessage, OnReply);
  RegisterHostMessage(kStartReplyingMessage, OnStartReplying);
  RegisterHostMessage(kStopReplyingMessage, OnStopReplying);
  RegisterHostMessage(kShopNumberMessage, OnShopChanged);
  SubclassHostWindow(reinterpret_cast<NativeWindow>(gClient.window));

  ShowWindow(gClient.window, show);
  UpdateWindow(gClient.window);
  PostMessageW(gClient.window, kAnnounce, 0, 0);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(gClient.window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

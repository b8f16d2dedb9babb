// End-to-end test of the host message channel under Wine: this program is
// the host (one window, the registry, the dispatcher, a trivial handler that
// answers "回复:" + the customer text); it starts two Browser.exe clients with
// the host's command line and a script, and hostpeer.exe for special and
// hostile senders. Prints one line per check and exits with the number of
// failed checks. Every wait is bounded; every process it started is ended.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "channel/host_channel.h"
#include "services/encoding.h"
#include "services/events.h"
#include "services/files.h"
#include "services/text.h"
#include "services/unique_handle.h"
#include "services/values.h"

using namespace quillane;

namespace {

int gFailures = 0;
void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", GbkToUtf8(what).c_str());
  std::fflush(stdout);
  if (!ok) ++gFailures;
}

struct Shop {
  HWND window = nullptr;
  Text directory;
};
std::vector<Shop> gShops;
std::vector<Text> gNotices;  // "启动 1", "停止 1", ...
int gMatchRuns = 0;
const Text kMatch = "匹配回复内容";

void OnAnnounce() {
  const auto f = SplitText(ToText(LastPayload("子窗口句柄")), "|");
  if (f.size() < 3) return;
  gShops.push_back(
      Shop{reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ToWideInteger(f[0]))), f[2]});
}

void OnMatch() {
  ++gMatchRuns;
  const auto f = SplitText(ToText(LastPayload(kMatch)), "|");
  if (f.size() < 2) return;
  const std::int32_t shop = ToInteger(f[1]);
  if (shop < 1 || static_cast<std::size_t>(shop) > gShops.size()) return;
  // Answered while the client's own send is still in progress.
  SendHostMessage(reinterpret_cast<NativeWindow>(gShops[shop - 1].window), kMatch,
                  ToBytes("回复:" + f[0]));
}

void OnStopped() { gNotices.push_back("停止 " + ToText(LastPayload("停止"))); }
void OnStarted() { gNotices.push_back("启动 " + ToText(LastPayload("启动"))); }

template <typename F>
bool WaitFor(F done, int milliseconds) {
  const std::uint32_t start = TickCount();
  while (!done()) {
    if (TickCount() - start > static_cast<std::uint32_t>(milliseconds)) return false;
    Delay(20);
  }
  return true;
}

std::string ReadUtf8(const Text& path) {
  const UniqueHandle f(CreateFileW(WideFromGbk(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
  if (!f) return {};
  std::string s;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) s.append(buf, got);
  return s;
}

bool Contains(const Text& logPath, const Text& gbkText) {
  return ReadUtf8(logPath).find(GbkToUtf8(gbkText)) != std::string::npos;
}

bool HasLine(const Text& logPath, const Text& gbkLine) {
  return ReadUtf8(logPath).find(GbkToUtf8(gbkLine) + "\r\n") != std::string::npos;
}

std::vector<HANDLE> gProcesses;

// Starts a program and keeps its handle for the end (so none is left behind).
bool Start(const Text& commandLine) {
  std::wstring line = WideFromGbk(commandLine);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  gProcesses.push_back(pi.hProcess);
  return true;
}

// Runs a program to its end while this thread keeps handling messages (the
// program sends to our window); its exit code, or -1 on a timeout.
int RunPumping(const Text& commandLine, int milliseconds) {
  if (!Start(commandLine)) return -2;
  HANDLE p = gProcesses.back();
  const std::uint32_t start = TickCount();
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &p, FALSE, 50, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    ProcessEvents();
    if (TickCount() - start > static_cast<std::uint32_t>(milliseconds)) {
      TerminateProcess(p, 99);
      return -1;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(p, &code);
  return static_cast<int>(code);
}

void EndProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const UniqueHandle p(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!p) return;
  TerminateProcess(p.get(), 0);
  WaitForSingleObject(p.get(), 5000);
}

}  // namespace

int main() {
  const Text dir = RunDirectory();
  Text temp;
  {
    wchar_t t[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, t);
    temp = Utf16ToGbk(std::u16string(reinterpret_cast<const char16_t*>(t)));
  }
  const Text work =
      temp + "quillane-channel-e2e-" + ToText(static_cast<std::uint64_t>(GetCurrentProcessId()));
  MakeSureDirectoryPathExists(work + "\\");
  const Text script = work + "\\script.txt";
  // Lines: plain text, a text with the payload separator, an empty one.
  WriteBytesToFile(script, ToBytes(GbkToUtf8("你好\n在吗|还在吗\n\n最后一条\n")));

  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuillaneE2EHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"e2e host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, wc.hInstance, nullptr);
  SubclassHostWindow(reinterpret_cast<NativeWindow>(host));
  Check(RegisterHostMessage("子窗口句柄", OnAnnounce), "register 子窗口句柄");
  Check(RegisterHostMessage(kMatch, OnMatch), "register 匹配回复内容");
  Check(RegisterHostMessage("停止", OnStopped), "register 停止");
  Check(RegisterHostMessage("启动", OnStarted), "register 启动");
  Check(!RegisterHostMessage("启动", OnAnnounce), "a name registers once");

  const Text hostText = ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(host)));
  Text logs[2];
  for (int k = 1; k <= 2; ++k) {
    logs[k - 1] = work + "\\client" + ToText(k) + ".log";
    SetEnvironmentVariableW(L"QUILLANE_CLIENT_SCRIPT", WideFromGbk(script).c_str());
    SetEnvironmentVariableW(L"QUILLANE_CLIENT_LOG", WideFromGbk(logs[k - 1]).c_str());
    const Text line = "\"" + dir + "\\Browser.exe\" " + hostText + " " + ToText(k);
    Check(Start(line), "start Browser.exe for shop " + ToText(k));
    // One client at a time, as the main program does: shop k announces k-th.
    Check(WaitFor([&] { return gShops.size() >= static_cast<std::size_t>(k); }, 30000),
          "shop " + ToText(k) + " announced its window");
  }
  if (gShops.size() < 2) {
    for (HANDLE p : gProcesses) TerminateProcess(p, 0);
    return 100;
  }
  for (int k = 0; k < 2; ++k) {
    Check(IsWindow(gShops[k].window), "announced window " + ToText(k + 1) + " is a window");
    Check(PathIsDirectory(gShops[k].directory), "data directory " + ToText(k + 1) + " exists");
  }
  Check(gShops[0].directory != gShops[1].directory, "each client has its own data directory");

  // Scripted requests, each answered during the client's own send.
  for (int k = 0; k < 2; ++k) {
    const Text& log = logs[k];
    const Text shop = ToText(k + 1);
    Check(WaitFor([&] { return HasLine(log, "匹配回复内容\t回复:最后一条"); }, 20000),
          "client " + shop + " got the reply to its last scripted text");
    Check(Contains(log, "子窗口句柄\t" +
                            ToText(static_cast<std::uint64_t>(
                                reinterpret_cast<std::uintptr_t>(gShops[k].window))) +
                            "|"),
          "client " + shop + " logged its announcement");
    Check(HasLine(log, "匹配回复内容\t你好|" + shop), "client " + shop + " asked for 你好");
    Check(HasLine(log, "匹配回复内容\t回复:你好"), "client " + shop + " got 回复:你好");
    Check(HasLine(log, "匹配回复内容\t在吗｜还在吗|" + shop),
          "client " + shop + " replaced | by ｜");
    Check(HasLine(log, "匹配回复内容\t|" + shop), "client " + shop + " sent the empty text");
    Check(HasLine(log, "匹配回复内容\t回复:"),
          "client " + shop + " got the reply to the empty text");
  }

  // Notices.
  const auto client = [](int k) { return reinterpret_cast<NativeWindow>(gShops[k].window); };
  Check(SendHostMessage(client(0), "开启回复", ToBytes(Text("7"))), "开启回复 acknowledged");
  Check(WaitFor([] { return !gNotices.empty(); }, 10000) && gNotices.back() == "启动 1",
        "client 1 answered 开启回复 with 启动 1");
  Check(HasLine(logs[0], "开启回复\t7"), "client 1 logged 开启回复 7");
  Check(SendHostMessage(client(0), "停止回复", Bytes{0}), "停止回复 acknowledged");
  Check(WaitFor([] { return gNotices.size() >= 2; }, 10000) && gNotices.back() == "停止 1",
        "client 1 answered 停止回复 with 停止 1");
  Check(HasLine(logs[0], "停止回复\t"), "client 1 logged 停止回复");
  Check(SendHostMessage(client(1), "子夹改变", ToBytes(Text("1"))), "子夹改变 acknowledged");
  Check(HasLine(logs[1], "子夹改变\t1"), "client 2 logged 子夹改变 1");
  Check(SendHostMessage(client(1), "开启回复", ToBytes(Text("3"))), "开启回复 to client 2");
  Check(WaitFor([] { return gNotices.size() >= 3; }, 10000) && gNotices.back() == "启动 1",
        "client 2 now reports with its new shop number 1");
  Check(SendHostMessage(client(0), "子夹改变", Bytes{}), "an empty payload is acknowledged");
  Check(HasLine(logs[0], "子夹改变\t"), "client 1 logged the empty payload");

  // Special and hostile senders.
  const Text peer = "\"" + dir + "\\hostpeer.exe\" " + hostText + " ";
  const int runsBefore = gMatchRuns;
  Check(RunPumping(peer + "empty", 20000) == 0, "peer: an empty payload is acknowledged");
  Check(LastPayload("停止").empty() && !gNotices.empty() && gNotices.back() == "停止 ",
        "peer: the handler ran with the empty payload");
  Check(RunPumping(peer + "zero", 20000) == 0, "peer: a payload with a zero byte is acknowledged");
  Check(LastPayload("启动") == (Bytes{'3', 0, 'x', 'y', 'z'}),
        "peer: the whole payload was stored");
  Check(gNotices.back() == "启动 3", "peer: the handler read it as text up to the zero byte");
  Check(RunPumping(peer + "good", 20000) == 0 && gMatchRuns == runsBefore + 1,
        "peer: a good request");
  const char* hostile[] = {"no-dollar",
                           "no-amp",
                           "letters",
                           "negative-length",
                           "absurd-length",
                           "over-cap",
                           "bad-payload-address",
                           "bad-lparam",
                           "zero-lparam",
                           "garbage-wparam",
                           "huge-descriptor-length",
                           "no-such-process"};
  for (const char* c : hostile) {
    const int before = gMatchRuns;
    const int code = RunPumping(peer + c, 20000);
    Check(code == 1 && gMatchRuns == before, std::string("hostile ") + c +
                                                 ": not acknowledged, no handler run (exit " +
                                                 std::to_string(code) + ")");
  }
  Check(ToText(LastPayload(kMatch)) == "恶意|1", "the last good payload is kept");
  Check(RunPumping(peer + "good", 20000) == 0, "the host still serves after the hostile senders");
  // A length that runs past the sender's committed memory: Windows refuses the
  // read; Wine may read the reserved pages as zeros. Either way the host stays
  // up and stores no more than the declared length.
  const int beyond = RunPumping(peer + "beyond-owned", 20000);
  Check((beyond == 1) || (beyond == 0 && LastPayload(kMatch).size() == 4096),
        "hostile beyond-owned: refused, or read no further than declared (exit " +
            std::to_string(beyond) + ")");
  Check(RunPumping(peer + "good", 20000) == 0, "the host still serves after that");

  // A window that is gone.
  const HWND gone = gShops[1].window;
  EndProcessOf(gone);
  Check(WaitFor([&] { return !IsWindow(gone); }, 5000), "client 2's window is gone");
  Check(!SendHostMessage(reinterpret_cast<NativeWindow>(gone), "开启回复", ToBytes(Text("1"))),
        "a send to a window that is gone reports false");

  // Clean up: the clients, their data directories, the work folder.
  EndProcessOf(gShops[0].window);
  for (HANDLE p : gProcesses) {
    TerminateProcess(p, 0);
    CloseHandle(p);
  }
  for (const Shop& s : gShops) {
    Check(DeleteDirectoryTree(s.directory), "removed data directory " + s.directory);
  }
  DeleteDirectoryTree(work);
  DestroyWindow(host);
  std::printf("%d failed\n", gFailures);
  return gFailures;
}

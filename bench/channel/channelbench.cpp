// Round trips of the host message channel between two processes under Wine:
// a client sends "匹配回复内容" to the host; the host's handler sends the reply
// back while the client's send is in progress; the time is taken from the
// start of the client's send until its send has returned with the reply read.
// For comparison, raw cross-process SendMessageA calls to the same host window
// are timed in the same run.
//
//   channelbench.exe [round trips, default 10000]
// starts a copy of itself as the client ("--client <host window> <n>").
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "channel/host_channel.h"
#include "channel/messages.h"
#include "services/unique_handle.h"
#include "services/text.h"
#include "services/values.h"

using namespace quillane;

namespace {

constexpr UINT kRawMessage = WM_APP + 5;
HWND gPeer = nullptr;   // host: the client's window
bool gReplied = false;  // client: the reply arrived

void HostOnAnnounce() {
  const auto f = SplitText(ToText(LastPayload(kAnnounceMessage)), "|");
  if (!f.empty()) gPeer = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ToWideInteger(f[0])));
}

void HostOnMatch() {
  const auto f = SplitText(ToText(LastPayload(kMatchRequestMessage)), "|");
  if (f.empty() || !gPeer) return;
  SendHostMessage(reinterpret_cast<NativeWindow>(gPeer), kMatchRequestMessage,
                  ToBytes("回复:" + f[0]));
}

void ClientOnReply() { gReplied = ToText(LastPayload(kMatchRequestMessage)).size() > 0; }

LRESULT CALLBACK Procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == kRawMessage) return 1;
  return DefWindowProcW(w, m, wp, lp);
}

HWND MakeWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuillaneChannelBench";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

double Now(const LARGE_INTEGER& frequency) {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Figures {
  double median = 0;
  double p99 = 0;
  double perSecond = 0;
};

Figures Summarize(std::vector<double> ms, double totalMs) {
  std::sort(ms.begin(), ms.end());
  Figures f;
  f.median = ms[ms.size() / 2];
  f.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
  f.perSecond = static_cast<double>(ms.size()) * 1000.0 / totalMs;
  return f;
}

int Client(HWND host, int n) {
  HWND own = MakeWindow();
  RegisterHostMessage(kMatchRequestMessage, ClientOnReply);
  SubclassHostWindow(reinterpret_cast<NativeWindow>(own));
  if (!SendHostMessage(
          reinterpret_cast<NativeWindow>(host), kAnnounceMessage,
          ToBytes(ToText(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(own))) +
                  "|0|C:\\bench"))) {
    std::printf("the host did not acknowledge the announcement\n");
    return 1;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const Bytes request = ToBytes(Text("你好，在吗？|1"));
  for (int i = 0; i < 200; ++i)
    SendHostMessage(reinterpret_cast<NativeWindow>(host), kMatchRequestMessage,
                    request);  // warm up

  std::vector<double> trips;
  trips.reserve(static_cast<std::size_t>(n));
  int failed = 0;
  const double start = Now(frequency);
  for (int i = 0; i < n; ++i) {
    gReplied = false;
    const double t0 = Now(frequency);
    const bool ok =
        SendHostMessage(reinterpret_cast<NativeWindow>(host), kMatchRequestMessage, request);
    trips.push_back(Now(frequency) - t0);
    if (!ok || !gReplied) ++failed;
  }
  const Figures channel = Summarize(trips, Now(frequency) - start);

  std::vector<double> raw;
  raw.reserve(static_cast<std::size_t>(n));
  const double rawStart = Now(frequency);
  for (int i = 0; i < n; ++i) {
    const double t0 = Now(frequency);
    SendMessageA(host, kRawMessage, 0, 0);
    raw.push_back(Now(frequency) - t0);
  }
  const Figures plain = Summarize(raw, Now(frequency) - rawStart);

  std::printf("round trips: %d (%d without a reply)\n", n, failed);
  std::printf("channel round trip  median %.3f ms  p99 %.3f ms  %.0f round trips/s\n",
              channel.median, channel.p99, channel.perSecond);
  std::printf("raw SendMessageA    median %.3f ms  p99 %.3f ms  %.0f messages/s\n", plain.median,
              plain.p99, plain.perSecond);
  std::printf(
      "ratio channel/raw   median %.2f  (a round trip is two cross-process sends and,\n"
      "                    each way, one read and one write of the sender's memory)\n",
      channel.median / plain.median);
  return failed == 0 ? 0 : 1;
}

int Host(int n) {
  HWND own = MakeWindow();
  SubclassHostWindow(reinterpret_cast<NativeWindow>(own));
  RegisterHostMessage(kAnnounceMessage, HostOnAnnounce);
  RegisterHostMessage(kMatchRequestMessage, HostOnMatch);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" --client " +
                      std::to_wstring(reinterpret_cast<std::uintptr_t>(own)) + L" " +
                      std::to_wstring(n);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::printf("could not start the client\n");
    return 1;
  }
  const UniqueHandle thread(pi.hThread), process(pi.hProcess);
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--client") {
    HWND host =
        reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[2], nullptr, 10)));
    return Client(host, std::max(100, std::atoi(argv[3])));
  }
  const int n = argc >= 2 ? std::max(100, std::atoi(argv[1])) : 10000;
  return Host(n);
}

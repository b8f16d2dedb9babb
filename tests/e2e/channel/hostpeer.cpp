// hostpeer.exe <host window> <case> [arguments]: a peer process that sends a
// message to a host window, well-formed or hostile, and exits with 0 when the
// host acknowledged it (status byte 2), 1 when it did not, 2 on a usage error.
// Beside the single malformed cases below:
//   announce FOLDER            announces a window of its own with the folder
//   announce-window HWND FOLDER  announces another program's window
//   send NAME PAYLOAD          sends any payload under any message name
//   forge PID PAYLOAD          a request that claims another process's id
//   flood N                    N messages, every malformed case in turn; exits
//                              with 0 when none of them was acknowledged
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "channel/exchange_area.h"
#include "channel/host_channel.h"
#include "channel/host_wire.h"
#include "services/encoding.h"
#include "services/unique_handle.h"
#include "services/values.h"

using namespace quillane;

namespace {

ExchangeArea gArea(1 << 20);

struct Raw {
  std::string descriptor;  // "" builds a good one
  bool ownLength = false;  // write `length` instead of the payload's real length
  std::int64_t length = 0;
  bool lParamZero = false;
  bool badLParam = false;
  std::uint64_t wParam = 0;  // 0: the right one
  std::uint64_t pid = 0;     // 0: own
  int wParamLengthDelta = 0;
};

int SendRaw(HWND host, const Text& name, const Bytes& payload, const Raw& how) {
  std::uint8_t* block = gArea.Allocate(64 + payload.size());
  if (!block) return 2;
  const auto base = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block));
  block[0] = 1;
  std::memcpy(block + 64, payload.data(), payload.size());
  std::string d = how.descriptor;
  if (d.empty()) {
    const std::int64_t len = how.ownLength ? how.length : static_cast<std::int64_t>(payload.size());
    d = std::to_string(base) + "$" + std::to_string(len) + "&" + std::to_string(base + 64);
  }
  std::memcpy(block + 1, d.data(), std::min<std::size_t>(d.size(), 62));
  std::uint64_t wParam = how.wParam;
  if (wParam == 0) {
    const std::uint64_t pid = how.pid ? how.pid : GetCurrentProcessId();
    wParam = *wire::EncodeWParam(pid, static_cast<std::uint32_t>(d.size() + how.wParamLengthDelta));
  }
  LPARAM lParam = static_cast<LPARAM>(base + 1);
  if (how.lParamZero) lParam = 0;
  if (how.badLParam) lParam = 0x7FFF0000;  // nothing mapped there
  SendMessageA(host, RegisterWindowMessageA(name.c_str()), static_cast<WPARAM>(wParam), lParam);
  const int result = block[0] == 2 ? 0 : 1;
  gArea.Free(block);
  return result;
}

// A payload whose length runs from committed memory into reserved but
// uncommitted memory: the host's read of it fails part way.
int SendBeyondOwned(HWND host, const Text& name) {
  std::uint8_t* region = nullptr;
  for (std::uintptr_t at = 0x30000000; at < 0x78000000 && !region; at += 0x01000000) {
    region = static_cast<std::uint8_t*>(
        VirtualAlloc(reinterpret_cast<void*>(at), 0x20000, MEM_RESERVE, PAGE_NOACCESS));
  }
  if (!region || !VirtualAlloc(region, 0x10000, MEM_COMMIT, PAGE_READWRITE)) return 2;
  const auto base = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(region));
  region[0] = 1;
  const std::string d = std::to_string(base) + "$4096&" + std::to_string(base + 0x10000 - 100);
  std::memcpy(region + 1, d.data(), d.size());
  const auto wParam =
      *wire::EncodeWParam(GetCurrentProcessId(), static_cast<std::uint32_t>(d.size()));
  SendMessageA(host, RegisterWindowMessageA(name.c_str()), wParam, static_cast<LPARAM>(base + 1));
  return region[0] == 2 ? 0 : 1;
}

// One malformed case by name; false for a name that is none.
bool MalformedCase(const std::string& c, Raw& raw) {
  if (c == "no-dollar")
    raw.descriptor = "1000 5&2000";
  else if (c == "no-amp")
    raw.descriptor = "1000$5 2000";
  else if (c == "letters")
    raw.descriptor = "abc$def&ghi";
  else if (c == "negative-length")
    raw.ownLength = true, raw.length = -5;
  else if (c == "absurd-length")
    raw.ownLength = true, raw.length = 2147483647;
  else if (c == "over-cap")
    raw.ownLength = true, raw.length = (1 << 20) + 1;
  else if (c == "bad-payload-address")
    raw.descriptor = "1000$5&2000";
  else if (c == "bad-lparam")
    raw.badLParam = true;
  else if (c == "zero-lparam")
    raw.lParamZero = true;
  else if (c == "garbage-wparam")
    raw.wParam = 7;
  else if (c == "huge-descriptor-length")
    raw.wParamLengthDelta = 900;
  else if (c == "no-such-process")
    raw.pid = 999998;
  else
    return false;
  return true;
}

// Argument i as GBK, read from the wide command line so that it does not
// depend on the system's code page.
Text Arg(int i) {
  int argc = 0;
  const UniqueArgv argv(CommandLineToArgvW(GetCommandLineW(), &argc));
  return argv && i < argc ? GbkFromWide(argv.get()[i]) : Text{};
}

HWND OwnWindow() {
  return CreateWindowExW(0, L"STATIC", L"hostpeer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

Text Number(std::uint64_t n) { return ToText(n); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HWND host =
      reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[1], nullptr, 10)));
  const std::string c = argv[2];
  const Text name = "匹配回复内容";
  const Bytes text = ToBytes(Text("恶意|1"));
  const auto target = reinterpret_cast<NativeWindow>(host);
  if (c == "announce" && argc == 4) {
    const Text window = Number(reinterpret_cast<std::uintptr_t>(OwnWindow()));
    return SendHostMessage(target, "子窗口句柄", ToBytes(window + "|0|" + Arg(3))) ? 0 : 1;
  }
  if (c == "announce-window" && argc == 5) {
    return SendHostMessage(target, "子窗口句柄", ToBytes(Arg(3) + "|0|" + Arg(4))) ? 0 : 1;
  }
  if (c == "send" && argc == 5) return SendHostMessage(target, Arg(3), ToBytes(Arg(4))) ? 0 : 1;
  if (c == "forge" && argc == 5) {
    Raw raw;
    raw.pid = std::strtoull(argv[3], nullptr, 10);
    return SendRaw(host, name, ToBytes(Arg(4)), raw);
  }
  if (c == "flood" && argc == 4) {
    static const char* const kCases[] = {
        "good",           "no-dollar",           "no-amp",
        "letters",        "negative-length",     "absurd-length",
        "over-cap",       "bad-payload-address", "bad-lparam",
        "zero-lparam",    "garbage-wparam",      "huge-descriptor-length",
        "no-such-process"};
    const long n = std::strtol(argv[3], nullptr, 10);
    long acknowledged = 0;
    for (long i = 0; i < n; ++i) {
      Raw raw;
      const std::string each = kCases[static_cast<std::size_t>(i) % std::size(kCases)];
      MalformedCase(each, raw);
      if (SendRaw(host, name, text, raw) == 0) ++acknowledged;
    }
    std::printf("%ld of %ld acknowledged\n", acknowledged, n);
    return acknowledged == 0 ? 0 : 1;
  }
  Raw raw;
  if (c == "empty")
    return SendHostMessage(reinterpret_cast<NativeWindow>(host), "停止", Bytes{}) ? 0 : 1;
  if (c == "zero") {
    return SendHostMessage(reinterpret_cast<NativeWindow>(host), "启动",
                           Bytes{'3', 0, 'x', 'y', 'z'})
               ? 0
               : 1;
  }
  if (c == "good") return SendRaw(host, name, text, raw);
  if (c == "beyond-owned") return SendBeyondOwned(host, name);
  if (!MalformedCase(c, raw)) return 2;
  return SendRaw(host, name, text, raw);
}

// hostpeer.exe <host window> <case>: a peer process that sends one message
// to a host window, well-formed or hostile, and exits with 0 when the host
// acknowledged it (status byte 2), 1 when it did not, 2 on a usage error.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/exchange_area.h"
#include "app/host_channel.h"
#include "app/host_wire.h"
#include "services/values.h"

using namespace quillane;

namespace {

ExchangeArea gArea(1 << 20);

struct Raw {
  std::string descriptor;  // "" builds a good one
  bool ownLength = false;    // write `length` instead of the payload's real length
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
  const auto wParam = *wire::EncodeWParam(GetCurrentProcessId(), static_cast<std::uint32_t>(d.size()));
  SendMessageA(host, RegisterWindowMessageA(name.c_str()), wParam, static_cast<LPARAM>(base + 1));
  return region[0] == 2 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HWND host = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[1], nullptr, 10)));
  const std::string c = argv[2];
  const Text name = "匹配回复内容";
  const Bytes text = ToBytes(Text("恶意|1"));
  Raw raw;
  if (c == "empty") return SendHostMessage(reinterpret_cast<WindowId>(host), "停止", Bytes{}) ? 0 : 1;
  if (c == "zero") {
    return SendHostMessage(reinterpret_cast<WindowId>(host), "启动", Bytes{'3', 0, 'x', 'y', 'z'}) ? 0 : 1;
  }
  if (c == "good") return SendRaw(host, name, text, raw);
  if (c == "beyond-owned") return SendBeyondOwned(host, name);
  if (c == "no-dollar") raw.descriptor = "1000 5&2000";
  else if (c == "no-amp") raw.descriptor = "1000$5 2000";
  else if (c == "letters") raw.descriptor = "abc$def&ghi";
  else if (c == "negative-length") raw.ownLength = true, raw.length = -5;
  else if (c == "absurd-length") raw.ownLength = true, raw.length = 2147483647;
  else if (c == "over-cap") raw.ownLength = true, raw.length = (1 << 20) + 1;
  else if (c == "bad-payload-address") raw.descriptor = "1000$5&2000";
  else if (c == "bad-lparam") raw.badLParam = true;
  else if (c == "zero-lparam") raw.lParamZero = true;
  else if (c == "garbage-wparam") raw.wParam = 7;
  else if (c == "huge-descriptor-length") raw.wParamLengthDelta = 900;
  else if (c == "no-such-process") raw.pid = 999998;
  else return 2;
  return SendRaw(host, name, text, raw);
}

// Fuzzes what the dispatcher reads from a sender: the wParam digits, the
// request descriptor, and the whole receive path over the in-process stand-in
// (descriptor and payload in the sender's memory, any lParam); and what the
// folder guard makes of an announced data folder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "channel/host_channel.h"
#include "channel/host_transport_local.h"
#include "channel/host_wire.h"
#include "services/paths.h"

using namespace quillane;

namespace {
int gRuns = 0;
void Handler() { ++gRuns; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 16) return 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
  std::memcpy(&wParam, data, 8);
  std::memcpy(&lParam, data + 8, 8);
  const std::string rest(reinterpret_cast<const char*>(data + 16), size - 16);

  // The codec alone.
  if (const auto f = wire::DecodeWParam(wParam)) {
    if (f->descriptorLength == 0 || f->descriptorLength > wire::kMaxDescriptor) __builtin_trap();
  }
  if (const auto d = wire::ParseDescriptor(rest)) {
    if (d->payloadLength > wire::kMaxPayload || d->statusAddress == 0) __builtin_trap();
    if (d->payloadAddress == 0 && d->payloadLength != 0) __builtin_trap();
  }
  wire::AddressFromLParam(lParam);

  // An announced folder: a full path is its own full path, names no "." or
  // "..", and lies at or above itself.
  if (const auto full = FullLocalPath(rest)) {
    if (FullLocalPath(*full) != full || HasDotNames(*full) || !IsSameOrAbove(*full, *full)) {
      __builtin_trap();
    }
  }

  // The receive path: the sender's memory holds the fuzzed bytes at 0x1000.
  static LocalHostTransport transport(4312);
  static NativeWindow host = 0;
  if (host == 0) {
    SetHostTransport(&transport);
    transport.AddProcess(77);
    host = transport.CreateWindow(4312, [](NativeWindow, std::uint32_t, std::uint64_t,
                                           std::int64_t) { return std::intptr_t{0}; });
    SubclassHostWindow(host);
    RegisterHostMessage("匹配回复内容", Handler);
  }
  std::vector<std::uint8_t> memory(rest.begin(), rest.end());
  memory.resize(memory.size() + 64, 1);
  transport.MapMemory(77, 0x1000, &memory);
  // Half of the runs with a wParam that names the sender, so the reads happen.
  if (data[0] & 1) {
    const auto w = wire::EncodeWParam(77, static_cast<std::uint32_t>(1 + (data[1] % 100)));
    if (w) wParam = *w;
    lParam = 0x1000 + (data[2] % 32);
  }
  transport.Send(host, transport.RegisterMessage("匹配回复内容"), wParam, lParam);
  transport.UnmapMemory(77, 0x1000);
  if (LastPayload("匹配回复内容").size() > wire::kMaxPayload) __builtin_trap();
  return 0;
}

#include "channel/host_channel.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "channel/host_transport.h"
#include "channel/host_wire.h"

namespace quillane {

namespace {

struct Entry {
  Text name;
  std::uint32_t id = 0;
  HostHandler handler = nullptr;
  Bytes lastPayload;
  std::uint64_t lastSender = 0;
};

// The message registry. Entries are only added (on the host window's thread,
// before clients exist); the lock guards the payload copies, since a worker
// thread may read while the dispatcher stores.
struct Registry {
  std::mutex mutex;
  std::vector<Entry> entries;
  std::atomic<HostSenderCheck> senderCheck{nullptr};
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Message ids by name for sending, so a send does not register the name again.
struct SendIds {
  std::mutex mutex;
  std::vector<std::pair<Text, std::uint32_t>> ids;
};

std::uint32_t MessageIdForSending(HostTransport& transport, const Text& name) {
  static SendIds cache;
  {
    std::lock_guard lock(cache.mutex);
    for (const auto& [n, id] : cache.ids) {
      if (n == name) return id;
    }
  }
  const std::uint32_t id = transport.RegisterMessage(name);
  if (id != 0) {
    std::lock_guard lock(cache.mutex);
    cache.ids.emplace_back(name, id);
  }
  return id;
}

// Reads a registered message's payload out of the sender and acknowledges it.
// False, with nothing acknowledged, when anything about it does not hold up.
bool FetchPayload(HostTransport& transport, const wire::WParamFields& fields, std::int64_t lParam,
                  Bytes& payload) {
  const auto descriptorAddress = wire::AddressFromLParam(lParam);
  if (!descriptorAddress) return false;
  const auto process = transport.OpenProcess(fields.processId);
  if (!process) return false;
  // Senders usually keep the status byte right before the descriptor and the
  // payload right behind it: one read from the status byte on, a little
  // longer than the descriptor, takes all three. When that read fails (the
  // descriptor at an edge of the sender's memory), the descriptor is read
  // alone and the others on their own.
  constexpr std::size_t kLookAhead = 2048;
  const std::uint64_t at = *descriptorAddress;
  char raw[1 + wire::kMaxDescriptor + kLookAhead];
  std::size_t rawSize = 0;
  std::uint64_t from = 0;
  const auto readFrom = [&](std::uint64_t address, std::size_t size) {
    rawSize = size;
    from = address;
    return process->Read(address, raw, size);
  };
  if (!(at >= 1 && readFrom(at - 1, 1 + fields.descriptorLength + kLookAhead)) &&
      !readFrom(at, fields.descriptorLength)) {
    return false;
  }
  const auto descriptor =
      wire::ParseDescriptor(std::string_view(raw + (at - from), fields.descriptorLength));
  if (!descriptor) return false;
  // Copies `size` bytes at `address` of the sender from what was read, or
  // reads them.
  const auto fetch = [&](std::uint64_t address, void* out, std::size_t size) {
    if (address >= from && address - from <= rawSize && size <= rawSize - (address - from)) {
      std::copy_n(raw + (address - from), size, static_cast<char*>(out));
      return true;
    }
    return size == 0 || process->Read(address, out, size);
  };
  // Only a request in progress is served: its sender holds the status at 1
  // until its send returns. A descriptor left over from an earlier request
  // (its status 2), named by another process that claims the sender's id, is
  // not served again.
  std::uint8_t status = 0;
  if (!fetch(descriptor->statusAddress, &status, 1) || status != wire::kStatusSent) return false;
  Bytes bytes(descriptor->payloadLength);
  if (!fetch(descriptor->payloadAddress, bytes.data(), bytes.size())) return false;
  // A failed acknowledgement leaves the sender's status at 1: its send reports
  // false, but the payload itself was read completely and is served.
  const std::uint8_t ack = wire::kStatusAcknowledged;
  process->Write(descriptor->statusAddress, &ack, 1);
  payload = std::move(bytes);
  return true;
}

// Receivers that let a send run out of time, until they answer again.
class HungWindows {
 public:
  bool Contains(NativeWindow window) {
    std::lock_guard lock(mutex_);
    return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
  }
  void Set(NativeWindow window, bool hung) {
    std::lock_guard lock(mutex_);
    const auto it = std::find(windows_.begin(), windows_.end(), window);
    if (hung && it == windows_.end()) windows_.push_back(window);
    if (!hung && it != windows_.end()) windows_.erase(it);
  }

 private:
  std::mutex mutex_;
  std::vector<NativeWindow> windows_;
};

HungWindows& Hung() {
  static HungWindows hung;
  return hung;
}

std::atomic<HostTransport*>& InstalledTransport() {
  static std::atomic<HostTransport*> installed{nullptr};
  return installed;
}

}  // namespace

HostTransport& CurrentHostTransport() {
  HostTransport* installed = InstalledTransport();
  return installed ? *installed : DefaultHostTransport();
}

void SetHostTransport(HostTransport* transport) { InstalledTransport() = transport; }

bool RegisterHostMessage(const Text& name, HostHandler handler) {
  if (name.empty()) return false;
  Registry& r = TheRegistry();
  {
    std::lock_guard lock(r.mutex);
    for (const Entry& e : r.entries) {
      if (e.name == name) return false;
    }
  }
  const std::uint32_t id = CurrentHostTransport().RegisterMessage(name);
  if (id == 0) return false;
  std::lock_guard lock(r.mutex);
  for (const Entry& e : r.entries) {
    if (e.name == name || e.id == id) return false;
    if (handler != nullptr && e.handler == handler) return false;
  }
  r.entries.push_back(Entry{name, id, handler, {}});
  return true;
}

void SubclassHostWindow(NativeWindow window) { CurrentHostTransport().Subclass(window); }

Bytes LastPayload(const Text& name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const Entry& e : r.entries) {
    if (e.name == name) return e.lastPayload;
  }
  return {};
}

std::uint64_t LastSender(const Text& name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const Entry& e : r.entries) {
    if (e.name == name) return e.lastSender;
  }
  return 0;
}

void SetHostSenderCheck(HostSenderCheck check) { TheRegistry().senderCheck = check; }

void ClearHostRegistry() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.entries.clear();
}

std::intptr_t DispatchHostMessage(NativeWindow window, std::uint32_t message, std::uint64_t wParam,
                                  std::int64_t lParam) {
  HostTransport& transport = CurrentHostTransport();
  Registry& r = TheRegistry();
  bool registered = false;
  HostHandler handler = nullptr;
  {
    std::lock_guard lock(r.mutex);
    for (const Entry& e : r.entries) {
      if (e.id == message) {
        registered = true;
        handler = e.handler;
        break;
      }
    }
  }
  const auto fields = registered ? wire::DecodeWParam(wParam) : std::nullopt;
  const HostSenderCheck check = r.senderCheck;
  if (fields && (!check || check(fields->processId))) {
    Bytes payload;
    if (FetchPayload(transport, *fields, lParam, payload)) {
      {
        std::lock_guard lock(r.mutex);
        for (Entry& e : r.entries) {
          if (e.id == message) {
            e.lastPayload = std::move(payload);
            e.lastSender = fields->processId;
            break;
          }
        }
      }
      // Run on this thread before returning: the sender is still waiting, so
      // the handler may answer it with a send of its own.
      if (handler) handler();
    }
  }
  return transport.CallPrevious(window, message, wParam, lParam);
}

bool SendHostMessage(NativeWindow target, const Text& name, const Bytes& payload) {
  HostTransport& transport = CurrentHostTransport();
  const std::uint32_t id = MessageIdForSending(transport, name);
  if (id == 0) return false;
  // The own process id (cheap to ask for, and the same for every thread).
  const std::uint64_t ownProcessId = transport.CurrentProcessId();
  // A target that is no window is not asked about beforehand (that would
  // cost a call into the system per send): the send itself fails for it,
  // without calling anybody's procedure.
  if (payload.size() > wire::kMaxPayload) return false;
  // A receiver taken for hung gets the message only once it answers again.
  constexpr std::uint32_t kNullMessage = 0;
  if (Hung().Contains(target) && !transport.SendWithin(target, kNullMessage, 0, 0, kHungProbeMs)) {
    return false;
  }

  // One block per send: status byte, room for the descriptor, the payload.
  // Every send has its own, so nested sends and sends from other threads never
  // share one.
  constexpr std::size_t kDescriptorRoom = 32;
  const ExchangeBlock block = transport.AllocateExchange(1 + kDescriptorRoom + payload.size());
  if (!block) return false;
  std::atomic_ref<std::uint8_t> status(block.data[0]);
  status.store(wire::kStatusSent);
  const std::uint32_t payloadAddress = block.address + 1 + kDescriptorRoom;
  const Text descriptor = wire::BuildDescriptor(
      block.address, static_cast<std::uint32_t>(payload.size()), payloadAddress);
  std::copy(descriptor.begin(), descriptor.end(), block.data + 1);
  std::copy(payload.begin(), payload.end(), block.data + 1 + kDescriptorRoom);

  const auto wParam =
      wire::EncodeWParam(ownProcessId, static_cast<std::uint32_t>(descriptor.size()));
  if (!wParam) {
    transport.FreeExchange(block);
    return false;
  }
  const bool delivered = transport.SendWithin(
      target, id, *wParam, static_cast<std::int64_t>(block.address) + 1, kHostSendLimitMs);
  const bool acknowledged = delivered && status.load() == wire::kStatusAcknowledged;
  if (delivered || !transport.IsWindow(target)) {
    Hung().Set(target, false);
    transport.FreeExchange(block);
  } else {
    // The receiver may still read the block or write its status byte when it
    // wakes up: the block is never handed out again.
    Hung().Set(target, true);
  }
  return acknowledged;
}

}  // namespace quillane

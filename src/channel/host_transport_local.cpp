#include "channel/host_transport_local.h"

#include <cstring>

namespace quillane {

HostTransport& DefaultHostTransport() {
  static LocalHostTransport fallback;
  return fallback;
}

class LocalHostTransport::Memory : public ProcessMemory {
 public:
  Memory(LocalHostTransport& owner, std::uint64_t processId)
      : owner_(owner), processId_(processId) {}
  bool Read(std::uint64_t address, void* buffer, std::size_t size) override {
    return owner_.Access(processId_, address, buffer, nullptr, size);
  }
  bool Write(std::uint64_t address, const void* data, std::size_t size) override {
    return owner_.Access(processId_, address, nullptr, data, size);
  }

 private:
  LocalHostTransport& owner_;
  std::uint64_t processId_;
};

LocalHostTransport::LocalHostTransport(std::uint64_t ownProcessId) : ownProcessId_(ownProcessId) {
  processes_.insert(ownProcessId);
}

LocalHostTransport::~LocalHostTransport() = default;

void LocalHostTransport::AddProcess(std::uint64_t processId) {
  std::lock_guard lock(mutex_);
  processes_.insert(processId);
}

void LocalHostTransport::RemoveProcess(std::uint64_t processId) {
  std::lock_guard lock(mutex_);
  processes_.erase(processId);
  memory_.erase(processId);
}

void LocalHostTransport::MapMemory(std::uint64_t processId, std::uint64_t address,
                                   std::vector<std::uint8_t>* bytes, bool writable) {
  std::lock_guard lock(mutex_);
  memory_[processId][address] = Region{bytes->data(), bytes->size(), writable};
}

void LocalHostTransport::UnmapMemory(std::uint64_t processId, std::uint64_t address) {
  std::lock_guard lock(mutex_);
  memory_[processId].erase(address);
}

NativeWindow LocalHostTransport::CreateWindow(std::uint64_t processId, Procedure procedure) {
  std::lock_guard lock(mutex_);
  const NativeWindow id = nextWindow_;
  nextWindow_ += 4;
  windows_[id] = Window{processId, std::move(procedure), nullptr};
  return id;
}

void LocalHostTransport::DestroyWindow(NativeWindow window) {
  std::lock_guard lock(mutex_);
  windows_.erase(window);
}

std::size_t LocalHostTransport::liveExchangeBlocks() {
  std::lock_guard lock(mutex_);
  return exchange_.size();
}

std::uint32_t LocalHostTransport::RegisterMessage(const Text& name) {
  if (name.empty()) return 0;
  std::lock_guard lock(mutex_);
  const auto it = ids_.find(name);
  if (it != ids_.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(0xC000 + ids_.size());
  ids_[name] = id;
  return id;
}

bool LocalHostTransport::IsWindow(NativeWindow window) {
  std::lock_guard lock(mutex_);
  return windows_.count(window) != 0;
}

std::intptr_t LocalHostTransport::Call(NativeWindow window, Procedure Window::*which,
                                       std::uint32_t message, std::uint64_t wParam,
                                       std::int64_t lParam) {
  Procedure procedure;
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(window);
    if (it == windows_.end()) return 0;
    procedure = it->second.*which;
  }
  return procedure ? procedure(window, message, wParam, lParam) : 0;
}

std::intptr_t LocalHostTransport::Send(NativeWindow target, std::uint32_t message,
                                       std::uint64_t wParam, std::int64_t lParam) {
  return Call(target, &Window::procedure, message, wParam, lParam);
}

bool LocalHostTransport::SendWithin(NativeWindow target, std::uint32_t message,
                                    std::uint64_t wParam, std::int64_t lParam,
                                    std::uint32_t milliseconds) {
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(target);
    if (it == windows_.end()) return false;
    if (it->second.hung) {
      timeouts_.push_back(milliseconds);
      return false;
    }
  }
  Send(target, message, wParam, lParam);
  return true;
}

std::vector<std::uint32_t> LocalHostTransport::timedOutLimits() {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

void LocalHostTransport::SetHung(NativeWindow window, bool hung) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it != windows_.end()) it->second.hung = hung;
}

std::shared_ptr<ProcessMemory> LocalHostTransport::OpenProcess(std::uint64_t processId) {
  std::lock_guard lock(mutex_);
  ++opens_;
  if (processes_.count(processId) == 0) return nullptr;
  return std::make_shared<Memory>(*this, processId);
}

bool LocalHostTransport::Access(std::uint64_t processId, std::uint64_t address, void* buffer,
                                const void* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  if (buffer) ++reads_;
  const auto process = memory_.find(processId);
  if (process == memory_.end()) return false;
  auto it = process->second.upper_bound(address);
  if (it == process->second.begin()) return false;
  --it;
  const Region& r = it->second;
  const std::uint64_t offset = address - it->first;
  if (offset > r.size || size > r.size - offset) return false;
  if (buffer) {
    std::memcpy(buffer, r.data + offset, size);
  } else {
    if (!r.writable) return false;
    std::memcpy(r.data + offset, data, size);
  }
  return true;
}

ExchangeBlock LocalHostTransport::AllocateExchange(std::size_t size) {
  std::lock_guard lock(mutex_);
  if (size == 0 || nextExchange_ + size >= 0x80000000ull) return {};
  auto storage = std::make_unique<std::uint8_t[]>(size);
  ExchangeBlock block{storage.get(), static_cast<std::uint32_t>(nextExchange_), size};
  memory_[ownProcessId_][nextExchange_] = Region{storage.get(), size, true};
  exchange_[nextExchange_] = std::move(storage);
  // Leave a gap so a read past the end of one block never lands in the next.
  nextExchange_ += (size + 0x1000 + 0xFFF) & ~std::uint64_t{0xFFF};
  return block;
}

void LocalHostTransport::FreeExchange(const ExchangeBlock& block) {
  std::lock_guard lock(mutex_);
  memory_[ownProcessId_].erase(block.address);
  exchange_.erase(block.address);
}

bool LocalHostTransport::Subclass(NativeWindow window) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it == windows_.end()) return false;
  it->second.previous = std::move(it->second.procedure);
  it->second.procedure = [](NativeWindow w, std::uint32_t m, std::uint64_t wp, std::int64_t lp) {
    return DispatchHostMessage(w, m, wp, lp);
  };
  return true;
}

std::intptr_t LocalHostTransport::CallPrevious(NativeWindow window, std::uint32_t message,
                                               std::uint64_t wParam, std::int64_t lParam) {
  return Call(window, &Window::previous, message, wParam, lParam);
}

}  // namespace quillane

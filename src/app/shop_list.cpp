#include "app/shop_list.h"

#include "app/client_windows.h"

namespace quillane {

int ShopList::Add(std::uint32_t processId) {
  std::lock_guard guard(mutex_);
  shops_.push_back(Shop{processId, 0, 0, {}});
  return static_cast<int>(shops_.size());
}

int ShopList::Announce(std::uint32_t sender, std::uintptr_t window, const Text& dataDirectory,
                       const ClientCheck& isClientOf) {
  if (sender == 0) return 0;
  std::vector<std::uint32_t> waiting;
  {
    std::lock_guard guard(mutex_);
    for (size_t i = 0; i < shops_.size(); ++i) {
      if (shops_[i].clientId != sender) continue;
      shops_[i].window = window;
      shops_[i].dataDirectory = dataDirectory;
      return static_cast<int>(i + 1);
    }
    for (const Shop& shop : shops_) {
      if (shop.clientId == 0 && shop.processId != 0) waiting.push_back(shop.processId);
    }
  }
  // Asking the system about a launcher's children takes a while: not under the lock.
  std::uint32_t started = 0;
  for (std::uint32_t candidate : waiting) {
    if (isClientOf ? isClientOf(candidate) : candidate == sender) {
      started = candidate;
      break;
    }
  }
  if (started == 0) return 0;
  std::lock_guard guard(mutex_);
  for (size_t i = 0; i < shops_.size(); ++i) {
    if (shops_[i].processId != started || shops_[i].clientId != 0) continue;
    shops_[i].clientId = sender;
    shops_[i].window = window;
    shops_[i].dataDirectory = dataDirectory;
    return static_cast<int>(i + 1);
  }
  return 0;
}

int ShopList::NumberOfClient(std::uint32_t sender) const {
  std::lock_guard guard(mutex_);
  for (size_t i = 0; i < shops_.size(); ++i) {
    if (sender != 0 && shops_[i].clientId == sender) return static_cast<int>(i + 1);
  }
  return 0;
}

std::uintptr_t ShopList::WindowOfClient(std::uint32_t sender) const {
  std::lock_guard guard(mutex_);
  for (const Shop& shop : shops_) {
    if (sender != 0 && shop.clientId == sender) return shop.window;
  }
  return 0;
}

void ShopList::SetProcessId(int number, std::uint32_t processId) {
  std::lock_guard guard(mutex_);
  if (number >= 1 && number <= static_cast<int>(shops_.size())) {
    shops_[static_cast<size_t>(number - 1)].processId = processId;
  }
}

bool ShopList::Remove(int number) {
  std::lock_guard guard(mutex_);
  if (number < 1 || number > static_cast<int>(shops_.size())) return false;
  shops_.erase(shops_.begin() + (number - 1));
  return true;
}

int ShopList::Count() const {
  std::lock_guard guard(mutex_);
  return static_cast<int>(shops_.size());
}

Shop ShopList::At(int number) const {
  std::lock_guard guard(mutex_);
  if (number < 1 || number > static_cast<int>(shops_.size())) return {};
  return shops_[static_cast<size_t>(number - 1)];
}

std::vector<Shop> ShopList::All() const {
  std::lock_guard guard(mutex_);
  return shops_;
}

ShopList& Shops() {
  static ShopList shops;
  return shops;
}

bool IsShopProcess(std::uint64_t processId) {
  if (processId == 0 || processId > UINT32_MAX) return false;
  const auto sender = static_cast<std::uint32_t>(processId);
  if (Shops().NumberOfClient(sender) != 0) return true;
  for (const Shop& shop : Shops().All()) {
    if (shop.clientId == 0 && shop.processId != 0 &&
        Clients().IsClientProcess(sender, shop.processId)) {
      return true;
    }
  }
  return false;
}

}  // namespace quillane

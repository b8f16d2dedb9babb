#include "app/shop_list.h"

namespace quillane {

int ShopList::Add(std::uint32_t processId) {
  std::lock_guard guard(mutex_);
  shops_.push_back(Shop{processId, 0, {}});
  return static_cast<int>(shops_.size());
}

int ShopList::Announce(std::uint32_t processId, std::uintptr_t window, const Text& dataDirectory) {
  std::lock_guard guard(mutex_);
  auto bind = [&](size_t i) {
    shops_[i].window = window;
    shops_[i].dataDirectory = dataDirectory;
    return static_cast<int>(i + 1);
  };
  if (processId != 0) {
    for (size_t i = 0; i < shops_.size(); ++i) {
      if (shops_[i].processId == processId && shops_[i].window == 0) return bind(i);
    }
  }
  for (size_t i = 0; i < shops_.size(); ++i) {
    if (shops_[i].window == 0) return bind(i);
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

}  // namespace quillane

#include "channel/exchange_area.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace quillane {

std::ptrdiff_t ExchangeArea::Ranges::Take(std::size_t size) {
  if (size == 0 || size > capacity_) return -1;
  const std::size_t need = (size + 15) & ~std::size_t{15};
  std::size_t at = 0;
  auto it = used_.begin();
  for (; it != used_.end(); ++it) {
    if (it->offset - at >= need) break;
    at = it->offset + it->size;
  }
  if (it == used_.end() && (at > capacity_ || capacity_ - at < need)) return -1;
  used_.insert(it, Used{at, need});
  return static_cast<std::ptrdiff_t>(at);
}

bool ExchangeArea::Ranges::Give(std::size_t offset) {
  const auto it =
      std::find_if(used_.begin(), used_.end(), [&](const Used& u) { return u.offset == offset; });
  if (it == used_.end()) return false;
  used_.erase(it);
  return true;
}

ExchangeArea::ExchangeArea(std::size_t size) : size_(size), ranges_(size) {}

#ifdef _WIN32

namespace {
// Finds a free stretch of address space below 2 GiB and reserves and commits
// it there. The address space is walked with VirtualQuery; a stretch taken by
// another thread in the meantime is skipped.
std::uint8_t* ReserveLow(std::size_t size) {
  constexpr std::uintptr_t kLimit = 0x80000000u;
  constexpr std::uintptr_t kGranularity = 0x10000;
  std::uintptr_t at = 0x10000000;  // above the usual program image and heaps
  for (int pass = 0; pass < 2; ++pass) {
    while (at + size < kLimit) {
      MEMORY_BASIC_INFORMATION info{};
      if (VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info) == 0) break;
      const auto regionBase = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
      const std::uintptr_t regionEnd = regionBase + info.RegionSize;
      if (info.State == MEM_FREE) {
        const std::uintptr_t start =
            (std::max(at, regionBase) + kGranularity - 1) & ~(kGranularity - 1);
        if (start + size <= regionEnd && start + size < kLimit) {
          void* p = VirtualAlloc(reinterpret_cast<void*>(start), size, MEM_RESERVE | MEM_COMMIT,
                                 PAGE_READWRITE);
          if (p) return static_cast<std::uint8_t*>(p);
        }
      }
      at = std::max(regionEnd, at + kGranularity);
    }
    at = kGranularity;  // second pass: the low part of the address space
  }
  return nullptr;
}
}  // namespace

ExchangeArea::~ExchangeArea() {
  if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}

std::uint8_t* ExchangeArea::Allocate(std::size_t size) {
  std::lock_guard lock(mutex_);
  if (!tried_) {
    tried_ = true;
    base_ = ReserveLow(size_);
  }
  if (!base_) return nullptr;
  const std::ptrdiff_t offset = ranges_.Take(size);
  return offset < 0 ? nullptr : base_ + offset;
}

#else

// Natively there is no need for low addresses; ordinary memory serves.
ExchangeArea::~ExchangeArea() { std::free(base_); }

std::uint8_t* ExchangeArea::Allocate(std::size_t size) {
  std::lock_guard lock(mutex_);
  if (!tried_) {
    tried_ = true;
    base_ = static_cast<std::uint8_t*>(std::calloc(size_, 1));
  }
  if (!base_) return nullptr;
  const std::ptrdiff_t offset = ranges_.Take(size);
  return offset < 0 ? nullptr : base_ + offset;
}

#endif

void ExchangeArea::Free(std::uint8_t* block) {
  std::lock_guard lock(mutex_);
  if (!base_ || block < base_ || block >= base_ + size_) return;
  ranges_.Give(static_cast<std::size_t>(block - base_));
}

}  // namespace quillane

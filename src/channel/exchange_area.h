// A small area of this process's memory below 2 GiB from which the blocks a
// send hands out are taken, so their addresses fit the 32-bit wire even in the
// 64-bit program. Thread-safe: nested sends on the main thread and sends from
// worker threads each get their own block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace quillane {

class ExchangeArea {
 public:
  // Reserves the area lazily, at the first allocation.
  explicit ExchangeArea(std::size_t size);
  ~ExchangeArea();
  ExchangeArea(const ExchangeArea&) = delete;
  ExchangeArea& operator=(const ExchangeArea&) = delete;

  // Null when the area could not be reserved or has no room left.
  std::uint8_t* Allocate(std::size_t size);
  void Free(std::uint8_t* block);

  // The bookkeeping, portable so that it can be tested natively: first fit over
  // a sorted list of used ranges, aligned to 16 bytes.
  class Ranges {
   public:
    explicit Ranges(std::size_t capacity) : capacity_(capacity) {}
    // The offset of a new range, or -1 when there is no room.
    std::ptrdiff_t Take(std::size_t size);
    bool Give(std::size_t offset);
    std::size_t used() const { return used_.size(); }

   private:
    struct Used {
      std::size_t offset;
      std::size_t size;
    };
    std::size_t capacity_;
    std::vector<Used> used_;
  };

 private:
  std::mutex mutex_;
  std::size_t size_;
  std::uint8_t* base_ = nullptr;
  bool tried_ = false;
  Ranges ranges_;
};

}  // namespace quillane

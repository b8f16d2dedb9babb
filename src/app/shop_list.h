// The shops the main window serves, one per tab after the start page: shop k
// is tab k. A shop gets its entry when its tab is added, with the id of the
// client process started for it, and its client window and data directory
// when the client announces itself. Announcements are paired with their shop
// by process id, so clients that announce late, out of order or never leave
// every other shop bound to its own tab.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "services/types.h"

namespace quillane {

struct Shop {
  std::uint32_t processId = 0;   // the client process started for the tab; 0 unknown
  std::uintptr_t window = 0;     // the announced client window; 0 until announced
  Text dataDirectory;
};

// Guarded by its own lock: the start-all thread reads it while the main
// thread may add or delete shops.
class ShopList {
 public:
  // A new shop at the end (its tab was appended); its number is returned.
  int Add(std::uint32_t processId);
  // The shop whose client announced the window: the one started as that
  // process, else the first shop still waiting for its client. 0 when no shop
  // is waiting (the announcement is dropped).
  int Announce(std::uint32_t processId, std::uintptr_t window, const Text& dataDirectory);
  // Records the process started for shop `number`.
  void SetProcessId(int number, std::uint32_t processId);
  // Removes shop `number`; the shops after it move up by one.
  bool Remove(int number);

  int Count() const;
  // Shop `number` (1-based); an empty shop for a number that is not a shop.
  Shop At(int number) const;
  std::vector<Shop> All() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Shop> shops_;
};

// The process-wide record.
ShopList& Shops();

}  // namespace quillane

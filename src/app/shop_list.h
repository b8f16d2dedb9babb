// The shops the main window serves, one per tab after the start page: shop k
// is tab k. A shop gets its entry when its tab is added, with the id of the
// client process started for it, and its client window and data directory
// when that client announces itself. Only the started process (or one it
// started) can bind a shop, so clients that announce late, out of order or
// never, and processes that were never started, leave every shop bound to
// its own client.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "services/types.h"

namespace quillane {

struct Shop {
  std::uint32_t processId = 0;  // the client process started for the tab; 0 unknown
  std::uint32_t clientId = 0;   // the process that announced itself for it; 0 until then
  std::uintptr_t window = 0;    // the announced client window; 0 until announced
  Text dataDirectory;
};

// Guarded by its own lock: the start-all thread reads it while the main
// thread may add or delete shops.
class ShopList {
 public:
  // Tells whether a sender is the client process started as `started` (or
  // one it started).
  using ClientCheck = std::function<bool(std::uint32_t started)>;

  // A new shop at the end (its tab was appended); its number is returned.
  int Add(std::uint32_t processId);
  // Binds the announcing process `sender` to its shop: the shop it already
  // announced itself for (its entry is updated), else the first shop still
  // waiting whose started process `isClientOf` accepts (by default only the
  // started process itself). The shop's number, or 0 when the sender is no
  // shop's client (the announcement is dropped).
  int Announce(std::uint32_t sender, std::uintptr_t window, const Text& dataDirectory,
               const ClientCheck& isClientOf = nullptr);
  // The number of the shop whose client is `sender`; 0 when it is none.
  int NumberOfClient(std::uint32_t sender) const;
  // The announced window of the shop whose client is `sender`; 0 when it is
  // none or has not announced a window.
  std::uintptr_t WindowOfClient(std::uint32_t sender) const;
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

// The sender check of the host channel: messages are read only from the
// shops' clients, and from processes started for a shop (or by such a
// process) that have yet to announce themselves.
bool IsShopProcess(std::uint64_t processId);

}  // namespace quillane

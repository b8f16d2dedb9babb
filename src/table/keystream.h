// The keystreams that scramble protected table files. The stream of page g
// depends only on the password and g, so every file of one password (the
// rule table and its sorted copy alike) is scrambled with the same streams:
// they are generated once, several pages at a time and on several threads,
// and the first pages are kept for later reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "table/crypto.h"

namespace quillane::table {

// Stream bytes per page: the scrambling key changes every 4096 bytes.
inline constexpr std::int64_t kStreamPageSize = 4096;
// Pages whose streams are kept, the first of the file (256 MB: tables of
// about 200,000 rule records); streams of later pages are generated anew.
inline constexpr std::int64_t kKeptStreamPages = 65536;

class PageStreams {
 public:
  explicit PageStreams(std::string_view password);
  PageStreams(const PageStreams&) = delete;
  PageStreams& operator=(const PageStreams&) = delete;

  const std::string& Verifier() const { return verifier_; }
  // The 4096 stream bytes of page `page`. A page beyond the kept ones is
  // generated into a small ring of slots, valid until 64 more such pages
  // have been asked for.
  const std::uint8_t* Page(std::int64_t page);
  // Generates the streams of the kept pages first to last that are missing.
  void Prepare(std::int64_t first, std::int64_t last);
  // Forgets the kept streams (their memory is freed).
  void Clear();
  // Bytes of stream kept at present.
  std::int64_t KeptBytes() const;

 private:
  void PageKey(std::int64_t page, std::uint8_t* key);

  std::string password_;
  std::string verifier_;
  std::vector<std::uint8_t> master_;  // master keystream bytes generated so far
  Rc4 masterState_;
  std::vector<std::unique_ptr<std::uint8_t[]>> kept_;  // by page number; null until generated
  std::int64_t keptCount_ = 0;
  static constexpr int kRingSlots = 64;
  struct Slot {
    std::int64_t page = -1;
    std::vector<std::uint8_t> stream;
  };
  Slot ring_[kRingSlots];
};

// Scrambling of a protected file: the page streams XORed onto every byte
// from offset 4 on. Ciphers of one password may share their streams.
class PageCipher {
 public:
  explicit PageCipher(std::string_view password);
  explicit PageCipher(std::shared_ptr<PageStreams> streams);
  const std::string& Verifier() const { return streams_->Verifier(); }
  // Scrambles or unscrambles (the same operation) bytes that lie at file offset `offset`.
  void Apply(std::int64_t offset, std::uint8_t* data, std::size_t length);

 private:
  std::shared_ptr<PageStreams> streams_;
};

}  // namespace quillane::table

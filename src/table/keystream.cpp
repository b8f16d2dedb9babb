#include "table/keystream.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "table/format.h"

namespace quillane::table {

namespace {

constexpr std::size_t kPageKeySize = 40;
// Keystream bytes dropped before a page's stream begins.
constexpr std::size_t kDropped = 36;
// Streams generated side by side in one loop. The steps of one RC4 stream
// depend on each other; those of independent streams overlap in the
// processor, which makes four together about twice as fast as one by one.
constexpr int kLanes = 4;
// Fewer missing pages than this are generated on the calling thread alone.
constexpr std::size_t kPagesPerThread = 64;
constexpr unsigned kMaxThreads = 4;

// The page streams of `lanes` page keys: RC4 keyed with each key, the first
// kDropped bytes dropped, the next kStreamPageSize bytes written out.
template <int lanes>
void GenerateLanes(const std::uint8_t* keys, std::uint8_t* const* out) {
  std::uint8_t s[lanes][256];
  unsigned j[lanes];
  for (int k = 0; k < lanes; ++k) {
    for (int x = 0; x < 256; ++x) s[k][x] = static_cast<std::uint8_t>(x);
    j[k] = 0;
  }
  for (unsigned i = 0, keyIndex = 0; i < 256; ++i) {
    for (int k = 0; k < lanes; ++k) {
      const unsigned si = s[k][i];
      j[k] = (j[k] + si + keys[k * kPageKeySize + keyIndex]) & 255;
      s[k][i] = s[k][j[k]];
      s[k][j[k]] = static_cast<std::uint8_t>(si);
    }
    if (++keyIndex == kPageKeySize) keyIndex = 0;
  }
  for (int k = 0; k < lanes; ++k) j[k] = 0;
  unsigned i = 0;
  auto step = [&](int k) {
    const unsigned si = s[k][i];
    const unsigned jk = (j[k] + si) & 255;
    j[k] = jk;
    const unsigned sj = s[k][jk];
    s[k][i] = static_cast<std::uint8_t>(sj);
    s[k][jk] = static_cast<std::uint8_t>(si);
    return s[k][(si + sj) & 255];
  };
  for (std::size_t p = 0; p < kDropped; ++p) {
    i = (i + 1) & 255;
    for (int k = 0; k < lanes; ++k) step(k);
  }
  for (std::size_t p = 0; p < static_cast<std::size_t>(kStreamPageSize); ++p) {
    i = (i + 1) & 255;
    for (int k = 0; k < lanes; ++k) out[k][p] = step(k);
  }
}

// The streams of `count` pages, keys[] holding their keys one after another.
void GenerateStreams(const std::uint8_t* keys, std::uint8_t* const* out, std::size_t count) {
  std::size_t k = 0;
  for (; k + kLanes <= count; k += kLanes) GenerateLanes<kLanes>(keys + k * kPageKeySize, out + k);
  for (; k < count; ++k) GenerateLanes<1>(keys + k * kPageKeySize, out + k);
}

}  // namespace

PageStreams::PageStreams(std::string_view password)
    : password_(password),
      verifier_(PasswordVerifier(password)),
      masterState_(reinterpret_cast<const std::uint8_t*>(password_.data()), password_.size()) {}

void PageStreams::PageKey(std::int64_t page, std::uint8_t* key) {
  const auto need = static_cast<std::size_t>(4 * page + 4);
  if (master_.size() < need) {
    const std::size_t have = master_.size();
    master_.resize(std::max(need, 2 * have));
    masterState_.Generate(master_.data() + have, master_.size() - have);
  }
  const auto word = static_cast<std::uint32_t>(GetInt32(master_.data() + 4 * page));
  PutInt32(key, static_cast<std::int32_t>(word));
  std::memset(key + 4, 0, 32);
  std::memcpy(key + 4, verifier_.data(), std::min<std::size_t>(verifier_.size(), 32));
  PutInt32(key + 36, static_cast<std::int32_t>(word ^ static_cast<std::uint32_t>(page)));
}

void PageStreams::Prepare(std::int64_t first, std::int64_t last) {
  first = std::max<std::int64_t>(first, 0);
  last = std::min(last, kKeptStreamPages - 1);
  if (last < first) return;
  if (static_cast<std::int64_t>(kept_.size()) <= last)
    kept_.resize(static_cast<std::size_t>(last + 1));
  // The missing pages are generated apart and kept only once all are done,
  // so a failure (memory, threads) never leaves a page kept but not generated.
  std::vector<std::int64_t> pages;
  std::vector<std::unique_ptr<std::uint8_t[]>> fresh;
  std::vector<std::uint8_t> keys;
  std::vector<std::uint8_t*> out;
  for (std::int64_t page = first; page <= last; ++page) {
    if (kept_[static_cast<std::size_t>(page)]) continue;
    pages.push_back(page);
    fresh.push_back(std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(kStreamPageSize)));
    out.push_back(fresh.back().get());
    keys.resize(keys.size() + kPageKeySize);
    PageKey(page, keys.data() + keys.size() - kPageKeySize);
  }
  const std::size_t count = pages.size();
  if (count == 0) return;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = static_cast<unsigned>(
      std::min<std::size_t>({cores, kMaxThreads, (count + kPagesPerThread - 1) / kPagesPerThread}));
  // Each thread takes its own run of pages, a multiple of kLanes long; a
  // run no thread could be started for is generated here.
  std::size_t share = (count + threads - 1) / threads;
  share = (share + kLanes - 1) / kLanes * kLanes;
  // (Reserved first: nothing may throw while threads run.)
  std::vector<std::thread> workers;
  workers.reserve(threads);
  std::vector<std::size_t> here;
  here.reserve(threads);
  here.push_back(0);
  for (unsigned t = 1; t < threads && t * share < count; ++t) {
    const std::size_t from = t * share;
    try {
      workers.emplace_back(GenerateStreams, keys.data() + from * kPageKeySize, out.data() + from,
                           std::min(share, count - from));
    } catch (const std::system_error&) {
      here.push_back(from);
    }
  }
  for (std::size_t from : here)
    GenerateStreams(keys.data() + from * kPageKeySize, out.data() + from,
                    std::min(share, count - from));
  for (auto& w : workers) w.join();
  for (std::size_t k = 0; k < count; ++k)
    kept_[static_cast<std::size_t>(pages[k])] = std::move(fresh[k]);
  keptCount_ += static_cast<std::int64_t>(count);
}

const std::uint8_t* PageStreams::Page(std::int64_t page) {
  if (page < kKeptStreamPages) {
    if (page >= static_cast<std::int64_t>(kept_.size()) || !kept_[static_cast<std::size_t>(page)])
      Prepare(page, page);
    return kept_[static_cast<std::size_t>(page)].get();
  }
  Slot& slot = ring_[page % kRingSlots];
  if (slot.page == page) return slot.stream.data();
  std::uint8_t key[kPageKeySize];
  PageKey(page, key);
  slot.stream.resize(static_cast<std::size_t>(kStreamPageSize));
  std::uint8_t* out = slot.stream.data();
  GenerateStreams(key, &out, 1);
  slot.page = page;
  return out;
}

void PageStreams::Clear() {
  kept_.clear();
  kept_.shrink_to_fit();
  keptCount_ = 0;
}

std::int64_t PageStreams::KeptBytes() const { return keptCount_ * kStreamPageSize; }

PageCipher::PageCipher(std::string_view password)
    : streams_(std::make_shared<PageStreams>(password)) {}

PageCipher::PageCipher(std::shared_ptr<PageStreams> streams) : streams_(std::move(streams)) {}

void PageCipher::Apply(std::int64_t offset, std::uint8_t* data, std::size_t length) {
  if (length == 0) return;
  const std::int64_t end = offset + static_cast<std::int64_t>(length);
  streams_->Prepare(offset / kStreamPageSize, (end - 1) / kStreamPageSize);
  std::size_t done = 0;
  while (done < length) {
    const std::int64_t at = offset + static_cast<std::int64_t>(done);
    const std::int64_t page = at / kStreamPageSize;
    const std::int64_t inPage = at % kStreamPageSize;
    const std::size_t n =
        std::min<std::size_t>(length - done, static_cast<std::size_t>(kStreamPageSize - inPage));
    const std::uint8_t* stream = streams_->Page(page) + inPage;
    std::uint8_t* out = data + done;
    // The magic (file bytes 0 to 3) stays readable.
    std::size_t k = at < 4 ? std::min<std::size_t>(n, static_cast<std::size_t>(4 - at)) : 0;
    // Eight bytes at a time where they are whole.
    for (; k + 8 <= n; k += 8) {
      std::uint64_t a, b;
      std::memcpy(&a, out + k, 8);
      std::memcpy(&b, stream + k, 8);
      a ^= b;
      std::memcpy(out + k, &a, 8);
    }
    for (; k < n; ++k) out[k] ^= stream[k];
    done += n;
  }
}

}  // namespace quillane::table

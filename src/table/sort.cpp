#include "table/sort.h"

namespace quillane::table {

namespace {

// A scan first steps this many entries itself before it asks the tree.
constexpr std::int64_t kLinearSteps = 16;

// The ranks of the entries by position, with the minimum and maximum of
// every aligned run of positions.
class RankTree {
 public:
  explicit RankTree(const std::vector<std::uint32_t>& values) {
    while (leaves_ < static_cast<std::int64_t>(values.size())) leaves_ *= 2;
    min_.assign(static_cast<std::size_t>(2 * leaves_), UINT32_MAX);
    max_.assign(static_cast<std::size_t>(2 * leaves_), 0);
    for (std::size_t k = 0; k < values.size(); ++k)
      min_[leaves_ + k] = max_[leaves_ + k] = values[k];
    for (std::int64_t n = leaves_ - 1; n >= 1; --n) Pull(n);
  }
  void Set(std::int64_t position, std::uint32_t value) {
    std::int64_t n = leaves_ + position;
    min_[n] = max_[n] = value;
    for (n /= 2; n >= 1; n /= 2) Pull(n);
  }
  // The first position in [a, b] holding more than v, or -1.
  std::int64_t FirstAbove(std::int64_t a, std::int64_t b, std::uint32_t v) const {
    return First(1, 0, leaves_ - 1, a, b, v);
  }
  // The last position in [a, b] holding less than v, or -1.
  std::int64_t LastBelow(std::int64_t a, std::int64_t b, std::uint32_t v) const {
    return Last(1, 0, leaves_ - 1, a, b, v);
  }

 private:
  void Pull(std::int64_t n) {
    min_[n] = std::min(min_[2 * n], min_[2 * n + 1]);
    max_[n] = std::max(max_[2 * n], max_[2 * n + 1]);
  }
  std::int64_t First(std::int64_t n, std::int64_t lo, std::int64_t hi, std::int64_t a,
                     std::int64_t b, std::uint32_t v) const {
    if (hi < a || lo > b || max_[n] <= v) return -1;
    if (lo == hi) return lo;
    const std::int64_t mid = (lo + hi) / 2;
    const std::int64_t left = First(2 * n, lo, mid, a, b, v);
    return left >= 0 ? left : First(2 * n + 1, mid + 1, hi, a, b, v);
  }
  std::int64_t Last(std::int64_t n, std::int64_t lo, std::int64_t hi, std::int64_t a,
                    std::int64_t b, std::uint32_t v) const {
    if (hi < a || lo > b || min_[n] >= v) return -1;
    if (lo == hi) return lo;
    const std::int64_t mid = (lo + hi) / 2;
    const std::int64_t right = Last(2 * n + 1, mid + 1, hi, a, b, v);
    return right >= 0 ? right : Last(2 * n, lo, mid, a, b, v);
  }

  std::int64_t leaves_ = 1;
  std::vector<std::uint32_t> min_, max_;
};

}  // namespace

void QuickSortRanked(std::vector<std::uint32_t>& e, const std::vector<std::uint32_t>& rank) {
  if (e.size() < 2) return;
  // r[p] is the rank of the entry at position p, kept along with e.
  std::vector<std::uint32_t> r(e.size());
  for (std::size_t p = 0; p < e.size(); ++p) r[p] = rank[e[p]];
  RankTree tree(r);
  auto swap = [&](std::int64_t a, std::int64_t b) {
    if (a == b) return;
    std::swap(e[a], e[b]);
    if (r[a] == r[b]) return;
    std::swap(r[a], r[b]);
    tree.Set(a, r[a]);
    tree.Set(b, r[b]);
  };
  std::vector<std::pair<std::int64_t, std::int64_t>> pending;
  std::int64_t lo = 0;
  std::int64_t hi = static_cast<std::int64_t>(e.size()) - 1;
  for (;;) {
    bool haveRange = true;
    while (haveRange) {
      const std::int64_t size = hi - lo + 1;
      if (size <= 8) {
        while (hi > lo) {
          std::int64_t m = lo;
          for (std::int64_t p = lo + 1; p <= hi; ++p)
            if (r[p] > r[m]) m = p;
          swap(m, hi);
          --hi;
        }
        haveRange = false;
        break;
      }
      swap(lo + size / 2, lo);
      const std::uint32_t pivot = r[lo];
      std::int64_t i = lo;
      std::int64_t j = hi + 1;
      for (;;) {
        // i: the next position holding more than the pivot, else hi + 1.
        const std::int64_t iStop = std::min(hi, i + kLinearSteps);
        do {
          ++i;
        } while (i <= iStop && r[i] <= pivot);
        if (i > iStop && i <= hi) {
          const std::int64_t found = tree.FirstAbove(i, hi, pivot);
          i = found >= 0 ? found : hi + 1;
        }
        // j: the previous position above lo holding less than the pivot, else lo.
        const std::int64_t jStop = std::max(lo + 1, j - kLinearSteps);
        do {
          --j;
        } while (j >= jStop && j > lo && r[j] >= pivot);
        if (j < jStop && j > lo) {
          const std::int64_t found = tree.LastBelow(lo + 1, j, pivot);
          j = found >= 0 ? found : lo;
        }
        if (j < i) break;
        swap(i, j);
      }
      swap(lo, j);
      haveRange = ContinueWithSmallerPart(pending, lo, hi, i, j);
    }
    if (pending.empty()) return;
    lo = pending.back().first;
    hi = pending.back().second;
    pending.pop_back();
  }
}

}  // namespace quillane::table

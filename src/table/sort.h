// The table sort's quicksort. It is not stable, and the order it gives to
// equal keys is part of every sorted table file, so it is kept exactly:
// ranges of 8 or fewer by selecting the first greatest entry to the end,
// longer ranges partitioned around the middle entry, the larger side pushed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace quillane::table {

// After a partition of the range lo to hi into lo to j - 1 and i to hi: the
// larger part waits in `pending` and the smaller one becomes the range, so
// the pending list stays short. False when no part is left to go on with.
inline bool ContinueWithSmallerPart(std::vector<std::pair<std::int64_t, std::int64_t>>& pending,
                                    std::int64_t& lo, std::int64_t& hi, std::int64_t i,
                                    std::int64_t j) {
  if (j - 1 - lo >= hi - i) {
    if (lo + 1 < j) pending.emplace_back(lo, j - 1);
    if (i >= hi) return false;
    lo = i;
    return true;
  }
  if (i < hi) pending.emplace_back(i, hi);
  if (lo + 1 >= j) return false;
  hi = j - 1;
  return true;
}

// Sorts `e` in place; compare(a, b) < 0, 0 or > 0 as entry a sorts before,
// with or after entry b. (A template, so that the comparison is inlined.)
template <typename Compare>
void QuickSort(std::vector<std::uint32_t>& e, Compare compare) {
  if (e.size() < 2) return;
  std::vector<std::pair<std::int64_t, std::int64_t>> pending;
  std::int64_t lo = 0;
  std::int64_t hi = static_cast<std::int64_t>(e.size()) - 1;
  for (;;) {
    bool haveRange = true;
    while (haveRange) {
      const std::int64_t size = hi - lo + 1;
      if (size <= 8) {
        // Selection: the first entry that compares greatest goes to the end.
        while (hi > lo) {
          std::int64_t m = lo;
          for (std::int64_t p = lo + 1; p <= hi; ++p)
            if (compare(e[p], e[m]) > 0) m = p;
          std::swap(e[m], e[hi]);
          --hi;
        }
        haveRange = false;
        break;
      }
      std::swap(e[lo + size / 2], e[lo]);
      const std::uint32_t pivot = e[lo];
      std::int64_t i = lo;
      std::int64_t j = hi + 1;
      for (;;) {
        do {
          ++i;
        } while (i <= hi && compare(e[i], pivot) <= 0);
        do {
          --j;
        } while (j > lo && compare(e[j], pivot) >= 0);
        if (j < i) break;
        std::swap(e[i], e[j]);
      }
      std::swap(e[lo], e[j]);
      haveRange = ContinueWithSmallerPart(pending, lo, hi, i, j);
    }
    if (pending.empty()) return;
    lo = pending.back().first;
    hi = pending.back().second;
    pending.pop_back();
  }
}

// QuickSort with compare(a, b) = rank[a] <=> rank[b], giving exactly the
// same order. Its scans run over every entry equal to the pivot, which with
// many equal keys makes them long and the sort quadratic (two key values
// mixed in a range of n entries take about n / 2 partitions of n steps);
// here a scan that is not over within a few steps asks a tree of the ranks'
// minima and maxima where it would stop.
void QuickSortRanked(std::vector<std::uint32_t>& entries, const std::vector<std::uint32_t>& rank);

}  // namespace quillane::table

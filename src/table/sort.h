// The table sort's quicksort. It is not stable, and the order it gives to
// equal keys is part of every sorted table file, so it is kept exactly:
// ranges of 8 or fewer by selecting the first greatest entry to the end,
// longer ranges partitioned around the middle entry, the larger side pushed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace quillane::table {

// Sorts `entries` in place; compare(a, b) < 0, 0 or > 0 as entry a sorts
// before, with or after entry b.
void QuickSort(std::vector<std::uint32_t>& entries,
               const std::function<int(std::uint32_t, std::uint32_t)>& compare);

}  // namespace quillane::table

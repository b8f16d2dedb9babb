// Matching a customer text against the keyword rules.
#pragma once

#include <cstdint>
#include <string_view>

#include "services/types.h"

namespace quillane {

// The number of non-overlapping occurrences of `sought` in `text` (double-byte
// aware); 0 when either is empty.
std::int32_t CountOccurrences(std::string_view text, std::string_view sought, bool caseSensitive);

}  // namespace quillane

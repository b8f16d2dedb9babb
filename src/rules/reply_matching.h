// Matching a customer text against the keyword rules, one keyword piece at a
// time: the definition the reply index answers like.
#pragma once

#include <cstdint>
#include <string_view>

#include "rules/rule_schema.h"
#include "services/types.h"

namespace quillane {

// The number of non-overlapping occurrences of `sought` in `text` (double-byte
// aware); 0 when either is empty.
std::int32_t CountOccurrences(std::string_view text, std::string_view sought, bool caseSensitive);

// Whether one keyword piece matches the customer text under a match rule,
// byte-wise and case-sensitive:
// - Contains: the customer text occurs in the piece (keyword 在吗 answers 在吗
//   and 在, not 你好，在吗？);
// - InMessage: the piece occurs in the customer text (keyword 在吗 answers
//   你好，在吗？);
// - Exact: the piece equals the customer text byte for byte.
// An occurrence never starts on the second byte of a double-byte character,
// and an empty text occurs nowhere, so an empty piece never matches under
// Contains or InMessage (under Exact it matches the empty text).
bool PieceMatches(MatchKind kind, std::string_view piece, std::string_view customer);

}  // namespace quillane

// Text operations on GBK byte strings. Positions are 1-based byte positions;
// scans that say "double-byte aware" treat a byte of 0x80 or more and the byte
// after it as one character, so a match never starts on the second byte of a
// Chinese character. Equality is byte-wise, with no locale and no case folding.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "services/types.h"

namespace quillane {

// Number of bytes before the first zero byte (a Text may carry a zero byte
// inside; the program's texts end at the first one).
std::int32_t TextLength(std::string_view text);

// The first / last min(n, length) bytes; n <= 0 gives the empty text. Not
// double-byte aware: a cut may split a character, as callers expect.
Text TextLeft(std::string_view text, std::int32_t n);
Text TextRight(std::string_view text, std::int32_t n);

// The byte at a 1-based position as a signed value (0x80 and above give
// negative numbers); a position below 1 or past the end gives 0.
std::int32_t CharCode(std::string_view text, std::int32_t position = 1);

// 1-based position of the first occurrence of `sought` at or after `start`
// (double-byte aware), or -1. An empty `sought` gives 1 when the searched part
// is not empty, else -1. `ignoreCase` folds only A-Z / a-z.
std::int32_t FindText(std::string_view text, std::string_view sought, std::int32_t start = 1,
                      bool ignoreCase = false);

// Constant for "replace every occurrence".
inline constexpr std::int32_t kReplaceAll = -1;

// The text with occurrences of `sought` at or after `start` replaced, at most
// `count` of them (kReplaceAll or any negative count: all). Double-byte aware.
Text ReplaceText(std::string_view text, std::string_view sought, std::string_view replacement = {},
                 std::int32_t start = 1, std::int32_t count = kReplaceAll,
                 bool caseSensitive = true);

// Splits at `separator` (double-byte aware). Leading separators and separators
// in a row give empty pieces; a trailing separator gives no empty last piece.
// `maximum` < 0 counts as 0 (an empty result); kNoLimit means no limit.
inline constexpr std::int32_t kNoLimit = 0x7FFFFFFF;
std::vector<Text> SplitText(std::string_view text, std::string_view separator = ",",
                            std::int32_t maximum = kNoLimit);

// Removes half-width spaces (0x20) and full-width spaces (A1 A1) at both ends.
Text TrimSpaces(std::string_view text);

// a-z to A-Z; two-byte characters untouched.
Text ToUpper(std::string_view text);

}  // namespace quillane

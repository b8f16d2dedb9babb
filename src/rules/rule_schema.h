// The rule table's schema: its password, its four fields with their names,
// types and widths, the match-rule names and the stored empty table. Both rule
// tables (Database.edb and its sorted copy Sorting.edb) have it.
#pragma once

#include <cstdint>

#include "services/types.h"

namespace quillane {

// The password of both rule tables.
inline constexpr const char kRulePassword[] = "620418537";

// The fields, in their order in the record.
inline constexpr char kKeywordsField[] = "关键词";     // text: keyword pieces joined by "|"
inline constexpr char kReplyField[] = "回复语";        // text
inline constexpr char kMatchRuleField[] = "匹配规则";  // text: one of the match rules below
inline constexpr char kMatchCodeField[] = "匹配码";    // integer: larger codes are tried first

// Widths in bytes of the text fields of a new rule table.
inline constexpr std::int32_t kRuleKeywordWidth = 256;
inline constexpr std::int32_t kRuleReplyWidth = 1024;
inline constexpr std::int32_t kRuleMatchWidth = 12;

// The match rules: "包含" is the containment test; any other text (the
// window offers "完全匹配") is the exact test.
inline constexpr char kContainsRule[] = "包含";
inline constexpr char kExactRule[] = "完全匹配";

// The stored empty rule table: 404 bytes, the four rule fields, no records,
// protected with the rule password.
Bytes MakeEmptyRuleTable();

// True when the open table `alias` has the four rule fields in their order,
// with their types.
bool HasRuleLayout(const Text& alias);

}  // namespace quillane

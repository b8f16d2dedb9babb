// The rule table's schema: its password, its four fields with their names,
// types and widths, the match-rule names and the stored empty table. Both rule
// tables (Database.edb and its sorted copy Sorting.edb) have it.
#pragma once

#include <cstdint>
#include <string_view>

#include "services/types.h"

namespace quillane {

// The password of both rule tables.
inline constexpr const char kRulePassword[] = "620418537";

// The fields, in their order in the record. Their names are written as GBK
// bytes, so a new table is the same whatever a compiler makes of narrow
// literals: 关键词 (keyword pieces joined by "|"), 回复语, 匹配规则 (one of
// the match rules below), 匹配码 (an integer; larger codes are tried first).
inline constexpr char kKeywordsField[] = "\xB9\xD8\xBC\xFC\xB4\xCA";
inline constexpr char kReplyField[] = "\xBB\xD8\xB8\xB4\xD3\xEF";
inline constexpr char kMatchRuleField[] = "\xC6\xA5\xC5\xE4\xB9\xE6\xD4\xF2";
inline constexpr char kMatchCodeField[] = "\xC6\xA5\xC5\xE4\xC2\xEB";

// Widths in bytes of the text fields of a new rule table.
inline constexpr std::int32_t kRuleKeywordWidth = 256;
inline constexpr std::int32_t kRuleReplyWidth = 1024;
inline constexpr std::int32_t kRuleMatchWidth = 12;

// The match rules: "包含" (the customer text occurs in a keyword piece),
// "消息中包含" (a keyword piece occurs in the customer text); any other text
// (the window offers "完全匹配") is the exact test. Older builds read
// "消息中包含" as an exact rule, so a table holding it still opens there.
inline constexpr char kContainsRule[] = "包含";
inline constexpr char kExactRule[] = "完全匹配";
inline constexpr char kInMessageRule[] = "消息中包含";

enum class MatchKind { Contains, Exact, InMessage };

// The test a rule's match-rule text selects.
MatchKind MatchKindOf(std::string_view matchRule);

// The stored empty rule table: 404 bytes, the four rule fields, no records,
// protected with the rule password.
Bytes MakeEmptyRuleTable();

// True when the open table `alias` has the four rule fields in their order,
// with their types.
bool HasRuleLayout(const Text& alias);

}  // namespace quillane

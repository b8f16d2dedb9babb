// Checks over a list of rules that point staff at rules that do not do what
// they look like: a keyword piece in more than one rule (only the rule tried
// first answers it), empty pieces, pieces with blanks at either end, and
// rules that never answer because rules tried before them answer every text
// they match.
//
// Whether a rule never answers is decided exactly. An exact piece matches one
// text and a "包含" piece the texts that occur in it, finitely many: each of
// them is asked of the rules in order. A "消息中包含" piece matches every text
// it occurs in, endlessly many; the rules before it answer all of those only
// when an earlier "消息中包含" piece occurs in it (the piece itself is such a
// text, and one with characters around it that no piece holds needs a piece
// inside it).
#pragma once

#include <cstddef>
#include <vector>

#include "rules/rule_store.h"
#include "services/types.h"

namespace quillane {

enum class RuleCheckKind {
  SharedKeyword,  // `keyword` is a piece of every rule in `rows`; `row` (tried first) answers it
  EmptyKeyword,   // `row` has an empty piece (two "|" in a row, or a "|" first)
  BlankAround,    // `keyword`, a piece of `row`, starts or ends with a blank
  NeverAnswers,   // the rules in `rows`, tried before `row`, answer every text it
                  // matches; with `rows` empty it matches no text at all
};

struct RuleCheck {
  RuleCheckKind kind = RuleCheckKind::EmptyKeyword;
  std::size_t row = 0;            // 0-based among the rows checked
  Text keyword;                   // SharedKeyword, BlankAround
  std::vector<std::size_t> rows;  // in the order the rules are tried
  bool operator==(const RuleCheck&) const = default;
};

// Checks the rows as the rule table or the settings list holds them; they
// are tried in the order the sorted copy gives them. The findings are in the
// order of their rows (a rule's own findings in the order of the kinds above).
std::vector<RuleCheck> CheckRules(const std::vector<RuleRow>& rows);

}  // namespace quillane

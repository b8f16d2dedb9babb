#include "rules/rule_matcher.h"

#include "rules/reply_matching.h"
#include "rules/rule_schema.h"
#include "services/text.h"

namespace quillane {

RuleMatcher::RuleMatcher(std::vector<MatchRule> rules) : rules_(std::move(rules)), index_(rules_) {}

RuleMatcher RuleMatcher::InSortedCopyOrder(const std::vector<RuleRow>& rows) {
  std::vector<std::uint32_t> order = SortedCopyOrder(rows);
  std::vector<MatchRule> rules;
  rules.reserve(rows.size());
  for (const std::uint32_t k : order)
    rules.push_back({rows[k].keywords, rows[k].matchRule, rows[k].reply});
  RuleMatcher matcher(std::move(rules));
  matcher.rowOf_ = std::move(order);
  return matcher;
}

RuleAnswer RuleMatcher::Answer(std::string_view customer) const {
  RuleAnswer answer;
  answer.position = FirstRule(customer);
  if (!answer.matched()) return answer;
  const auto at = static_cast<std::size_t>(answer.position);
  answer.row = rowOf_.empty() ? at : rowOf_[at];
  const MatchRule& rule = rules_[at];
  const MatchKind kind = MatchKindOf(rule.matchRule);
  const std::vector<Text> pieces = SplitText(rule.keywords, "|");
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (PieceMatches(kind, pieces[k], customer)) {
      answer.piece = static_cast<int>(k);
      answer.keyword = pieces[k];
      break;
    }
  }
  return answer;
}

bool SendsDefaultReply(const Text& reply) { return TrimSpaces(reply).empty(); }

}  // namespace quillane

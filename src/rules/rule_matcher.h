// Which rule answers a customer text, and with which keyword piece: one
// matcher for the reply service, `edbtool answer` and the settings window.
// It holds the rules in the order their replies are tried and their reply
// index, and answers as walking the rules one piece after another does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rules/reply_index.h"
#include "rules/rule_store.h"
#include "services/types.h"

namespace quillane {

// The rule that answers a customer text.
struct RuleAnswer {
  int position = -1;    // 0-based in the order the rules are tried; -1: none matches
  std::size_t row = 0;  // the rule's place among the rows the matcher was made of
  int piece = -1;       // 0-based place of the matching piece in the keyword list
  Text keyword;         // the matching piece
  bool matched() const { return position >= 0; }
};

class RuleMatcher {
 public:
  RuleMatcher() = default;
  // Rules already in the order their replies are tried (the sorted copy's
  // records); a rule's row is its position.
  explicit RuleMatcher(std::vector<MatchRule> rules);
  // Rows as the rule table or the settings list holds them, tried in the
  // order the sorted copy gives them (by match code, largest first).
  static RuleMatcher InSortedCopyOrder(const std::vector<RuleRow>& rows);

  // The position of the first rule that matches, or -1.
  int FirstRule(std::string_view customer) const { return index_.FirstMatch(customer); }
  // The first rule that matches and its first piece that matches.
  RuleAnswer Answer(std::string_view customer) const;

  const std::vector<MatchRule>& Rules() const { return rules_; }

 private:
  std::vector<MatchRule> rules_;
  std::vector<std::uint32_t> rowOf_;  // empty when every rule's row is its position
  ReplyIndex index_;
};

// Whether a rule's reply is sent as it is; a reply that is empty or only
// blanks (half- and full-width) sends the default reply instead.
bool SendsDefaultReply(const Text& reply);

}  // namespace quillane

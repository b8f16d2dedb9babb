// An index over the keyword rules that answers "which rule matches this
// customer text first" in time that grows with the text, not with the number
// of rules, and gives exactly the answer of walking the rules in order.
//
// A rule whose match rule is "包含" matches when the customer text occurs in
// one of its keyword pieces at a character boundary (the piece is searched for
// the customer text); any other match rule compares a piece with the customer
// text byte for byte. The first rule in record order that matches decides.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "services/types.h"

namespace quillane {

// One rule as the matcher sees it, in the order of the sorted copy.
struct MatchRule {
  Text keywords;   // keyword pieces joined by "|"
  Text matchRule;  // "包含" selects the containment test
  Text reply;
};

class ReplyIndex {
 public:
  ReplyIndex() = default;
  explicit ReplyIndex(const std::vector<MatchRule>& rules);

  // 0-based position of the first rule that matches `customer`, or -1.
  int FirstMatch(std::string_view customer) const;

  size_t RuleCount() const { return ruleCount_; }

 private:
  // A character-aligned suffix of one keyword piece of a containment rule.
  struct Suffix {
    std::uint32_t begin;  // offset into text_
    std::uint32_t end;    // end of its piece in text_
  };

  std::string_view SuffixText(const Suffix& s) const {
    return std::string_view(text_).substr(s.begin, s.end - s.begin);
  }
  int MinRuleInRange(size_t lo, size_t hi) const;

  size_t ruleCount_ = 0;
  std::unordered_map<std::string, int> exact_;  // piece -> first rule with it
  std::string text_;                            // all containment pieces
  std::vector<Suffix> suffixes_;                // sorted by their text
  std::vector<int> tree_;                       // min-rule segment tree over suffixes_
};

// The walk over the rules as the matcher is defined, one rule and one piece
// after another; the reference the index is checked against.
int FirstMatchByWalking(const std::vector<MatchRule>& rules, std::string_view customer);

}  // namespace quillane

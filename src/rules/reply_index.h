// An index over the keyword rules that answers "which rule matches this
// customer text first" in time that grows with the text, not with the number
// of rules, and gives exactly the answer of walking the rules in order.
//
// Each match rule has its part: pieces of exact rules in a hash map; pieces
// of "包含" rules (the customer text occurs in the piece) as their sorted
// character-aligned suffixes; pieces of "消息中包含" rules (the piece occurs in
// the customer text) in an automaton that reads the text once. Each part
// gives the first rule it finds; the smallest of the three, the first rule in
// record order that matches, decides.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rules/piece_automaton.h"
#include "services/types.h"

namespace quillane {

// One rule as the matcher sees it, in the order of the sorted copy.
struct MatchRule {
  Text keywords;   // keyword pieces joined by "|"
  Text matchRule;  // "包含", "消息中包含", anything else: exact
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
  size_t longestExact_ = 0;                     // the longest piece in exact_
  size_t longestContaining_ = 0;                // the longest piece in text_
  std::string text_;                            // all containment pieces
  std::vector<Suffix> suffixes_;                // sorted by their text
  std::vector<int> tree_;                       // min-rule segment tree over suffixes_
  PieceAutomaton inMessage_;                    // the pieces of "消息中包含" rules
};

// The walk over the rules as the matcher is defined, one rule and one piece
// after another; the reference the index is checked against.
int FirstMatchByWalking(const std::vector<MatchRule>& rules, std::string_view customer);

}  // namespace quillane

#include "rules/rule_checks.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "rules/piece_automaton.h"
#include "rules/reply_index.h"
#include "rules/rule_schema.h"
#include "services/text.h"

namespace quillane {

namespace {

constexpr int kNoRule = std::numeric_limits<int>::max();

// The rules in the order they are tried, with what the checks ask of them.
class RulesInOrder {
 public:
  explicit RulesInOrder(const std::vector<RuleRow>& rows) : rowOf_(SortedCopyOrder(rows)) {
    std::vector<Text> inMessageText;
    std::vector<int> inMessageRule;
    for (std::size_t p = 0; p < rowOf_.size(); ++p) {
      const RuleRow& row = rows[rowOf_[p]];
      rules_.push_back({row.keywords, row.matchRule, row.reply});
      pieces_.push_back(SplitText(row.keywords, "|"));
      if (MatchKindOf(row.matchRule) != MatchKind::InMessage) continue;
      for (const Text& piece : pieces_.back()) {
        inMessageText.push_back(piece);
        inMessageRule.push_back(static_cast<int>(p));
      }
    }
    index_ = ReplyIndex(rules_);
    std::vector<PieceAutomaton::Piece> inMessage;
    for (std::size_t k = 0; k < inMessageText.size(); ++k)
      inMessage.emplace_back(inMessageText[k], inMessageRule[k]);
    inMessage_ = PieceAutomaton(inMessage);
  }

  std::size_t size() const { return rules_.size(); }
  std::size_t RowOf(std::size_t position) const { return rowOf_[position]; }
  MatchKind KindOf(std::size_t position) const { return MatchKindOf(rules_[position].matchRule); }
  const std::vector<Text>& PiecesOf(std::size_t position) const { return pieces_[position]; }

  // The rules tried before `position` that answer every text the rule at
  // `position` matches, or nothing when some text of it reaches it.
  std::optional<std::set<std::size_t>> AnsweredBefore(std::size_t position) const {
    std::set<std::size_t> before;
    // Records the rule that answers `text`; false when it is this one.
    auto answered = [&](std::string_view text) {
      const int first = index_.FirstMatch(text);
      if (first < 0 || static_cast<std::size_t>(first) >= position) return false;
      before.insert(static_cast<std::size_t>(first));
      return true;
    };
    for (const Text& piece : pieces_[position]) {
      switch (KindOf(position)) {
        case MatchKind::Exact:
          if (!answered(piece)) return std::nullopt;
          break;
        case MatchKind::Contains:
          // Every text that occurs in the piece at a character start: from
          // each character start, to every byte after it.
          for (std::size_t from = 0; from < piece.size();
               from += (static_cast<unsigned char>(piece[from]) >= 0x80 && from + 1 < piece.size())
                           ? 2
                           : 1) {
            for (std::size_t to = piece.size(); to > from; --to) {
              if (!answered(std::string_view(piece).substr(from, to - from))) return std::nullopt;
            }
          }
          break;
        case MatchKind::InMessage: {
          if (piece.empty()) break;
          const int first = inMessage_.FirstRuleIn(piece, kNoRule);
          if (first == kNoRule || static_cast<std::size_t>(first) >= position) return std::nullopt;
          before.insert(static_cast<std::size_t>(first));
          break;
        }
      }
    }
    return before;
  }

 private:
  std::vector<std::uint32_t> rowOf_;
  std::vector<MatchRule> rules_;
  std::vector<std::vector<Text>> pieces_;
  ReplyIndex index_;
  PieceAutomaton inMessage_;
};

}  // namespace

std::vector<RuleCheck> CheckRules(const std::vector<RuleRow>& rows) {
  const RulesInOrder rules(rows);
  std::vector<RuleCheck> checks;
  std::map<Text, std::vector<std::size_t>> holders;  // piece -> rules holding it, in order
  for (std::size_t p = 0; p < rules.size(); ++p) {
    const std::size_t row = rules.RowOf(p);
    bool empty = false;
    for (const Text& piece : rules.PiecesOf(p)) {
      if (piece.empty()) {
        empty = true;
        continue;
      }
      if (TrimSpaces(piece) != piece)
        checks.push_back({RuleCheckKind::BlankAround, row, piece, {}});
      std::vector<std::size_t>& in = holders[piece];
      if (in.empty() || in.back() != p) in.push_back(p);
    }
    if (empty) checks.push_back({RuleCheckKind::EmptyKeyword, row, {}, {}});
    if (const auto before = rules.AnsweredBefore(p)) {
      RuleCheck never{RuleCheckKind::NeverAnswers, row, {}, {}};
      for (const std::size_t q : *before) never.rows.push_back(rules.RowOf(q));
      checks.push_back(std::move(never));
    }
  }
  for (const auto& [piece, in] : holders) {
    if (in.size() < 2) continue;
    RuleCheck shared{RuleCheckKind::SharedKeyword, rules.RowOf(in.front()), piece, {}};
    for (const std::size_t q : in) shared.rows.push_back(rules.RowOf(q));
    checks.push_back(std::move(shared));
  }
  std::stable_sort(checks.begin(), checks.end(), [](const RuleCheck& a, const RuleCheck& b) {
    return a.row != b.row ? a.row < b.row : a.kind < b.kind;
  });
  return checks;
}

}  // namespace quillane

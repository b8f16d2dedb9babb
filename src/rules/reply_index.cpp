#include "rules/reply_index.h"

#include <algorithm>
#include <limits>

#include "rules/reply_matching.h"
#include "rules/rule_schema.h"
#include "services/text.h"

namespace quillane {

namespace {

constexpr int kNoRule = std::numeric_limits<int>::max();

// The byte offsets at which a double-byte aware scan tries a match: every
// character start, a lead byte taking its trail byte along.
std::vector<size_t> CharacterStarts(std::string_view text) {
  std::vector<size_t> starts;
  for (size_t at = 0; at < text.size();
       at += (static_cast<unsigned char>(text[at]) >= 0x80 && at + 1 < text.size()) ? 2 : 1) {
    starts.push_back(at);
  }
  return starts;
}

}  // namespace

ReplyIndex::ReplyIndex(const std::vector<MatchRule>& rules) : ruleCount_(rules.size()) {
  std::vector<int> suffixRule;
  std::vector<Text> inMessageText;
  std::vector<int> inMessageRule;
  for (size_t r = 0; r < rules.size(); ++r) {
    const int rule = static_cast<int>(r);
    const MatchKind kind = MatchKindOf(rules[r].matchRule);
    for (Text& piece : SplitText(rules[r].keywords, "|")) {
      if (kind == MatchKind::Exact) {
        longestExact_ = std::max(longestExact_, piece.size());
        exact_.emplace(piece, rule);  // keeps the earliest rule for a piece
        continue;
      }
      if (kind == MatchKind::InMessage) {
        inMessageText.push_back(std::move(piece));
        inMessageRule.push_back(rule);
        continue;
      }
      // The containment test finds the customer text at a character start
      // of the piece: exactly when it is a prefix of one of these suffixes.
      const auto base = static_cast<std::uint32_t>(text_.size());
      text_ += piece;
      longestContaining_ = std::max(longestContaining_, piece.size());
      const auto end = static_cast<std::uint32_t>(text_.size());
      for (size_t start : CharacterStarts(piece)) {
        suffixes_.push_back({base + static_cast<std::uint32_t>(start), end});
        suffixRule.push_back(rule);
      }
    }
  }

  // Sort the suffixes by text, carrying each one's rule along; equal texts
  // keep no particular order, since only the smallest rule of a range counts.
  // Each suffix is sorted by its first 16 bytes packed into two numbers
  // (most significant byte first, zeros after the end), which orders texts as
  // their bytes do; only suffixes whose first 16 bytes agree and that go on
  // beyond them are compared whole. That keeps the sort in a compact array instead of chasing every
  // comparison into the text.
  struct Keyed {
    std::uint64_t high, low;
    std::uint32_t suffix;
    bool longer;  // more than the 16 bytes of the key
  };
  std::vector<Keyed> keyed(suffixes_.size());
  for (size_t i = 0; i < keyed.size(); ++i) {
    const std::string_view text = SuffixText(suffixes_[i]);
    std::uint64_t word[2] = {0, 0};
    for (size_t k = 0; k < 16 && k < text.size(); ++k)
      word[k / 8] |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[k]))
                     << (8 * (7 - k % 8));
    keyed[i] = {word[0], word[1], static_cast<std::uint32_t>(i), text.size() > 16};
  }
  std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return (a.longer || b.longer) &&
           SuffixText(suffixes_[a.suffix]) < SuffixText(suffixes_[b.suffix]);
  });
  std::vector<std::uint32_t> order(keyed.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = keyed[i].suffix;
  std::vector<Suffix> sorted(suffixes_.size());
  const size_t n = order.size();
  tree_.assign(2 * n, kNoRule);
  for (size_t i = 0; i < n; ++i) {
    sorted[i] = suffixes_[order[i]];
    tree_[n + i] = suffixRule[order[i]];
  }
  suffixes_ = std::move(sorted);
  for (size_t i = n; i-- > 1;) tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);

  std::vector<PieceAutomaton::Piece> inMessage;
  inMessage.reserve(inMessageText.size());
  for (size_t k = 0; k < inMessageText.size(); ++k)
    inMessage.emplace_back(inMessageText[k], inMessageRule[k]);
  inMessage_ = PieceAutomaton(inMessage);
}

int ReplyIndex::MinRuleInRange(size_t lo, size_t hi) const {
  int best = kNoRule;
  const size_t n = suffixes_.size();
  for (lo += n, hi += n; lo < hi; lo /= 2, hi /= 2) {
    if (lo & 1) best = std::min(best, tree_[lo++]);
    if (hi & 1) best = std::min(best, tree_[--hi]);
  }
  return best;
}

int ReplyIndex::FirstMatch(std::string_view customer) const {
  int best = kNoRule;
  // A text longer than every piece of a kind cannot match a piece of it.
  if (customer.size() <= longestExact_) {
    if (auto it = exact_.find(std::string(customer)); it != exact_.end()) best = it->second;
  }

  if (!customer.empty() && customer.size() <= longestContaining_) {
    // The suffixes that start with the customer text form one run of the
    // sorted order.
    const auto lo =
        std::lower_bound(suffixes_.begin(), suffixes_.end(), customer,
                         [&](const Suffix& s, std::string_view c) { return SuffixText(s) < c; });
    const auto hi = std::upper_bound(
        lo, suffixes_.end(), customer,
        [&](std::string_view c, const Suffix& s) { return c < SuffixText(s).substr(0, c.size()); });
    if (lo != hi) {
      best = std::min(best, MinRuleInRange(static_cast<size_t>(lo - suffixes_.begin()),
                                           static_cast<size_t>(hi - suffixes_.begin())));
    }
  }
  best = std::min(best, inMessage_.FirstRuleIn(customer, kNoRule));
  return best == kNoRule ? -1 : best;
}

int FirstMatchByWalking(const std::vector<MatchRule>& rules, std::string_view customer) {
  for (size_t r = 0; r < rules.size(); ++r) {
    const MatchKind kind = MatchKindOf(rules[r].matchRule);
    for (const Text& piece : SplitText(rules[r].keywords, "|")) {
      if (PieceMatches(kind, piece, customer)) return static_cast<int>(r);
    }
  }
  return -1;
}

}  // namespace quillane

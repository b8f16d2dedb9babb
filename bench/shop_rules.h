// Rules and customer texts that look like a shop's, for the benchmarks:
// keywords of two to eight Chinese characters, one to four per rule, match
// codes 0 to 9; by default four in five rules "包含" and the rest "完全匹配",
// or another mix of the three match rules; customer texts that hit (a
// keyword piece or a part of one, or for a "消息中包含" rule a sentence around
// one of its pieces) and texts of 5 to 60 characters that miss.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "rules/rule_store.h"
#include "services/text.h"

namespace quillane::bench {

// How many rules in ten have each match rule; the rest are "完全匹配".
struct RuleMix {
  int contains = 8;   // "包含"
  int inMessage = 0;  // "消息中包含"
};

class ShopRuleMaker {
 public:
  explicit ShopRuleMaker(unsigned seed = 42, RuleMix mix = {}) : rng_(seed), mix_(mix) {}

  // `n` GB2312 level-1 characters (rows B0 to D6, which are full, so every
  // text converts to Unicode and back unchanged).
  Text Chinese(int n) {
    Text w;
    for (int i = 0; i < n; ++i) {
      w += static_cast<char>(Pick(0xB0, 0xD6));
      w += static_cast<char>(Pick(0xA1, 0xFE));
    }
    return w;
  }

  std::vector<RuleRow> Rules(int count) {
    std::vector<RuleRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      RuleRow r;
      for (int k = Pick(1, 4); k > 0; --k)
        r.keywords += (r.keywords.empty() ? "" : "|") + Chinese(Pick(2, 8));
      r.reply = "r" + std::to_string(i) + Chinese(Pick(4, 30));
      const int tenth = Pick(0, 9);
      r.matchRule = tenth < mix_.contains                    ? "包含"
                    : tenth < mix_.contains + mix_.inMessage ? "消息中包含"
                                                             : "完全匹配";
      r.matchCode = std::to_string(Pick(0, 9));
      rows.push_back(std::move(r));
    }
    return rows;
  }

  // Hits and misses alternate, a hit first.
  std::vector<Text> CustomerTexts(const std::vector<RuleRow>& rows, int n) {
    std::vector<Text> texts;
    for (int i = 0; i < n; ++i) {
      if (i % 2 || rows.empty()) {
        texts.push_back(Chinese(Pick(5, 60)));
        continue;
      }
      const RuleRow& rule = rows[rng_() % rows.size()];
      const std::vector<Text> pieces = SplitText(rule.keywords, "|");
      const Text& piece = pieces[rng_() % pieces.size()];
      if (rule.matchRule == "消息中包含") {
        texts.push_back(Chinese(Pick(0, 10)) + piece + Chinese(Pick(0, 10)));
        continue;
      }
      const int chars = static_cast<int>(piece.size() / 2);
      const int from = Pick(0, chars - 1);
      texts.push_back(piece.substr(2 * static_cast<std::size_t>(from),
                                   2 * static_cast<std::size_t>(Pick(1, chars - from))));
    }
    return texts;
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::mt19937 rng_;
  RuleMix mix_;
};

}  // namespace quillane::bench

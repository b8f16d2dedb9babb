// Random keyword rules and customer texts for checking the reply index
// against the walk over the rules. The alphabet is small so that texts
// collide often, and it holds the GBK cases that trip byte-wise searching:
// trail bytes that equal ASCII letters or "|", trail bytes that equal lead
// bytes of other characters, full-width blanks and a lone lead byte at the end.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "rules/reply_index.h"

namespace quillane::testing {

class RuleGenerator {
 public:
  explicit RuleGenerator(unsigned seed) : rng_(seed) {}

  Text Piece(int maxChars) {
    static const char* const kChars[] = {"a",
                                         "b",
                                         "A",
                                         "@",
                                         " ",
                                         "\xD4\xDA" /* 在 */,
                                         "\xC2\xF0" /* 吗 */,
                                         "\xC2\xD4" /* trail byte = lead of 在 */,
                                         "\x81\x40" /* trail '@' */,
                                         "\x81\x7C" /* trail '|' */,
                                         "\xA1\xA1" /* full-width blank */,
                                         "\xDA\xC2"};
    Text out;
    const int n = Uniform(0, maxChars);
    for (int i = 0; i < n; ++i) out += kChars[Uniform(0, std::size(kChars) - 1)];
    if (Uniform(0, 20) == 0) out += "\xD4";  // a lead byte without its trail
    return out;
  }

  std::vector<MatchRule> Rules(int count) {
    static const char* const kMatchRules[] = {"包含",       "包含", "完全匹配",  "",
                                              "消息中包含", "其他", "消息中包含"};
    std::vector<MatchRule> rules;
    for (int i = 0; i < count; ++i) {
      MatchRule r;
      const int pieces = Uniform(1, 4);
      for (int p = 0; p < pieces; ++p) {
        if (p > 0) r.keywords += "|";
        r.keywords += Piece(5);
      }
      if (Uniform(0, 8) == 0) r.keywords += "|";
      r.matchRule = kMatchRules[Uniform(0, std::size(kMatchRules) - 1)];
      r.reply = "reply" + std::to_string(i);
      rules.push_back(std::move(r));
    }
    return rules;
  }

  // A customer text: often a byte range cut out of some keyword list (which
  // may start or end inside a character), else a fresh random text; or, for
  // the rules that look for a piece in the message, such a range with random
  // text around it, which may put it at the second byte of a character.
  Text Customer(const std::vector<MatchRule>& rules) {
    if (Uniform(0, 3) == 0) return Piece(3) + CutOut(rules) + Piece(3);
    return CutOut(rules);
  }

  size_t Uniform(size_t lo, size_t hi) {
    return std::uniform_int_distribution<size_t>(lo, hi)(rng_);
  }

 private:
  Text CutOut(const std::vector<MatchRule>& rules) {
    if (!rules.empty() && Uniform(0, 2) > 0) {
      const Text& k = rules[Uniform(0, rules.size() - 1)].keywords;
      if (!k.empty()) {
        const size_t a = Uniform(0, k.size() - 1);
        const size_t len = Uniform(0, k.size() - a);
        Text t = k.substr(a, len);
        if (t.find('|') == Text::npos) return t;
      }
    }
    Text t = Piece(4);
    return t;
  }

  std::mt19937 rng_;
};

}  // namespace quillane::testing

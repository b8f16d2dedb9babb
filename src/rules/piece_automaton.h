// Finds, in one pass over a customer text, the first rule one of whose
// keyword pieces occurs in it: a multi-pattern automaton (Aho-Corasick) over
// the pieces of the "消息中包含" rules.
//
// An occurrence counts only where the text's own double-byte aware scan
// starts a character, as the program's text search has it. The automaton
// therefore reads every byte together with its role, "starts a character" or
// "second byte of a character", each side (piece and text) by its own scan
// from its first byte. A piece that occurs at a character start of the text
// reads with the same roles there (the two scans agree byte for byte; a lead
// byte that ends the piece starts a character in both), while a piece read at
// a second byte differs in the role of its first byte, which always starts a
// character. So the role-marked piece occurs in the role-marked text exactly
// when the piece occurs in the text at a character start.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace quillane {

class PieceAutomaton {
 public:
  // A piece and the rule (its 0-based position) it belongs to.
  using Piece = std::pair<std::string_view, int>;

  PieceAutomaton();
  // Empty pieces are left out: they occur nowhere.
  explicit PieceAutomaton(const std::vector<Piece>& pieces);

  // The smallest rule of a piece that occurs in `text` at a character start,
  // or `none` when no piece does. Texts end at their first zero byte, as the
  // program's texts do.
  int FirstRuleIn(std::string_view text, int none) const;

  bool empty() const { return fail_.size() <= 1; }

 private:
  using State = std::uint32_t;
  // A byte with its role: the byte itself when it starts a character, 256
  // more when it is the second byte of one.
  using Symbol = std::uint16_t;
  static constexpr int kSymbols = 512;
  static constexpr int kNoRule = 0x7FFFFFFF;

  State Step(State state, Symbol symbol) const;
  bool Child(State state, Symbol symbol, State* child) const;

  // The trie of the pieces: the edges of state s are
  // edgeSymbol_/edgeTarget_[edgeStart_[s] .. edgeStart_[s + 1]), sorted by
  // symbol. State 0 is the root; its edges are also kept as a table.
  std::vector<std::uint32_t> edgeStart_;
  std::vector<Symbol> edgeSymbol_;
  std::vector<State> edgeTarget_;
  std::array<State, kSymbols> rootNext_{};
  std::vector<State> fail_;  // the longest proper suffix that is also a trie state
  // The smallest rule among the pieces that end at this state: its own and
  // those along its failure links.
  std::vector<int> firstRule_;
};

}  // namespace quillane

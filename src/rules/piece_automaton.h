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

  bool empty() const { return states_.size() <= 2; }

 private:
  using State = std::uint32_t;
  // A byte with its role: the byte itself when it starts a character, 256
  // more when it is the second byte of one.
  using Symbol = std::uint16_t;
  static constexpr int kSymbols = 512;
  static constexpr int kNoRule = 0x7FFFFFFF;

  State Step(State state, Symbol symbol) const;
  bool Child(State state, Symbol symbol, State* child) const;

  // What a lookup reads of a state, side by side.
  struct StateInfo {
    std::uint32_t edgeBegin;  // its edges: edges_[edgeBegin .. next state's edgeBegin)
    State fail;               // the longest proper suffix that is also a state
    // The smallest rule among the pieces that end at this state: its own and
    // those along its failure links.
    int firstRule;
    // For a state one lead byte deep: 1 + its row in trailNext_; else 0.
    std::uint32_t trailRow;
  };
  struct Edge {
    Symbol symbol;
    State target;
  };

  // The trie of the pieces with one more state at the end that only marks
  // where the edges end. State 0 is the root. Edges are sorted by symbol.
  std::vector<StateInfo> states_;
  std::vector<Edge> edges_;
  // Whole transitions (failure links followed) of the root, and of the
  // states one lead byte deep on a second byte: the steps nearly every
  // character of a text takes, one table read each.
  std::array<State, kSymbols> rootNext_{};
  std::vector<State> trailNext_;
};

}  // namespace quillane

#include "rules/piece_automaton.h"

#include <algorithm>
#include <numeric>
#include <span>

namespace quillane {

namespace {

std::string_view Terminated(std::string_view text) {
  const auto zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

// Appends the symbols of `text` read by the double-byte aware scan: a byte of
// 0x80 or more takes the next byte along as the second byte of its character.
template <typename Out>
void AppendSymbols(std::string_view text, Out* out) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    out->push_back(byte);
    if (byte >= 0x80 && at + 1 < text.size()) {
      ++at;
      out->push_back(static_cast<std::uint16_t>(256 + static_cast<unsigned char>(text[at])));
    }
  }
}

}  // namespace

PieceAutomaton::PieceAutomaton() : edgeStart_(2, 0), fail_(1, 0), firstRule_(1, kNoRule) {}

PieceAutomaton::PieceAutomaton(const std::vector<Piece>& pieces) {
  // Every piece as symbols, one after another.
  std::vector<Symbol> symbols;
  std::vector<std::uint32_t> begin;
  std::vector<int> rule;
  for (const auto& [text, r] : pieces) {
    const std::string_view piece = Terminated(text);
    if (piece.empty()) continue;
    begin.push_back(static_cast<std::uint32_t>(symbols.size()));
    rule.push_back(r);
    AppendSymbols(piece, &symbols);
  }
  begin.push_back(static_cast<std::uint32_t>(symbols.size()));
  const std::size_t count = rule.size();
  auto piece = [&](std::size_t k) {
    return std::span<const Symbol>(symbols.data() + begin[k], begin[k + 1] - begin[k]);
  };

  // The trie, built depth first over the pieces in sorted order: a piece
  // shares the path of its common prefix with the one before it, and every
  // state gets its children in the order of their symbols.
  std::vector<std::uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const auto pa = piece(a), pb = piece(b);
    const auto [ia, ib] = std::mismatch(pa.begin(), pa.end(), pb.begin(), pb.end());
    if (ia == pa.end() || ib == pb.end())
      return ib != pb.end() || (ia == pa.end() && rule[a] < rule[b]);
    return *ia < *ib;
  });
  struct Edge {
    State from, to;
    Symbol symbol;
  };
  std::vector<Edge> edges;
  std::vector<int> ownRule(1, kNoRule);
  std::vector<State> path(1, 0);  // the states along the previous piece
  std::span<const Symbol> previous;
  for (const std::uint32_t k : order) {
    const auto p = piece(k);
    std::size_t common = 0;
    while (common < p.size() && common < previous.size() && p[common] == previous[common])
      ++common;
    path.resize(common + 1);
    for (std::size_t at = common; at < p.size(); ++at) {
      const auto state = static_cast<State>(ownRule.size());
      edges.push_back({path.back(), state, p[at]});
      ownRule.push_back(kNoRule);
      path.push_back(state);
    }
    ownRule[path.back()] = std::min(ownRule[path.back()], rule[k]);
    previous = p;
  }

  // The edges grouped by the state they leave; within a state they stay in
  // the order they were made, which is the order of their symbols.
  const std::size_t states = ownRule.size();
  edgeStart_.assign(states + 1, 0);
  for (const Edge& e : edges) ++edgeStart_[e.from + 1];
  std::partial_sum(edgeStart_.begin(), edgeStart_.end(), edgeStart_.begin());
  edgeSymbol_.resize(edges.size());
  edgeTarget_.resize(edges.size());
  std::vector<std::uint32_t> fill(edgeStart_.begin(), edgeStart_.end() - 1);
  for (const Edge& e : edges) {
    const std::uint32_t at = fill[e.from]++;
    edgeSymbol_[at] = e.symbol;
    edgeTarget_[at] = e.to;
  }
  rootNext_.fill(0);
  for (std::uint32_t at = edgeStart_[0]; at < edgeStart_[1]; ++at)
    rootNext_[edgeSymbol_[at]] = edgeTarget_[at];

  // Failure links breadth first, so that the link of a state (shallower than
  // the state) is complete before the state's children need it.
  fail_.assign(states, 0);
  firstRule_ = ownRule;
  std::vector<State> queue;
  queue.reserve(states);
  queue.push_back(0);
  for (std::size_t next = 0; next < queue.size(); ++next) {
    const State s = queue[next];
    for (std::uint32_t at = edgeStart_[s]; at < edgeStart_[s + 1]; ++at) {
      const State child = edgeTarget_[at];
      fail_[child] = s == 0 ? 0 : Step(fail_[s], edgeSymbol_[at]);
      firstRule_[child] = std::min(ownRule[child], firstRule_[fail_[child]]);
      queue.push_back(child);
    }
  }
}

bool PieceAutomaton::Child(State state, Symbol symbol, State* child) const {
  const Symbol* first = edgeSymbol_.data() + edgeStart_[state];
  const Symbol* last = edgeSymbol_.data() + edgeStart_[state + 1];
  const Symbol* found = last - first <= 8 ? std::find(first, last, symbol)
                                          : std::lower_bound(first, last, symbol);
  if (found == last || *found != symbol) return false;
  *child = edgeTarget_[static_cast<std::size_t>(found - edgeSymbol_.data())];
  return true;
}

PieceAutomaton::State PieceAutomaton::Step(State state, Symbol symbol) const {
  for (;;) {
    if (state == 0) return rootNext_[symbol];
    State child = 0;
    if (Child(state, symbol, &child)) return child;
    state = fail_[state];
  }
}

int PieceAutomaton::FirstRuleIn(std::string_view text, int none) const {
  if (empty()) return none;
  text = Terminated(text);
  int best = kNoRule;
  State state = 0;
  auto read = [&](Symbol symbol) {
    state = Step(state, symbol);
    best = std::min(best, firstRule_[state]);
  };
  for (std::size_t at = 0; at < text.size() && best > 0; ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    read(byte);
    if (byte >= 0x80 && at + 1 < text.size()) {
      ++at;
      read(static_cast<Symbol>(256 + static_cast<unsigned char>(text[at])));
    }
  }
  return best == kNoRule ? none : best;
}

}  // namespace quillane

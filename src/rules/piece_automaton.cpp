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

PieceAutomaton::PieceAutomaton() : states_(2, StateInfo{0, 0, kNoRule, 0}) {}

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
  struct Made {
    State from, to;
    Symbol symbol;
  };
  std::vector<Made> edges;
  std::vector<int> ownRule(1, kNoRule);
  std::vector<State> path(1, 0);  // the states along the previous piece
  std::span<const Symbol> previous;
  for (const std::uint32_t k : order) {
    const auto p = piece(k);
    std::size_t common = 0;
    while (common < p.size() && common < previous.size() && p[common] == previous[common]) ++common;
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
  auto group = [&] {
    states_.assign(states + 1, StateInfo{0, 0, kNoRule, 0});
    for (const Made& e : edges) ++states_[e.from + 1].edgeBegin;
    for (std::size_t s = 1; s <= states; ++s) states_[s].edgeBegin += states_[s - 1].edgeBegin;
    edges_.resize(edges.size());
    std::vector<std::uint32_t> fill(states);
    for (std::size_t s = 0; s < states; ++s) fill[s] = states_[s].edgeBegin;
    for (const Made& e : edges) edges_[fill[e.from]++] = {e.symbol, e.to};
  };
  group();

  // The states numbered again breadth first: the shallow states, which
  // nearly every step of a lookup reads, lie together at the front, and
  // every state comes after its failure link.
  std::vector<State> renumbered(states, 0);
  {
    std::vector<State> queue(1, 0);
    queue.reserve(states);
    for (std::size_t next = 0; next < queue.size(); ++next) {
      renumbered[queue[next]] = static_cast<State>(next);
      for (std::uint32_t at = states_[queue[next]].edgeBegin;
           at < states_[queue[next] + 1].edgeBegin; ++at)
        queue.push_back(edges_[at].target);
    }
  }
  std::vector<int> ruleOf(states);
  for (std::size_t s = 0; s < states; ++s) ruleOf[renumbered[s]] = ownRule[s];
  for (Made& e : edges) e = {renumbered[e.from], renumbered[e.to], e.symbol};
  group();
  rootNext_.fill(0);
  for (std::uint32_t at = states_[0].edgeBegin; at < states_[1].edgeBegin; ++at)
    rootNext_[edges_[at].symbol] = edges_[at].target;

  // Failure links in that order, so that the link of a state (shallower than
  // the state) is complete before the state's children need it.
  states_[0].firstRule = ruleOf[0];
  for (State s = 0; s < states; ++s) {
    for (std::uint32_t at = states_[s].edgeBegin; at < states_[s + 1].edgeBegin; ++at) {
      const State child = edges_[at].target;
      states_[child].fail = s == 0 ? 0 : Step(states_[s].fail, edges_[at].symbol);
      states_[child].firstRule = std::min(ruleOf[child], states_[states_[child].fail].firstRule);
    }
  }

  // The tables of the states one lead byte deep, made with the links above.
  for (int lead = 0x80; lead < 0x100; ++lead) {
    const State s = rootNext_[static_cast<std::size_t>(lead)];
    if (s == 0) continue;
    const std::size_t row = trailNext_.size();
    for (int trail = 0; trail < 256; ++trail)
      trailNext_.push_back(Step(s, static_cast<Symbol>(256 + trail)));
    states_[s].trailRow = static_cast<std::uint32_t>(row / 256 + 1);
  }
}

bool PieceAutomaton::Child(State state, Symbol symbol, State* child) const {
  const Edge* first = edges_.data() + states_[state].edgeBegin;
  const Edge* last = edges_.data() + states_[state + 1].edgeBegin;
  const Edge* found =
      last - first <= 8
          ? std::find_if(first, last, [symbol](const Edge& e) { return e.symbol == symbol; })
          : std::lower_bound(first, last, symbol,
                             [](const Edge& e, Symbol s) { return e.symbol < s; });
  if (found == last || found->symbol != symbol) return false;
  *child = found->target;
  return true;
}

PieceAutomaton::State PieceAutomaton::Step(State state, Symbol symbol) const {
  for (;;) {
    if (state == 0) return rootNext_[symbol];
    const StateInfo& info = states_[state];
    if (info.trailRow != 0 && symbol >= 256)
      return trailNext_[(info.trailRow - 1) * 256 + (symbol - 256u)];
    State child = 0;
    if (Child(state, symbol, &child)) return child;
    state = info.fail;
  }
}

int PieceAutomaton::FirstRuleIn(std::string_view text, int none) const {
  if (empty()) return none;
  text = Terminated(text);
  int best = kNoRule;
  State state = 0;
  auto read = [&](Symbol symbol) {
    state = Step(state, symbol);
    best = std::min(best, states_[state].firstRule);
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

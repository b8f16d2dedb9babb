#include "rules/reply_rules.h"

#include <memory>
#include <mutex>
#include <vector>

#include "rules/rule_matcher.h"
#include "rules/rule_store.h"
#include "services/process.h"
#include "table/engine.h"

namespace quillane {

namespace {

// The rules as read once, with their index; replaced whole, never changed.
struct RuleSet {
  std::uint64_t generation = 0;
  RuleMatcher matcher;
};

// The rule set that answers. Requests take a reference under a short lock of
// memory only; a reload builds the next set beside it and swaps it in.
struct Answering {
  std::mutex mutex;
  std::shared_ptr<const RuleSet> current;
  std::mutex reloading;  // one reload at a time; a request that needs one waits for it
};

Answering& State() {
  static Answering state;
  return state;
}

std::shared_ptr<const RuleSet> Current() {
  std::lock_guard lock(State().mutex);
  return State().current;
}

// Reads the rules of the sorted copy (or, when it could not be made, of the
// rule table in the sorted copy's order) and builds their index; the table
// lock is held only while reading.
std::shared_ptr<const RuleSet> ReadRuleSet() {
  auto set = std::make_shared<RuleSet>();
  std::vector<RuleRow> rows;
  {
    std::lock_guard guard(TableEngineLock());
    set->generation = SortedCopyGeneration();
    if (table::SelectTable(kSortedCopyAlias)) {
      rows = ReadRules(kSortedCopyAlias);
    } else if (table::SelectTable(kRuleTableAlias)) {
      rows = InSortedCopyOrder(ReadRules(kRuleTableAlias));
    }
  }
  std::vector<MatchRule> rules;
  rules.reserve(rows.size());
  for (RuleRow& row : rows) {
    rules.push_back({std::move(row.keywords), std::move(row.matchRule), std::move(row.reply)});
  }
  set->matcher = RuleMatcher(std::move(rules));
  return set;
}

}  // namespace

namespace {
void Reload() {
  std::shared_ptr<const RuleSet> fresh = ReadRuleSet();
  std::lock_guard lock(State().mutex);
  State().current = std::move(fresh);
}

bool IsStale(const std::shared_ptr<const RuleSet>& set) {
  return !set || set->generation != SortedCopyGeneration();
}

void ReloadInBackground(std::int32_t) { LoadReplyRulesIfChanged(); }
}  // namespace

// The table engine keeps the scrambling streams of what it read and wrote,
// as much memory again as the tables; once the rules are loaded they are
// not needed until the next save.
namespace {
void ForgetTableStreams() {
  std::lock_guard guard(TableEngineLock());
  table::ForgetKeystreams();
}
}  // namespace

void LoadReplyRulesIfChanged() {
  std::lock_guard serial(State().reloading);
  if (!IsStale(Current())) return;
  Reload();
  ForgetTableStreams();
}

void ReloadReplyRules() {
  std::lock_guard serial(State().reloading);
  Reload();
}

void StartReloadingReplyRules() {
  if (!StartThread(ReloadInBackground)) LoadReplyRulesIfChanged();
}

bool ReplyRulesLoaded() { return Current() != nullptr; }

RuleStoreResult LoadReplyRulesAtStart(const Text& directory) {
  // The sorted copy is not open yet, so the rules come from the rule table in
  // the sorted copy's order: the same rules in the same order, without
  // waiting for the copy to be written.
  ReloadReplyRules();
  std::lock_guard guard(TableEngineLock());
  // A save that came first has already made the sorted copy of its rules.
  const RuleStoreResult result =
      IsSortedCopyOpen() ? RuleStoreResult::Ok : RebuildSortedCopy(directory, false);
  ForgetTableStreams();
  return result;
}

Text FirstRuleReply(const Text& customer) {
  std::shared_ptr<const RuleSet> set = Current();
  // The rules as last loaded answer, even while newer ones are loading. Only
  // before the first load has ended is there nothing to answer from; the
  // request then waits for that load (or makes it).
  if (!set) {
    LoadReplyRulesIfChanged();
    set = Current();
  }
  const int first = set->matcher.FirstRule(customer);
  return first >= 0 ? set->matcher.Rules()[static_cast<std::size_t>(first)].reply : Text{};
}

}  // namespace quillane

#include "rules/reply_rules.h"

#include <memory>
#include <mutex>
#include <vector>

#include "rules/reply_index.h"
#include "rules/rule_store.h"
#include "table/engine.h"

namespace quillane {

namespace {

// The rules of the sorted copy (or, without it, of the rule table in the
// sorted copy's order) as last read, with their index.
struct ReplyCache {
  bool sorted = true;
  std::uint64_t generation = 0;
  std::int32_t recordCount = 0;
  std::vector<MatchRule> rules;
  ReplyIndex index;
};

// Guarded by TableEngineLock.
std::unique_ptr<ReplyCache>& Cache() {
  static std::unique_ptr<ReplyCache> cache;
  return cache;
}

}  // namespace

Text FirstRuleReply(const Text& customer) {
  Text reply;
  {
    std::lock_guard guard(TableEngineLock());
    auto& cache = Cache();
    // When the sorted copy could not be made, the rule table serves in its order.
    const bool sorted = table::SelectTable(kSortedCopyAlias);
    if (!sorted && !table::SelectTable(kRuleTableAlias)) {
      cache.reset();
    } else {
      const std::int32_t count = table::RecordCount();
      const std::uint64_t generation = SortedCopyGeneration();
      if (!cache || cache->sorted != sorted || cache->generation != generation ||
          cache->recordCount != count) {
        auto fresh = std::make_unique<ReplyCache>();
        fresh->sorted = sorted;
        fresh->generation = generation;
        fresh->recordCount = count;
        for (RuleRow& row :
             sorted ? ReadRules(kSortedCopyAlias) : InSortedCopyOrder(ReadRules(kRuleTableAlias))) {
          fresh->rules.push_back(
              {std::move(row.keywords), std::move(row.matchRule), std::move(row.reply)});
        }
        fresh->index = ReplyIndex(fresh->rules);
        cache = std::move(fresh);
      }
      const int first = cache->index.FirstMatch(customer);
      if (first >= 0) {
        reply = cache->rules[static_cast<size_t>(first)].reply;
        if (sorted) table::GoToRecord(first + 1);  // where the walk would have stopped
      }
    }
  }
  return reply;
}

}  // namespace quillane

#include "app/reply_service.h"

#include <memory>
#include <mutex>

#include "channel/host_channel.h"
#include "rules/reply_index.h"
#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "rules/rule_store.h"
#include "services/text.h"
#include "services/values.h"
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

Text MatchCustomerText(const Text& customer) {
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
  if (TrimSpaces(reply).empty()) reply = Settings().defaultReply;
  return reply;
}

void OnMatchRequest() {
  const std::vector<Text> pieces = SplitText(ToText(LastPayload(kMatchRequestMessage)), "|");
  if (pieces.size() < 2) return;
  // The reply goes to the client that asked, whatever shop number it wrote.
  const Shop shop = Shops().At(
      Shops().NumberOfClient(static_cast<std::uint32_t>(LastSender(kMatchRequestMessage))));
  if (shop.window == 0) return;
  SendHostMessage(shop.window, kMatchRequestMessage, ToBytes(MatchCustomerText(pieces[0])));
}

}  // namespace quillane

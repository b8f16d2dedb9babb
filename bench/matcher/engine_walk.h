// The walk over the sorted copy as the reply matcher was first written: one
// record after another through the table engine, reading the keyword list and
// the match rule for every piece. The straightforward way the reply service
// is measured against.
#pragma once

#include "rules/reply_matching.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/text.h"
#include "table/engine.h"

namespace quillane {

inline Text ReplyByEngineWalk(const Text& customer) {
  table::SelectTable(kSortedCopyAlias);
  const std::int32_t n = table::RecordCount();
  for (std::int32_t i = 1; i <= n; ++i) {
    table::GoToRecord(i);
    const auto keywords = table::ReadField("关键词", kSortedCopyAlias);
    for (const Text& piece : SplitText(std::get<Text>(keywords.value), "|")) {
      const Text rule = std::get<Text>(table::ReadField("匹配规则", kSortedCopyAlias).value);
      if (PieceMatches(MatchKindOf(rule), piece, customer))
        return std::get<Text>(table::ReadField("回复语", kSortedCopyAlias).value);
    }
  }
  return {};
}

}  // namespace quillane

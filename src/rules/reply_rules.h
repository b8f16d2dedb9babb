// The rules that answer customers: those of the sorted copy (or, when it could
// not be made, of the rule table in the sorted copy's order), read once with
// their reply index and swapped in whole. A request reads no file and takes no
// file lock: it asks the index of the rules as last loaded. The rules are
// loaded again after every save and at start-up, off the window thread; until
// a load has swapped in its rules, the rules loaded before answer.
#pragma once

#include "rules/rule_store.h"
#include "services/types.h"

namespace quillane {

// The reply of the first rule that matches the customer text; empty when none
// matches or no rule table is open. It answers from the rules as last loaded;
// a request before any load has ended waits for the first one.
Text FirstRuleReply(const Text& customer);

// Reads the rules and swaps in their index; until it is swapped in, the
// previous one answers.
void ReloadReplyRules();

// Loads the rules unless they are loaded since they last changed; a load
// under way is waited for.
void LoadReplyRulesIfChanged();

// The same on a thread of its own.
void StartReloadingReplyRules();

// Whether any rules have been loaded yet (those of an empty or missing table
// count as loaded).
bool ReplyRulesLoaded();

// Start-up, after the rule table is open: loads the rules at once from the
// rule table in the sorted copy's order, then rebuilds the sorted copy (as
// RebuildSortedCopy(directory, false), unless a save has made it meanwhile).
// Gives the rebuild's result.
RuleStoreResult LoadReplyRulesAtStart(const Text& directory);

}  // namespace quillane

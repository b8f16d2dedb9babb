// The rules that answer customers: those of the sorted copy (or, when it could
// not be made, of the rule table in the sorted copy's order), read once with
// their reply index and swapped in whole. A request reads no file and takes no
// file lock: it asks the index of the rules as last loaded. The rules are
// loaded again after every save and at start-up, off the window thread; a
// request that comes while such a load is under way waits for it.
#pragma once

#include "services/types.h"

namespace quillane {

// The reply of the first rule that matches the customer text; empty when none
// matches or no rule table is open. When the sorted copy has been rebuilt and
// nobody has loaded the rules since, they are loaded first.
Text FirstRuleReply(const Text& customer);

// Reads the rules and swaps in their index; until it is swapped in, the
// previous one answers.
void ReloadReplyRules();

// Loads the rules unless they are loaded since they last changed; a load
// under way is waited for.
void LoadReplyRulesIfChanged();

// The same on a thread of its own.
void StartReloadingReplyRules();

}  // namespace quillane

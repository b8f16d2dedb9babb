// The rules that answer customers: those of the sorted copy (or, when it could
// not be made, of the rule table in the sorted copy's order) as last read,
// with their reply index. They are read again whenever the sorted copy has been
// rebuilt or its record count has changed, so answers are those of walking
// the rules.
#pragma once

#include "services/types.h"

namespace quillane {

// The reply of the first rule that matches the customer text; empty when none
// matches or no rule table is open.
Text FirstRuleReply(const Text& customer);

}  // namespace quillane

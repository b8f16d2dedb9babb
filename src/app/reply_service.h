// Answering a customer text: the handler of the request "匹配回复内容" and the
// matching behind it. Replies come from the rules of the sorted copy through
// a reply index, read again whenever the sorted copy has been rebuilt or its
// record count has changed, so answers are those of walking the rules.
#pragma once

#include "channel/messages.h"
#include "services/types.h"

namespace quillane {

// The reply for the customer text: that of the first rule of the sorted copy
// that matches, or the default reply when none matches or the matching rule's
// reply is blank. When the sorted copy could not be made, the rules of the
// rule table are tried in the same order; with neither table open, the
// default reply.
Text MatchCustomerText(const Text& customer);

// Host message handler: reads "customer text|shop number" and answers the
// client that sent it. A request without a shop number, or from a process
// that is no shop's announced client, is dropped.
void OnMatchRequest();

}  // namespace quillane

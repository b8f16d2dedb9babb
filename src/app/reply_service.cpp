#include "app/reply_service.h"

#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "channel/host_channel.h"
#include "rules/reply_rules.h"
#include "rules/rule_matcher.h"
#include "services/text.h"
#include "services/values.h"

namespace quillane {

Text MatchCustomerText(const Text& customer) {
  Text reply = FirstRuleReply(customer);
  if (SendsDefaultReply(reply)) reply = Settings().defaultReply;
  return reply;
}

void OnMatchRequest() {
  // Only the customer text matters, and whether a shop number follows it.
  const std::vector<Text> pieces = SplitText(ToText(LastPayload(kMatchRequestMessage)), "|", 2);
  if (pieces.size() < 2) return;
  // The reply goes to the client that asked, whatever shop number it wrote.
  const std::uintptr_t window =
      Shops().WindowOfClient(static_cast<std::uint32_t>(LastSender(kMatchRequestMessage)));
  if (window == 0) return;
  SendHostMessage(window, kMatchRequestMessage, ToBytes(MatchCustomerText(pieces[0])));
}

}  // namespace quillane

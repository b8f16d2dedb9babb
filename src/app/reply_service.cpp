#include "app/reply_service.h"

#include "app/shop_list.h"
#include "app/stored_settings.h"
#include "channel/host_channel.h"
#include "rules/reply_rules.h"
#include "services/text.h"
#include "services/values.h"

namespace quillane {

Text MatchCustomerText(const Text& customer) {
  Text reply = FirstRuleReply(customer);
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

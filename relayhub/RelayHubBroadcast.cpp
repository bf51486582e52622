// Broadcast: messages with a wildcard target, offered to every matching box.
#include "relayhub/RelayHub.h"

namespace Vemora {

void RelayHub::broadcast(const Message& /*msg*/) {}

void RelayHub::placeBroadcast(MessageBox& /*box*/) {}

void RelayHub::reBroadcast(const Address& /*address*/) {}

void RelayHub::checkBroadcastTimeouts() {}

}  // namespace Vemora

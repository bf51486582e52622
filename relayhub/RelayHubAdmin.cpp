// Administrative commands: CENTRAL messages addressed to the daemon.
#include "relayhub/RelayHub.h"

namespace Vemora {

void RelayHub::handleAdminMessage(const Message& /*request*/) {}

}  // namespace Vemora

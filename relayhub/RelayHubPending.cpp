// Calls from placing and the agent protocol into parts of the daemon that
// are not built yet: the administrative commands, broadcast, target-name
// mapping and the connections log. Until they are, a CENTRAL message, a
// wildcard target and a mapped name end here, and nothing is logged to the
// connections log.
#include "relayhub/RelayHub.h"

namespace Vemora {

void RelayHub::handleAdminMessage(const Message& /*request*/) {}

bool RelayHub::runTargetMappings(const Message& /*msg*/) { return false; }

void RelayHub::broadcast(const Message& /*msg*/) {}

void RelayHub::placeBroadcast(MessageBox& /*box*/) {}

void RelayHub::reBroadcast(const Address& /*address*/) {}

std::string RelayHub::localToStandardName(const std::string& /*name*/) { return ""; }

bool RelayHub::connectionsLogOpen() const { return false; }

void RelayHub::connectionsLogLine(const Address& /*address*/, const std::string& /*keyword*/,
                                  const std::string& /*text*/) {}

void RelayHub::connectionsLogMessage(const Address& /*address*/, const std::string& /*keyword*/,
                                     const Message& /*msg*/, bool /*withLine*/) {}

}  // namespace Vemora

// The connections log: one line per agent connection event.
#include "relayhub/RelayHub.h"

namespace Vemora {

bool RelayHub::connectionsLogOpen() const { return false; }

void RelayHub::connectionsLogLine(const Address& /*address*/, const std::string& /*keyword*/,
                                  const std::string& /*text*/) {}

void RelayHub::connectionsLogMessage(const Address& /*address*/, const std::string& /*keyword*/,
                                     const Message& /*msg*/, bool /*withLine*/) {}

}  // namespace Vemora

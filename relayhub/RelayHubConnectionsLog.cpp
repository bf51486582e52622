// The connections log: the hub's calls into its journal of agent traffic.
#include "relayhub/RelayHub.h"

namespace Vemora {

bool RelayHub::connectionsLogOpen() const {
  return connectionsLog_.isOpen();
}

void RelayHub::connectionsLogLine(const Address& address, const std::string& keyword,
                                  const std::string& text) {
  connectionsLog_.logLine(address, keyword, text);
}

void RelayHub::connectionsLogMessage(const Address& address, const std::string& keyword,
                                     const Message& msg, bool withLine) {
  connectionsLog_.logMessage(address, keyword, msg, withLine);
}

}  // namespace Vemora

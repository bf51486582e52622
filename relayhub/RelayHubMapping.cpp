// Target-name mapping: the user mappings file and the learned names.
#include "relayhub/RelayHub.h"

namespace Vemora {

bool RelayHub::runTargetMappings(const Message& /*msg*/) { return false; }

std::string RelayHub::localToStandardName(const std::string& /*name*/) { return ""; }

bool RelayHub::updateTargetAddrNamesMapFile() { return true; }

}  // namespace Vemora

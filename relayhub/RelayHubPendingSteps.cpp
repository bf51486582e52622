// Steps of the main loop and the handler's idle pass whose parts are not
// built yet: the user name-mapping file, the broadcast time-out sweep and
// the idle-box sweep with agent call-backs. Each is a named no-op until its
// part lands, so the loops already run them at the right moments.
#include "relayhub/RelayHub.h"

namespace Vemora {

bool RelayHub::updateTargetAddrNamesMapFile() {
  return true;
}

void RelayHub::checkBroadcastTimeouts() {}

bool RelayHub::sweepBoxes() {
  return false;
}

}  // namespace Vemora

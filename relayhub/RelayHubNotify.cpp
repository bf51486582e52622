// The handler's idle sweep: inactive boxes and agent call-backs.
#include "relayhub/RelayHub.h"

namespace Vemora {

bool RelayHub::sweepBoxes() { return false; }

}  // namespace Vemora

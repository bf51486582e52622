#include "relayhub/DaemonFlags.h"

namespace Vemora {

std::atomic<bool>& DaemonFlags::stop() {
  static std::atomic<bool> flag{false};
  return flag;
}

std::atomic<bool>& DaemonFlags::restart() {
  static std::atomic<bool> flag{false};
  return flag;
}

}  // namespace Vemora

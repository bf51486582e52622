#include "corelib/SystemBasePlaceholder.h"

namespace VemoraCorelib {

SystemBasePlaceholder::SystemBasePlaceholder() : ImsAgent("system-base") {}

SystemBasePlaceholder::~SystemBasePlaceholder() = default;

int SystemBasePlaceholder::handleMessage(ImsMessage&) {
  return 1;
}

int SystemBasePlaceholder::handleHookMessage(uint64_t, ImsMessage&) {
  return 1;
}

}  // namespace VemoraCorelib

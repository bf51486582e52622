#include "corelib/ConfAgent.h"

namespace VemoraCorelib {

ConfAgent::ConfAgent() : ImsAgent("conf-agent") {}

ConfAgent::~ConfAgent() = default;

}  // namespace VemoraCorelib

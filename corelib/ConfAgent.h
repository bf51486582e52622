// The application frame's configuration agent: an agent named "conf-agent"
// with the default behaviour of every agent (it handles no message).
#pragma once

#include "corelib/ImsAgent.h"

namespace VemoraCorelib {

class ConfAgent : public ImsAgent {
 public:
  ConfAgent();
  ~ConfAgent() override;
};

}  // namespace VemoraCorelib

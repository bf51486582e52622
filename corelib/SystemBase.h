// The agent "system-base": answers the messages of general type "system"
// and group "query" (system facts by name, typed configuration reads) or
// "set" (typed configuration writes). Configuration values live in the
// system registry under the suite's key or, once the file registry is
// switched on, in the file registry. The payload is a SystemRequest; every
// failure becomes its status. Requests are answered on the sender's thread.
#pragma once

#include <cstdint>
#include <string>

#include "corelib/Exception.h"
#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"

namespace VemoraCorelib {

class SystemRequest;

class SystemBase : public ImsAgent {
 public:
  // Wraps the exception of a hook that could not be set; no own message.
  class SystemBase_FailedToSetIMSHook : public Exception {
   public:
    SystemBase_FailedToSetIMSHook(const std::string& context, const Exception& nested);
  };

  SystemBase();
  ~SystemBase() override;

  int handleMessage(ImsMessage& message) override;
  int handleHookMessage(uint64_t hookId, ImsMessage& message) override;

  // "CoreServer" when Configuration\server.conf exists beside the program's
  // folder, else "Client".
  static std::string role();
  // The same for a program at `programPath` (Windows form).
  static std::string roleOf(const std::string& programPath);

 private:
  int handleQuery(SystemRequest& request);
  int handleSet(SystemRequest& request);

  uint64_t queryHook_ = 0;
  uint64_t setHook_ = 0;
};

}  // namespace VemoraCorelib

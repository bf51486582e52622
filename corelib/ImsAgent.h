// A named participant of the in-process message service. It sets hooks on
// globs of the three message types and receives messages through them
// (handleHookMessage) or directly (handleMessage). Handlers answer
// kNotHandled (1), kHandled (2) or kHandledStop (3). An agent removes its
// own hooks before it goes; the destructor does not.
#pragma once

#include <cstdint>
#include <string>

#include "corelib/Exception.h"
#include "corelib/ImsMessage.h"

namespace VemoraCorelib {

class Ims;

class ImsAgent {
 public:
  static constexpr int kNotHandled = 1;
  static constexpr int kHandled = 2;
  static constexpr int kHandledStop = 3;

  // Thrown by setMessageHook; wraps the service's Ims::Hook_Duplicate.
  class Hook_Duplicate : public Exception {
   public:
    Hook_Duplicate(const std::string& context, const Exception& nested);
  };

  // Agents named "logger" never trace. When the service cannot be created
  // the agent has none: it then sets no hook (id 0), removes none and sends
  // nothing through hooks (false); direct sends still work.
  explicit ImsAgent(const std::string& name);
  virtual ~ImsAgent();
  ImsAgent(const ImsAgent&) = delete;
  ImsAgent& operator=(const ImsAgent&) = delete;

  // A message sent to this agent directly; the default answers 1.
  virtual int handleMessage(ImsMessage& message);
  // A message delivered through one of this agent's hooks; default 1.
  virtual int handleHookMessage(uint64_t hookId, ImsMessage& message);

  // Ims::setHook with this agent and no sender filter; tier 0 or 1, any
  // other value is tier 2. Throws Hook_Duplicate.
  uint64_t setMessageHook(bool hookOnlyOnce, const std::string& generalGlob,
                          const std::string& groupGlob, const std::string& messageGlob, int tier);
  bool removeMessageHook(uint64_t id);
  // Through the hooks; true when some agent handled it.
  bool sendMessage(ImsMessage& message);
  // To `target` only (no hooks, no lock); true when it did not answer 1.
  bool sendMessage(ImsAgent* target, ImsMessage& message);

  const std::string& name() const { return name_; }
  bool isLogger() const { return isLogger_; }
  Ims* service() const { return service_; }

 private:
  Ims* service_ = nullptr;
  std::string name_;
  bool isLogger_ = false;
};

}  // namespace VemoraCorelib

#include "corelib/ImsAgent.h"

#include <mutex>

#include "corelib/Ims.h"
#include "corelib/Logger.h"

namespace VemoraCorelib {

namespace {

Logger& moduleLogger() {
  // Never destroyed: agents may remove hooks and trace during static
  // destruction.
  static Logger* logger = new Logger();
  return *logger;
}

// Built before main, so that it hears the level messages.
[[maybe_unused]] Logger& builtEarly = moduleLogger();

std::once_flag sourceNamed;

const char* yesNo(bool value) {
  return value ? "yes" : "no";
}

}  // namespace

ImsAgent::Hook_Duplicate::Hook_Duplicate(const std::string& context, const Exception& nested)
    : Exception(context, nested) {
  setName("Hook_Duplicate");
}

ImsAgent::ImsAgent(const std::string& name) : name_(name), isLogger_(name == "logger") {
  try {
    service_ = Ims::instance();
  } catch (const Exception&) {
    service_ = nullptr;
  }
  if (!isLogger_) std::call_once(sourceNamed, [] { moduleLogger().setSource("imsagent"); });
}

ImsAgent::~ImsAgent() = default;

int ImsAgent::handleMessage(ImsMessage&) {
  return kNotHandled;
}

int ImsAgent::handleHookMessage(uint64_t, ImsMessage&) {
  return kNotHandled;
}

uint64_t ImsAgent::setMessageHook(bool hookOnlyOnce, const std::string& generalGlob,
                                  const std::string& groupGlob, const std::string& messageGlob,
                                  int tier) {
  if (!isLogger_ && generalGlob != "debug") {
    ParamStream arguments;
    arguments << yesNo(hookOnlyOnce) << generalGlob << groupGlob << messageGlob;
    moduleLogger().verbose(
        "ImsAgent::setMessageHook: Setting hook:\n\tHook only once   : %\n"
        "\tGeneral type glob: %\n\tGroup type glob  : %\n\tMessage type glob: %",
        arguments);
  }
  if (service_ == nullptr) return 0;
  try {
    return service_->setHook(this, hookOnlyOnce, generalGlob, groupGlob, messageGlob, nullptr,
                             tier);
  } catch (const Exception& caught) {
    throw Hook_Duplicate(VEMORA_CORELIB_SOURCE_CONTEXT(), caught);
  }
}

bool ImsAgent::removeMessageHook(uint64_t id) {
  if (service_ == nullptr) return false;
  Ims::Hook hook;
  if (!isLogger_ && service_->findHook(id, hook) && hook.generalGlob != "debug") {
    ParamStream arguments;
    arguments << id;
    moduleLogger().verbose("ImsAgent::removeMessageHook: Removing hook %", arguments);
  }
  return service_->removeHook(id);
}

bool ImsAgent::sendMessage(ImsMessage& message) {
  message.sender = this;
  if (!isLogger_ && message.generalType != "debug") {
    ParamStream arguments;
    arguments << message.dump();
    moduleLogger().trace("ImsAgent::sendMessage:\n%", arguments);
  }
  if (service_ == nullptr) return false;
  return service_->deliver(message);
}

bool ImsAgent::sendMessage(ImsAgent* target, ImsMessage& message) {
  message.sender = this;
  if (target == nullptr) return false;
  if (!isLogger_ && message.generalType != "debug") {
    ParamStream arguments;
    arguments << target->name() << message.dump();
    moduleLogger().trace("ImsAgent::sendMessage: To \"%\":\n%", arguments);
  }
  return target->handleMessage(message) != kNotHandled;
}

}  // namespace VemoraCorelib

// One in-process message: three type strings, an optional payload and the
// sending agent. Not copyable, since it may own its payload.
#pragma once

#include <string>

#include "corelib/ImsMessageParameter.h"

namespace VemoraCorelib {

class ImsAgent;

struct ImsMessage {
  // Copies the three strings; the payload is not owned; no sender.
  ImsMessage(const std::string& general, const std::string& group, const std::string& message,
             ImsMessageParameter* parameter = nullptr);
  // Deletes the payload when ownsParameter is set.
  ~ImsMessage();
  ImsMessage(const ImsMessage&) = delete;
  ImsMessage& operator=(const ImsMessage&) = delete;

  // "\tGeneral type: <g>\n\tGroup type  : <g>\n\tMessage type: <m>"
  std::string dump() const;

  std::string generalType;
  std::string groupType;
  std::string messageType;
  ImsMessageParameter* parameter = nullptr;
  bool ownsParameter = false;
  ImsAgent* sender = nullptr;
};

}  // namespace VemoraCorelib

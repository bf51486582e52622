#include "corelib/ImsMessage.h"

namespace VemoraCorelib {

ImsMessage::ImsMessage(const std::string& general, const std::string& group,
                       const std::string& message, ImsMessageParameter* parameter)
    : generalType(general), groupType(group), messageType(message), parameter(parameter) {}

ImsMessage::~ImsMessage() {
  if (ownsParameter) delete parameter;
}

std::string ImsMessage::dump() const {
  return "\tGeneral type: " + generalType + "\n\tGroup type  : " + groupType +
         "\n\tMessage type: " + messageType;
}

}  // namespace VemoraCorelib

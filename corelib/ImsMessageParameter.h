// Polymorphic base of the payloads that in-process messages carry.
#pragma once

namespace VemoraCorelib {

class ImsMessageParameter {
 public:
  virtual ~ImsMessageParameter() = default;
};

}  // namespace VemoraCorelib

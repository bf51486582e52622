// Stamps records with the program's module id, turns them into wire text
// and hands them to the messenger. Holds no state that logging changes, so
// any number of threads may dispatch through it at once.
#pragma once

#include "common/SmartPointer.h"
#include "logger/LogMessenger.h"
#include "logger/LogRecord.h"

namespace Vemora {

class LoggerCentre {
 public:
  LoggerCentre(int applicationModule, SmartPointer<LogMessenger> messenger);
  LoggerCentre(const LoggerCentre&) = delete;
  LoggerCentre& operator=(const LoggerCentre&) = delete;
  virtual ~LoggerCentre();

  // Sets the record's application module and returns the messenger's
  // send() of its wire text; false without a messenger.
  bool dispatch(LogRecord& record);

  int applicationModule() const { return applicationModule_; }

 private:
  int applicationModule_;
  SmartPointer<LogMessenger> messenger_;
};

}  // namespace Vemora

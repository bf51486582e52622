#include "logger/LoggerCentre.h"

#include <string>

#include "logger/LogCommons.h"
#include "logger/LogMessenger.h"

namespace Vemora {

LoggerCentre::LoggerCentre(int applicationModule, SmartPointer<LogMessenger> messenger)
    : applicationModule_(applicationModule), messenger_(messenger) {}

LoggerCentre::~LoggerCentre() = default;

bool LoggerCentre::dispatch(LogRecord& record) {
  if (messenger_.isNull()) return false;
  record.applicationModule = applicationModule_;
  std::string wire;
  LogCommons::serializeRecord(record, wire);
  return messenger_->send(wire);
}

}  // namespace Vemora

#include "logger/LoggerInterface.h"

#include "platform/Numbers.h"

namespace Vemora {

namespace {

bool digitsOnly(const std::string& text) {
  return text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

LoggerInterface::LoggerInterface(SmartPointer<LoggerCentre> centre, int moduleId)
    : LoggerUnit(centre, moduleId) {}

LoggerInterface::~LoggerInterface() = default;

bool LoggerInterface::log(int level, const std::string& text, ParamStream params) {
  // Severities and trace prefixes of the interface levels 1..5.
  static const int kSeverity[] = {3, 4, 2, 1, 0};
  static const char* const kPrefix[] = {"CRITICAL: ", "FATAL: ", "ERROR: ", "WARNING: ", "INFO: "};
  static const int kDebugLevel[] = {1, 2, 4, 5};
  if (level >= 1 && level <= 5) {
    if (digitsOnly(text)) {
      return message(kSeverity[level - 1], platform::atol32(text.c_str()), params.text());
    }
    return debug(1, kPrefix[level - 1] + text, params);
  }
  if (level >= 6 && level <= 9) return debug(kDebugLevel[level - 6], text, params);
  return false;
}

int LoggerInterface::level() {
  static const int kByThreshold[] = {5, 4, 3, 1, 2, 0};
  static const int kByDebugLevel[] = {0, 6, 7, 7, 8, 9};
  const int debugLevel = LoggerUnit::debugLevel();
  if (debugLevel == 0) {
    const int threshold = severityThreshold();
    return threshold >= 0 && threshold <= 5 ? kByThreshold[threshold] : 0;
  }
  return debugLevel >= 1 && debugLevel <= 5 ? kByDebugLevel[debugLevel] : 0;
}

}  // namespace Vemora

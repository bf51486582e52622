// RLoggerInterface over a LoggerUnit. A text of digits only at levels 1..5
// is a catalogue message number (logged without threshold test); any other
// text becomes a trace line with a "CRITICAL: ", "FATAL: ", "ERROR: ",
// "WARNING: " or "INFO: " prefix. Thread-safety as LoggerUnit.
#pragma once

#include <string>

#include "logger/LoggerUnit.h"
#include "logger/RLoggerInterface.h"

namespace Vemora {

class LoggerInterface : public RLoggerInterface, public LoggerUnit {
 public:
  LoggerInterface(SmartPointer<LoggerCentre> centre, int moduleId);
  ~LoggerInterface() override;

  // False for a level outside 1..9, else the unit's result.
  bool log(int level, const std::string& text, ParamStream params) override;
  // From the process-wide settings: with debug level 0 the threshold
  // decides (0->5, 1->4, 2->3, 3->1, 4->2, 5->0); debug level 1 gives 6,
  // 2 and 3 give 7, 4 gives 8, 5 gives 9.
  int level() override;
};

}  // namespace Vemora

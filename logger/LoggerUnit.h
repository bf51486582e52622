// The logging handle of one module. Makes debug records (filtered by the
// process-wide debug level) and catalogue records (filtered by the
// process-wide severity threshold) and hands them to its LoggerCentre.
//
// Thread-safety: any number of threads may log through one unit at once.
// The process-wide settings are atomics; they are normally set during
// configuration. The unit holds its centre through a SmartPointer, so the
// centre lives as long as the unit; create and destroy units on one thread
// (the SmartPointer count is not atomic).
#pragma once

#include <string>

#include "common/SmartPointer.h"
#include "logger/LoggerCentre.h"
#include "logger/ParamStream.h"

namespace Vemora {

class LoggerUnit {
 public:
  // Traces "LoggerUnit: Created logger for the %s module." at level 1.
  LoggerUnit(SmartPointer<LoggerCentre> centre, int moduleId);
  LoggerUnit(const LoggerUnit&) = delete;
  LoggerUnit& operator=(const LoggerUnit&) = delete;
  // Traces "LoggerUnit: Destroyed logger for the %s module." at level 1.
  virtual ~LoggerUnit();

  // A trace line of debug level 1 (most important) to 5. A level above the
  // process-wide debug level returns true at once without formatting. The
  // forms with parameters fill the format's placeholders first. False
  // without a centre, else the dispatch result.
  bool debug(int level, const char* text);
  bool debug(int level, const std::string& text);
  bool debug(int level, const char* format, const ParamStream& params);
  bool debug(int level, const std::string& format, const ParamStream& params);

  // A catalogue record of the given severity (0..4), without threshold
  // test. False without a centre or when the dispatch throws.
  bool message(int severity, int messageId, const std::string& encodedParams);

  // Fixed-severity entry points: true without doing anything when the
  // threshold stops them, else the result of message().
  bool notice(int messageId);
  bool warning(int messageId, const ParamStream& params);
  bool error(int messageId);
  bool error(int messageId, const ParamStream& params);
  bool fatal(int messageId);
  bool fatal(int messageId, const ParamStream& params);

  int moduleId() const { return moduleId_; }

  // Process-wide settings. Debug level 0..5 (5 at start; values above 5,
  // taken unsigned, are ignored). Severity threshold 0..5 (0 at start; a
  // message of severity s passes when s >= threshold; values above 5 are
  // ignored). Time mode 0 default, 1 local (at start), 2 zulu.
  static void setDebugLevel(int level);
  static int debugLevel();
  static void setSeverityThreshold(int threshold);
  static int severityThreshold();
  static void setTimeMode(int mode);
  static int timeMode();

 private:
  bool dispatchDebug(int level, const std::string& text);

  int moduleId_;
  SmartPointer<LoggerCentre> centre_;
};

}  // namespace Vemora

// The logging objects of one program: centre, messenger, unit and the
// configuration reader whose logging keys configure() applies.
//
// Use: fill messageFileModuleId, moduleId and debugLogName (and
// logDirectory, or leave it empty to read the resource "StartupLogDir"),
// call startup(); then set `configuration` and call configure(). Both run
// on one thread before other threads log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/SmartPointer.h"
#include "logger/LogMessenger.h"
#include "logger/LoggerCentre.h"
#include "logger/LoggerUnit.h"

namespace Vemora {

class ConfReader;

class LoggingSetup {
 public:
  LoggingSetup();
  LoggingSetup(const LoggingSetup&) = delete;
  LoggingSetup& operator=(const LoggingSetup&) = delete;
  ~LoggingSetup();

  // Builds messenger, centre and unit and points the messenger at
  // logDirectory + debugLogName. On a set that already has a unit it only
  // runs configure() and returns its result. False when an object cannot
  // be made (exceptions included).
  bool startup();
  // Applies the logging keys of `configuration`: "Vemora.directories.log",
  // "log.time", the rotation keys (plain agent only), "log.global.severity"
  // and "log.global.debug-level". False without a reader. A value that
  // cannot be used (a "log.rotation.time" that is no time span or does not
  // fit 32 bits of seconds) keeps the default and is reported as a trace of
  // level 1.
  bool configure();

  std::string logDirectory;     // folder of the debug log, with trailing '\'
  std::string debugLogName;     // file name of the debug log
  int messageFileModuleId = 0;  // the program's application module id
  int moduleId = 0;             // the unit's module id
  SmartPointer<LoggerCentre> centre;
  SmartPointer<LogMessenger> messenger;
  SmartPointer<LoggerUnit> unit;
  SmartPointer<ConfReader> configuration;

 private:
  void configureDirectory();
  void configureRotation();
  // "log.rotation.time" in seconds; 0 when absent or bad (noted as bad).
  int32_t configuredRotationSeconds();
  // A trace of level 1 for each bad setting noted by this configuration.
  void reportBadSettings();

  std::vector<std::string> badSettings_;
};

}  // namespace Vemora

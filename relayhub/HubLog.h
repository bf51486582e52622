// The relay daemon's process-wide logging handles, through which every part
// of the daemon logs:
//   - the unit of the daemon's logging set (module "relayhub"), for trace
//     lines and catalogue messages of the daemon itself;
//   - the shell whose interface is the "messaging" module's LoggerInterface,
//     for the connection and protocol layers.
// Both are empty until configuration sets them up, and logging through an
// empty handle does nothing. Thread-safety: any thread may log at any time;
// the unit pointer is atomic and the objects behind both handles are kept
// alive by the RelayHub until its worker threads have ended.
#pragma once

#include <string>

#include "logger/LoggerShell.h"
#include "logger/ParamStream.h"

namespace Vemora {

class LoggerUnit;

class HubLog {
 public:
  // The shell of the "messaging" module (the connection layer's catalogue
  // errors 1 to 10 and its trace lines).
  static LoggerShell& shell();

  // The daemon's own unit; null until configured. Not owned.
  static LoggerUnit* unit();
  static void setUnit(LoggerUnit* unit);

  // Through the unit; each does nothing without one. `level` is the debug
  // level 1 (most important) to 5.
  static void debug(int level, const std::string& text);
  static void debug(int level, const std::string& format, const ParamStream& params);
  static void notice(int id);
  static void notice(int id, const ParamStream& params);
  static void warning(int id, const ParamStream& params);
  static void error(int id);
  static void error(int id, const ParamStream& params);
  static void fatal(int id);
  static void fatal(int id, const ParamStream& params);
  // The process-wide debug level (LoggerUnit::debugLevel).
  static int debugLevel();

  // Catalogue errors of the "messaging" module through the shell.
  static void messagingError(int id);
  static void messagingError(int id, const ParamStream& params);

  // ---- standard error, for the operator who starts the daemon ----
  // Writes "relayhub: ", the text and a line end to standard error at once.
  static void console(const std::string& text);
  // While the echo is on (main turns it on; it goes off once the daemon
  // serves), every catalogue message of severity WARNING or above that goes
  // through the handles above is also written to standard error: severity,
  // number, module and the text from the installed catalogue, or before one
  // is loaded a built-in text or the parameters. The log gets the message
  // as always.
  static void setConsoleEcho(bool on);
  static bool consoleEcho();
  // The standard-error text of a catalogue message (without "relayhub: "),
  // as the echo writes it.
  static std::string consoleText(int severity, int module, int id, const std::string& encoded);

  HubLog() = delete;
};

}  // namespace Vemora

// The end of the logging chain inside the process: parses each wire text,
// fills a catalogue record with its text, formats the line and gives it to
// its file agent. The process-wide threaded-logging switch picks the agent:
// LoggerAgentFileThread when on, LoggerAgentFile when off.
//
// Thread-safety: send() and writeLine() may run on any number of threads at
// once. setFile() runs on one thread (configuration); lines logged while
// it switches files are queued (threaded) or wait on the agent's lock.
#pragma once

#include <string>

#include "common/SmartPointer.h"
#include "logger/LoggerAgent.h"

namespace Vemora {

class LogCommons;

class LogMessenger {
 public:
  // Makes the agent; with logging not threaded the plain agent is pointed at
  // "Vemora_Debug.log" (created only when something is written to it).
  LogMessenger();
  LogMessenger(const LogMessenger&) = delete;
  LogMessenger& operator=(const LogMessenger&) = delete;
  virtual ~LogMessenger();

  // Parses, fills and writes one record; false for an unparsable text, a
  // line the agent refused, or no agent.
  virtual bool send(const std::string& wire);

  // Points the agent at another file. Threaded: stops the writer (which
  // writes what is queued), closes the file and starts again on the path.
  bool setFile(const std::string& path);
  // False without an agent, else the agent's ok().
  bool isOk() const;
  // Writes one finished line through the agent; false without an agent.
  bool writeLine(const std::string& line);
  SmartPointer<LoggerAgent> agent() const { return agent_; }

  // The process-wide catalogue whose texts catalogue records get (not
  // owned; its owner keeps it alive while anything logs). Null at start.
  static void setCatalogue(LogCommons* catalogue);
  static LogCommons* catalogue();
  // The process-wide threaded-logging switch; off at start. Set it before
  // the first messenger is made.
  static void setThreadedLogging(bool on);
  static bool threadedLogging();

 protected:
  SmartPointer<LoggerAgent> agent_;
};

}  // namespace Vemora

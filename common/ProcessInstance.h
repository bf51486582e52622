// One child process: builds its command line, starts it, reports its state
// and exit code, suspends it and stops it, politely (a quit request, then a
// bounded wait) or by force. Destroying the object closes its handles and
// never ends the process. runCommand starts a program and forgets it.
//
// State codes (status, exitCode, stop): 14 not started or no process, 17
// running, 11 ended on its own, 25 ended with its exit code returned, 12
// ended by force, 13 ended after the quit request, 1000 + the system error
// when the exit-code query failed.
//
// One object is used by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/JobInstance.h"

namespace platform {
class JobObject;
class Process;
}  // namespace platform

namespace Vemora {

class ProcessInstance : public JobInstance {
 public:
  enum State : int32_t {
    kEnded = 11,
    kTerminated = 12,
    kQuit = 13,
    kNotStarted = 14,
    kRunning = 17,
    kExitCode = 25,
    kQueryFailed = 1000,
  };

  // The command line is the command (in double quotes when it holds a blank
  // and does not begin with one), then a blank and the arguments unless they
  // are empty. A hidden process shows no window.
  ProcessInstance(const char* command, const char* arguments, bool hidden, bool inheritHandles);
  ~ProcessInstance() override;

  // Starts the process (state 17); JobException 2 when it cannot start.
  void execute() override;
  // Suspends the main thread: its new suspend count, 0 when the process has
  // ended. JobException 1 before execute, 5 when the system refuses.
  uint32_t suspend() override;
  uint32_t reserved() override;
  // stop(false, all bits set, 1000 ms).
  bool terminate() override;
  // 12 or 13 after a stop; else 14, 17 or 11. JobException 5 when the query
  // fails otherwise.
  int32_t status() override;
  // 17 while running; 25 with the exit code in `code`; 14 when there is no
  // process; 1000 + the error when the query fails.
  int32_t exitCode(uint32_t& code) override;

  // Not running: false. Without force, asks the process to quit and waits up
  // to `timeoutMs` (whole 100 ms rounds): state 13 when it ended. Otherwise
  // (force, the request failed, still running) ends it with `code`: state
  // 12; false when it ended by itself meanwhile. JobException 3 when it
  // cannot be ended.
  bool stop(bool force, uint32_t code, uint32_t timeoutMs);

  // Starts `command` with `arguments`, hidden, without inherited handles,
  // and forgets it: true when it started.
  static bool runCommand(const std::string& command, const std::string& arguments);

  const std::string& commandLine() const { return commandLine_; }
  bool hidden() const { return hidden_; }

 private:
  int32_t state_ = kNotStarted;
  std::string commandLine_;
  bool hidden_ = false;
  std::unique_ptr<platform::Process> process_;
  bool inheritHandles_ = false;
  std::unique_ptr<platform::JobObject> job_;
};

}  // namespace Vemora

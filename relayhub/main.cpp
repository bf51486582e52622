// relayhub: the message-relay daemon. Runs in the foreground until it gets
// SIGINT, SIGTERM, SIGHUP or SIGABRT (or a quit posted to its main thread).
// Exit codes: 0 usage text, 10 normal end, 1 restart wanted, 2 configuration
// failed, 20 worker threads did not start, 21 the single-instance lock
// could not be taken (another instance runs, or the lock folder is
// unusable) or another daemon holds the state folder. Every failure of the
// start is also told on standard error.
#include <cstdlib>
#include <memory>
#include <string>

#include "common/Monopoly.h"
#include "logger/LogMessenger.h"
#include "platform/LastError.h"
#include "platform/LockFolder.h"
#include "platform/Signals.h"
#include "platform/Thread.h"
#include "relayhub/DaemonFlags.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace {

constexpr const char* kInstanceName = "VemoraRelayHub";

int exitCode(bool ran) {
  using Vemora::DaemonFlags;
  using Vemora::RelayHub;
  const bool restart = DaemonFlags::restart().load();
  if (DaemonFlags::stop().load()) return restart ? RelayHub::kExitRestart : RelayHub::kExitStopped;
  if (!ran) return RelayHub::kExitThreads;
  return restart ? RelayHub::kExitRestart : RelayHub::kExitRunning;
}

// The last line on standard error of an end that was not asked for.
void tellExit(int code) {
  using Vemora::RelayHub;
  const char* meaning = nullptr;
  switch (code) {
    case RelayHub::kExitRestart:
      meaning = "the daemon should be started again";
      break;
    case RelayHub::kExitConfig:
      meaning = "the configuration failed";
      break;
    case RelayHub::kExitThreads:
      meaning = "the worker threads did not start";
      break;
    case RelayHub::kExitOtherInstance:
      meaning = "the single-instance lock could not be taken";
      break;
    default:
      return;
  }
  Vemora::HubLog::console("exit code " + std::to_string(code) + ": " + meaning);
}

// Why the single-instance guard was refused: another holder, or a lock
// folder that cannot be used.
void tellGuardRefused() {
  const uint32_t error = platform::lastError();
  const std::string folder = platform::lockFolder();
  std::string problem;
  if (error == platform::kErrorAlreadyExists) {
    problem = "another instance is running (it holds the lock \"" + std::string(kInstanceName) +
              "\" in " + folder + ")";
  } else if (platform::prepareLockFolder(&problem)) {
    problem = "the lock \"" + std::string(kInstanceName) + "\" in " + folder +
              " cannot be taken: " + platform::errorText(error);
  }
  Vemora::HubLog::console(problem);
}

}  // namespace

int main(int argc, char** argv) {
  using Vemora::HubLog;
  using Vemora::RelayHub;
  Vemora::LogMessenger::setThreadedLogging(true);
  platform::ignoreBrokenPipe();
  std::atomic<bool>& stop = Vemora::DaemonFlags::stop();
  platform::installStopSignals(&stop);
  // A closed terminal or ended session stops the daemon as SIGTERM does.
  platform::installHangUpStop();
  platform::ensureThreadQueue();
  // Until the daemon serves, its failures also go to standard error.
  HubLog::setConsoleEcho(true);

  Vemora::Monopoly guard(kInstanceName);
  if (!guard.enforce()) {
    tellGuardRefused();
    tellExit(RelayHub::kExitOtherInstance);
    return RelayHub::kExitOtherInstance;
  }

  auto hub = std::make_unique<RelayHub>(&stop, argc, argv);
  if (!hub->configure()) {
    // A second daemon on the same state folder ends as a second instance.
    const int code = hub->stateFolderBusy() ? RelayHub::kExitOtherInstance : RelayHub::kExitConfig;
    hub.reset();
    guard.relax();
    tellExit(code);
    return code;
  }
  const bool ran = hub->run();
  const int code = exitCode(ran);
  // The members go only once both worker threads have ended. A thread that
  // does not end in time still uses them: leave without destroying anything,
  // after the logs are written.
  if (!hub->stopThreads(RelayHub::kThreadJoinMs)) {
    hub->flushLogs();
    tellExit(code);
    std::_Exit(code);
  }
  hub.reset();
  // Released last, so a supervisor's restart never runs beside a thread of
  // this process.
  guard.relax();
  tellExit(code);
  return code;
}

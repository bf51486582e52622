// relayhub: the message-relay daemon. Runs in the foreground until it gets
// SIGINT, SIGTERM or SIGABRT (or a quit posted to its main thread).
// Exit codes: 0 usage text, 10 normal end, 1 restart wanted, 2 configuration
// failed, 20 worker threads did not start, 21 another instance runs (or
// another daemon holds the state folder).
#include <cstdlib>
#include <memory>

#include "common/Monopoly.h"
#include "logger/LogMessenger.h"
#include "platform/Signals.h"
#include "platform/Thread.h"
#include "relayhub/DaemonFlags.h"
#include "relayhub/RelayHub.h"

namespace {

int exitCode(bool ran) {
  using Vemora::DaemonFlags;
  using Vemora::RelayHub;
  const bool restart = DaemonFlags::restart().load();
  if (DaemonFlags::stop().load()) return restart ? RelayHub::kExitRestart : RelayHub::kExitStopped;
  if (!ran) return RelayHub::kExitThreads;
  return restart ? RelayHub::kExitRestart : RelayHub::kExitRunning;
}

}  // namespace

int main(int argc, char** argv) {
  using Vemora::RelayHub;
  Vemora::LogMessenger::setThreadedLogging(true);
  platform::ignoreBrokenPipe();
  std::atomic<bool>& stop = Vemora::DaemonFlags::stop();
  platform::installStopSignals(&stop);
  platform::ensureThreadQueue();

  Vemora::Monopoly guard("VemoraRelayHub");
  if (!guard.enforce()) return RelayHub::kExitOtherInstance;

  auto hub = std::make_unique<RelayHub>(&stop, argc, argv);
  if (!hub->configure()) {
    // A second daemon on the same state folder ends as a second instance.
    const int code = hub->stateFolderBusy() ? RelayHub::kExitOtherInstance : RelayHub::kExitConfig;
    hub.reset();
    guard.relax();
    return code;
  }
  const bool ran = hub->run();
  const int code = exitCode(ran);
  // The members go only once both worker threads have ended. A thread that
  // does not end in time still uses them: leave without destroying anything,
  // after the logs are written.
  if (!hub->stopThreads(RelayHub::kThreadJoinMs)) {
    hub->flushLogs();
    std::_Exit(code);
  }
  hub.reset();
  // Released last, so a supervisor's restart never runs beside a thread of
  // this process.
  guard.relax();
  return code;
}

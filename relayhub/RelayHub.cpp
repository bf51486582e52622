// Construction, the main loop, the start of the worker threads and the
// orderly shutdown of the relay daemon.
#include "relayhub/RelayHub.h"

#include <cstdio>

#include "common/ConfReader.h"
#include "common/SystemInfo.h"
#include "common/Timer.h"
#include "logger/LoggerAgentFileThread.h"
#include "logger/LoggerUnit.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "relayhub/DaemonFlags.h"
#include "relayhub/HubLog.h"

namespace Vemora {

namespace {

int32_t nowSeconds() {
  return static_cast<int32_t>(platform::unixTime());
}

constexpr uint32_t kMainLoopSleepMs = 100;
constexpr int32_t kVerificationSeconds = 60;

}  // namespace

RelayHub::RelayHub(std::atomic<bool>* stopFlag, int argc, char** argv) : stopFlag_(stopFlag) {
  CommandLine::parse(argc, argv, options_);
  // The first pair is the program's own path.
  if (!options_.empty()) options_.erase(options_.begin());
}

RelayHub::~RelayHub() {
  if (stopThreads(kThreadJoinMs)) {
    ThreadInfo::destroy(&listenerThread_);
    ThreadInfo::destroy(&handlerThread_);
  }
  // The threads have ended (or main has already left the process when one
  // could not be stopped): nothing logs through these objects any more.
  HubLog::shell().clearInterface();
  loggerInterface_.reset();
  LogMessenger::setCatalogue(nullptr);
  logging_.configuration.destroy();
  HubLog::setUnit(nullptr);
  logging_.unit.destroy();
}

bool RelayHub::run() {
  if (!startThreads()) return false;
  int32_t next = nowSeconds() + kVerificationSeconds;
  int32_t last = 0;  // the first pass always counts as a new second
  bool logWritten = true;
  while (!stopFlag_->load()) {
    const int32_t t = nowSeconds();
    // A close, destroy or quit posted to the main thread (whose id the
    // JOB_RelayHub resource publishes) stops the daemon like a signal.
    if (ThreadInfo::quitRequested()) break;
    if (t != last) updateTargetAddrNamesMapFile();
    if (t >= next) {
      HubLog::debug(3, "VERIFICATION: Main loop running");
      next = t + kVerificationSeconds;
      checkBroadcastTimeouts();
    }
    // Without its log agent the daemon cannot report anything: end in
    // order, as on a stop request.
    if (logging_.messenger.isNull() || logging_.messenger->agent().isNull()) {
      HubLog::debug(1, "RelayHub::run: The log agent is gone - stopping");
      break;
    }
    // A log that cannot be written (a full disk) resumes by itself: say so
    // where the operator still sees it, once each way.
    if (logging_.messenger->isOk() != logWritten) {
      logWritten = !logWritten;
      std::fputs(logWritten ? "relayhub: The log file is written again.\n"
                            : "relayhub: The log file cannot be written; log lines are lost.\n",
                 stderr);
    }
    Timer::sleep(kMainLoopSleepMs);
    last = t;
  }
  stopFlag_->store(true);
  if (listenerUp_.load()) listening_.breakListen();
  HubLog::notice(kMsgStopping);
  return true;
}

bool RelayHub::startThreads() {
  const std::string job = "pid=" + std::to_string(platform::processId()) +
                          ";tid=" + std::to_string(platform::currentThreadId());
  SystemInfo::setResource("JOB_RelayHub", job);  // a failed write is ignored
  if (startAllThreads()) {
    HubLog::notice(kMsgThreadsStarted);
    return true;
  }
  HubLog::fatal(kMsgThreadsFailed);
  return false;
}

bool RelayHub::startAllThreads() {
  listenerThread_ = ThreadInfo::create(&RelayHub::listenerEntry, this);
  if (listenerThread_ == nullptr) {
    HubLog::error(kMsgNoMemory);
    return false;
  }
  if (!ThreadInfo::start(listenerThread_)) {
    HubLog::error(kMsgThreadStart);
    return false;
  }
  HubLog::debug(1, "RelayHub::startAllThreads: Started listener thread");
  handlerThread_ = ThreadInfo::create(&RelayHub::handlerEntry, this);
  if (handlerThread_ == nullptr) {
    HubLog::error(kMsgNoMemory);
    return false;
  }
  if (!ThreadInfo::start(handlerThread_)) {
    HubLog::error(kMsgThreadStart);
    return false;
  }
  HubLog::debug(1, "RelayHub::startAllThreads: Started connection handler thread");
  return true;
}

bool RelayHub::stopThreads(uint32_t timeoutMs) {
  if (threadsStuck_) return false;
  const bool listenerRuns = ThreadInfo::isRunning(listenerThread_);
  const bool handlerRuns = ThreadInfo::isRunning(handlerThread_);
  if (!listenerRuns && !handlerRuns) return true;
  // The listener ends only through the stop flag: make sure it is set and
  // the blocking accept woken (a second wake-up connection is harmless).
  stopFlag_->store(true);
  ThreadInfo::requestQuit(listenerThread_);
  ThreadInfo::requestQuit(handlerThread_);
  handlerWake_.set();
  const uint64_t start = platform::monotonicMs();
  bool woken = false;
  while (ThreadInfo::isRunning(listenerThread_) || ThreadInfo::isRunning(handlerThread_)) {
    const uint64_t waited = platform::monotonicMs() - start;
    if (waited >= timeoutMs) {
      threadsStuck_ = true;
      return false;
    }
    if (!woken && waited >= 200 && listenerUp_.load() && ThreadInfo::isRunning(listenerThread_)) {
      listening_.breakListen();
      woken = true;
    }
    platform::sleepMs(10);
  }
  return true;
}

void RelayHub::flushLogs() {
  if (logging_.messenger.isNull()) return;
  SmartPointer<LoggerAgent> agent = logging_.messenger->agent();
  if (auto* threaded = dynamic_cast<LoggerAgentFileThread*>(agent.get())) threaded->stop();
}

}  // namespace Vemora

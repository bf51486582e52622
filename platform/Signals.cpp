#include "platform/Signals.h"

#include <csignal>

namespace platform {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free,
              "the stop flag is written from a signal handler");

std::atomic<bool>* g_stopFlag = nullptr;

extern "C" void onStopSignal(int) {
  std::atomic<bool>* flag = g_stopFlag;
  if (flag != nullptr) flag->store(true);
}

}  // namespace

bool installStopSignals(std::atomic<bool>* flag) {
  g_stopFlag = flag;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESTART keeps blocking calls of other threads from failing with EINTR
  // just because a stop signal arrived; the loops notice the flag themselves.
  action.sa_flags = SA_RESTART;
  bool ok = true;
  for (int sig : {SIGINT, SIGTERM, SIGABRT}) ok = sigaction(sig, &action, nullptr) == 0 && ok;
  return ok;
}

bool installHangUpStop() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGHUP, &action, nullptr) == 0;
}

bool ignoreBrokenPipe() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGPIPE, &action, nullptr) == 0;
}

}  // namespace platform

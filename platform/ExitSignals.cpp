#include "platform/ExitSignals.h"

#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace platform {

namespace {

// Written before the handler is installed and only read by it.
volatile std::sig_atomic_t g_exitCode = 2;

extern "C" void onExitSignal(int) {
  ::_exit(g_exitCode);  // async-signal-safe
}

}  // namespace

bool exitOnStopSignals(int exitCode) {
  g_exitCode = exitCode;
  struct sigaction action {};
  action.sa_handler = onExitSignal;
  sigemptyset(&action.sa_mask);
  bool ok = true;
  for (int sig : {SIGINT, SIGTERM}) ok = sigaction(sig, &action, nullptr) == 0 && ok;
  return ok;
}

}  // namespace platform

// The relay daemon's two process-wide flags. Both are lock-free atomics that
// only ever change from false to true: the signal handler, the main loop,
// the listener and the administrative commands set them; main and both
// worker threads read them.
#pragma once

#include <atomic>

namespace Vemora {

class DaemonFlags {
 public:
  // Once true every loop of the daemon ends.
  static std::atomic<bool>& stop();
  // The daemon should be started again (exit code 1 instead of 10).
  static std::atomic<bool>& restart();

  DaemonFlags() = delete;
};

}  // namespace Vemora

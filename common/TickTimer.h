// A process-wide millisecond clock: the system's 32-bit tick count extended
// to 64 bits by a wrap counter shared by every TickTimer and Ticker. now()
// is safe to call from every thread at once: the wrap counter and the last
// tick seen move together in one atomic step, so a wrap is counted once.
#pragma once

#include <cstdint>

namespace Vemora {

class TickTimer {
 public:
  TickTimer();
  virtual ~TickTimer();

  // Milliseconds since the system started, extended past the 32-bit wrap.
  // (A Ticker answers its start tick instead.)
  virtual int64_t now();

  // The tick value that stands for "never" (no time-out).
  static int64_t infinite() { return -1; }
  // ms * ticks per second / 1000 and back (one tick is one millisecond).
  // Callers test for infinite() before they convert.
  static int64_t msToTicks(int64_t ms);
  static int64_t ticksToMs(int64_t ticks);

 protected:
  // The extended tick count itself, whatever now() is overridden to answer.
  static int64_t currentTick();
};

}  // namespace Vemora

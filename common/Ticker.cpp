#include "common/Ticker.h"

namespace Vemora {

Ticker::Ticker() {
  start_.store(currentTick(), std::memory_order_release);
}

Ticker::Ticker(const Ticker& other) : TickTimer(other) {
  start_.store(other.startTick());
}

Ticker& Ticker::operator=(const Ticker& other) {
  start_.store(other.startTick(), std::memory_order_release);
  return *this;
}

Ticker::~Ticker() = default;

int64_t Ticker::now() {
  return startTick();
}

int64_t Ticker::restart() {
  // The real clock, not the overridden now() (which answers the start tick).
  const int64_t tick = currentTick();
  start_.store(tick, std::memory_order_release);
  return tick;
}

}  // namespace Vemora

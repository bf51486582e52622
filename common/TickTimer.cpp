#include "common/TickTimer.h"

#include <atomic>

#include "platform/Clock.h"

namespace Vemora {

namespace {

std::atomic<int64_t> gTicksPerSecond{0};

// The wrap count (high 32 bits) and the last tick seen (low 32 bits), one
// word so that both change in one step.
std::atomic<uint64_t> gTickState{0};

constexpr uint64_t kHalfRange = uint64_t{1} << 31;

int64_t ticksPerSecond() {
  const int64_t tps = gTicksPerSecond.load(std::memory_order_relaxed);
  return tps == 0 ? 1000 : tps;  // a conversion before the first timer
}

}  // namespace

TickTimer::TickTimer() {
  int64_t expected = 0;
  gTicksPerSecond.compare_exchange_strong(expected, 1000);
}

TickTimer::~TickTimer() = default;

int64_t TickTimer::now() {
  return currentTick();
}

int64_t TickTimer::currentTick() {
  uint64_t state = gTickState.load(std::memory_order_acquire);
  for (;;) {
    // The tick is read after the state: a state that is still unchanged at
    // the exchange below was seen before this tick, so only a true wrap
    // makes the tick smaller than the last one.
    const uint32_t tick = platform::tickCount();
    const uint32_t last = static_cast<uint32_t>(state);
    uint64_t wraps = state >> 32;
    if (tick < last) {
      if (last - tick < kHalfRange) return static_cast<int64_t>(state);  // never step back
      ++wraps;
    }
    const uint64_t next = (wraps << 32) | tick;
    if (next == state || gTickState.compare_exchange_weak(state, next, std::memory_order_acq_rel)) {
      return static_cast<int64_t>(next);
    }
  }
}

int64_t TickTimer::msToTicks(int64_t ms) {
  return static_cast<int64_t>(static_cast<uint64_t>(ms) * static_cast<uint64_t>(ticksPerSecond()) /
                              1000u);
}

int64_t TickTimer::ticksToMs(int64_t ticks) {
  return static_cast<int64_t>(static_cast<uint64_t>(ticks) * 1000u /
                              static_cast<uint64_t>(ticksPerSecond()));
}

}  // namespace Vemora

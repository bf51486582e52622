// A TickTimer that remembers the tick at which it was (re)started; now()
// answers that start tick. Thread records use it for the time of their last
// update; the start tick is atomic so the owner may read it while the
// thread restarts it.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/TickTimer.h"

namespace Vemora {

class Ticker : public TickTimer {
 public:
  // Starts at the current tick.
  Ticker();
  Ticker(const Ticker& other);
  Ticker& operator=(const Ticker& other);
  ~Ticker() override;

  // The stored start tick (not the current time).
  int64_t now() override;
  int64_t startTick() const { return start_.load(std::memory_order_acquire); }
  // Sets the start tick to the current tick and returns it.
  int64_t restart();

 private:
  std::atomic<int64_t> start_{0};
};

}  // namespace Vemora

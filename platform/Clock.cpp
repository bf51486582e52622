#include "platform/Clock.h"

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/LastError.h"

namespace platform {

namespace {

using TickFn = std::function<uint32_t()>;
using SecondsFn = std::function<int64_t()>;
using SleepFn = std::function<void(uint32_t)>;

// Replaced only by tests; the atomic flags keep the real path free of locks.
struct Hooks {
  std::mutex mutex;
  std::shared_ptr<TickFn> tick;
  std::shared_ptr<SleepFn> sleep;
  std::shared_ptr<SecondsFn> seconds;
  std::atomic<bool> hasTick{false};
  std::atomic<bool> hasSeconds{false};
  std::atomic<bool> hasSleep{false};
};

Hooks& hooks() {
  static Hooks* h = new Hooks;  // never destroyed: threads may tick during exit
  return *h;
}

uint64_t readClockMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace

uint64_t monotonicMs() {
  // The boot-time clock counts suspended time too, as the tick count does.
  timespec ts{};
  if (clock_gettime(CLOCK_BOOTTIME, &ts) == 0) {
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  }
  return readClockMs(CLOCK_MONOTONIC);
}

uint32_t tickCount() {
  Hooks& h = hooks();
  if (h.hasTick.load(std::memory_order_acquire)) {
    std::shared_ptr<TickFn> fn;
    {
      std::lock_guard<std::mutex> lock(h.mutex);
      fn = h.tick;
    }
    if (fn) return (*fn)();
  }
  return static_cast<uint32_t>(monotonicMs());
}

void realSleepMs(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec want{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec left{};
  while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
}

void sleepMs(uint32_t ms) {
  Hooks& h = hooks();
  if (h.hasSleep.load(std::memory_order_acquire)) {
    std::shared_ptr<SleepFn> fn;
    {
      std::lock_guard<std::mutex> lock(h.mutex);
      fn = h.sleep;
    }
    if (fn) {
      (*fn)(ms);
      return;
    }
  }
  realSleepMs(ms);
}

bool sleeperReplaced() {
  return hooks().hasSleep.load(std::memory_order_acquire);
}

int64_t unixTime() {
  Hooks& h = hooks();
  if (h.hasSeconds.load(std::memory_order_acquire)) {
    std::shared_ptr<SecondsFn> fn;
    {
      std::lock_guard<std::mutex> lock(h.mutex);
      fn = h.seconds;
    }
    if (fn) return (*fn)();
  }
  return static_cast<int64_t>(::time(nullptr));
}

int64_t unixTimeMs() {
  return static_cast<int64_t>(readClockMs(CLOCK_REALTIME));
}

void setTickSource(std::function<uint32_t()> source) {
  Hooks& h = hooks();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.tick = source ? std::make_shared<TickFn>(std::move(source)) : nullptr;
  h.hasTick.store(h.tick != nullptr, std::memory_order_release);
}

void setUnixTimeSource(std::function<int64_t()> source) {
  Hooks& h = hooks();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.seconds = source ? std::make_shared<SecondsFn>(std::move(source)) : nullptr;
  h.hasSeconds.store(h.seconds != nullptr, std::memory_order_release);
}

void setSleeper(std::function<void(uint32_t)> sleeper) {
  Hooks& h = hooks();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.sleep = sleeper ? std::make_shared<SleepFn>(std::move(sleeper)) : nullptr;
  h.hasSleep.store(h.sleep != nullptr, std::memory_order_release);
}

}  // namespace platform

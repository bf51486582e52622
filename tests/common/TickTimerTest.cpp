#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/TickTimer.h"
#include "common/Ticker.h"
#include "platform/Clock.h"

namespace {

using Vemora::Ticker;
using Vemora::TickTimer;

// The wrap counter is process-wide: each test first walks the fake clock
// forward from wherever earlier tests left it, so that `start` reads as a
// later tick rather than a step back.
class TickTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setTickSource([this] { return tick_.load(); });
  }
  void TearDown() override { platform::setTickSource(nullptr); }
  void settle(uint32_t start) {
    TickTimer timer;
    uint32_t last = static_cast<uint32_t>(timer.now());
    while (static_cast<uint32_t>(last - start) - 1u < 0x80000000u - 1u) {
      tick_ = last + 0x40000000u;
      last = static_cast<uint32_t>(timer.now());
    }
    tick_ = start;
    timer.now();
  }
  std::atomic<uint32_t> tick_{0};
};

TEST_F(TickTimerTest, WrapFromNearTheTopReadsAsElevenMillisecondsLater) {
  settle(4294967290u);
  std::atomic<uint32_t>& tick = tick_;
  TickTimer timer;
  const int64_t before = timer.now();
  tick = 5;
  const int64_t after = timer.now();
  EXPECT_EQ(after - before, 11);
  EXPECT_EQ(after % (int64_t{1} << 32), 5);
  EXPECT_EQ(timer.now(), after);  // the same tick again: no second wrap
}

TEST_F(TickTimerTest, ConcurrentReadersCountOneWrapOnce) {
  settle(4294967000u);
  std::atomic<uint32_t>& tick = tick_;
  TickTimer timer;
  const int64_t base = timer.now();
  std::atomic<bool> go{false};
  std::atomic<int64_t> maxSeen{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 8; ++t) {
    readers.emplace_back([&] {
      TickTimer own;
      while (!go) std::this_thread::yield();
      for (int i = 0; i < 5000; ++i) {
        const int64_t v = own.now();
        int64_t seen = maxSeen.load();
        while (v > seen && !maxSeen.compare_exchange_weak(seen, v)) {
        }
      }
    });
  }
  go = true;
  for (uint32_t step = 0; step < 2000; ++step) tick = tick.load() + 1;  // runs through the wrap
  for (auto& r : readers) r.join();
  const int64_t last = timer.now();
  EXPECT_EQ(last - base, 2000);
  EXPECT_LE(maxSeen.load(), last);
}

TEST_F(TickTimerTest, ConversionsAndInfinite) {
  EXPECT_EQ(TickTimer::infinite(), -1);
  EXPECT_EQ(TickTimer::msToTicks(0), 0);
  EXPECT_EQ(TickTimer::msToTicks(123456789), 123456789);
  EXPECT_EQ(TickTimer::ticksToMs(9223372036854775LL), 9223372036854775LL);
}

TEST_F(TickTimerTest, TickerAnswersItsStartTickAndRestartsOnTheRealClock) {
  settle(1000);
  std::atomic<uint32_t>& tick = tick_;
  Ticker ticker;
  const int64_t start = ticker.now();
  tick = 1500;
  EXPECT_EQ(ticker.now(), start);  // now() of a Ticker is its start tick
  EXPECT_EQ(ticker.startTick(), start);
  const int64_t restarted = ticker.restart();
  EXPECT_EQ(restarted - start, 500);
  EXPECT_EQ(ticker.now(), restarted);
  TickTimer& asTimer = ticker;
  EXPECT_EQ(asTimer.now(), restarted);
  Ticker copy(ticker);
  EXPECT_EQ(copy.startTick(), restarted);
}

}  // namespace

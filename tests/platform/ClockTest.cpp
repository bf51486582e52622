#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "support/ScopeGuard.h"

namespace {

TEST(ClockTest, TickSourceSecondsAndSleeperCanBeReplaced) {
  uint32_t fake = 4294967290u;
  int64_t seconds = 4000000000;
  std::vector<uint32_t> slept;
  {
    const testsupport::ScopeGuard realTicks([] { platform::setTickSource(nullptr); });
    const testsupport::ScopeGuard realSeconds([] { platform::setUnixTimeSource(nullptr); });
    const testsupport::ScopeGuard realSleep([] { platform::setSleeper(nullptr); });
    platform::setTickSource([&fake] { return fake; });
    platform::setUnixTimeSource([&seconds] { return seconds; });
    platform::setSleeper([&](uint32_t ms) {
      slept.push_back(ms);
      fake += ms;
      seconds += ms / 1000;
    });
    EXPECT_EQ(platform::tickCount(), 4294967290u);
    EXPECT_EQ(platform::unixTime(), 4000000000);
    EXPECT_TRUE(platform::sleeperReplaced());
    platform::sleepMs(2000);
    EXPECT_EQ(platform::tickCount(), 1994u);
    EXPECT_EQ(platform::unixTime(), 4000000002);
    EXPECT_EQ(slept, std::vector<uint32_t>{2000});
  }
  // The guards have put the real clocks and sleep back.
  EXPECT_FALSE(platform::sleeperReplaced());
  EXPECT_LT(platform::unixTime(), 4000000000);
  EXPECT_LE(static_cast<uint32_t>(platform::monotonicMs()) - platform::tickCount(), 1000u);
}

TEST(ClockTest, RealClocksMoveForward) {
  const uint64_t before = platform::monotonicMs();
  platform::sleepMs(20);
  EXPECT_GE(platform::monotonicMs() - before, 20u);
  const uint32_t tick = platform::tickCount();
  EXPECT_LE(static_cast<uint32_t>(platform::monotonicMs()) - tick, 1000u);
  EXPECT_GT(platform::unixTime(), 1600000000);
  EXPECT_NEAR(static_cast<double>(platform::unixTimeMs() / 1000),
              static_cast<double>(platform::unixTime()), 2.0);
}

void noteSignal(int) {}

TEST(ClockTest, InterruptedSleepResumes) {
  struct sigaction action {};
  action.sa_handler = &noteSignal;  // no SA_RESTART: the sleep sees EINTR
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::atomic<bool> sleeping{false};
  std::atomic<uint64_t> slept{0};
  std::thread sleeper([&] {
    sleeping = true;
    const uint64_t start = platform::monotonicMs();
    platform::sleepMs(300);
    slept = platform::monotonicMs() - start;
  });
  while (!sleeping) platform::realSleepMs(1);
  for (int i = 0; i < 5; ++i) {
    platform::realSleepMs(20);
    pthread_kill(sleeper.native_handle(), SIGUSR1);
    if (slept != 0) break;
  }
  sleeper.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(slept.load(), 300u);
}

}  // namespace

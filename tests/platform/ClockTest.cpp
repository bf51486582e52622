#include <gtest/gtest.h>

#include <vector>

#include "platform/Clock.h"

namespace {

TEST(ClockTest, TickSourceAndSleeperCanBeReplaced) {
  uint32_t fake = 4294967290u;
  std::vector<uint32_t> slept;
  platform::setTickSource([&fake] { return fake; });
  platform::setSleeper([&](uint32_t ms) {
    slept.push_back(ms);
    fake += ms;
  });
  EXPECT_EQ(platform::tickCount(), 4294967290u);
  EXPECT_TRUE(platform::sleeperReplaced());
  platform::sleepMs(2000);
  EXPECT_EQ(platform::tickCount(), 1994u);
  EXPECT_EQ(slept, std::vector<uint32_t>{2000});
  platform::setTickSource(nullptr);
  platform::setSleeper(nullptr);
  EXPECT_FALSE(platform::sleeperReplaced());
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

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <vector>

#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/Thread.h"

namespace {

constexpr uint32_t kGenerous = 10000;

TEST(ThreadTest, IdsAreNonZeroAndDistinct) {
  const uint32_t mine = platform::currentThreadId();
  EXPECT_NE(mine, 0u);
  std::atomic<uint32_t> seen{0};
  auto thread = platform::startThread([&seen] {
    seen = platform::currentThreadId();
    return 0u;
  });
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(thread->waitFor(kGenerous));
  EXPECT_EQ(seen.load(), thread->id());
  EXPECT_NE(seen.load(), mine);
  EXPECT_FALSE(thread->running());
  EXPECT_EQ(platform::processId(), static_cast<uint32_t>(getpid()));
}

TEST(ThreadTest, QuitPostedBeforeTheThreadLooksIsNotLost) {
  std::atomic<bool> go{false};
  auto thread = platform::startThread([&go] {
    while (!go) platform::realSleepMs(1);
    return platform::quitRequested() ? 0u : 1u;
  });
  ASSERT_NE(thread, nullptr);
  // Posted right after the start, before the routine peeks.
  EXPECT_TRUE(platform::postThreadMessage(thread->id(), platform::kWmDestroy));
  go = true;
  ASSERT_TRUE(thread->waitFor(kGenerous));
  std::atomic<uint32_t> result{99};
  auto checker = platform::startThread([&] {
    result = platform::quitRequested() ? 1u : 0u;  // a fresh queue is empty
    return 0u;
  });
  ASSERT_TRUE(checker->waitFor(kGenerous));
  EXPECT_EQ(result.load(), 0u);
}

TEST(ThreadTest, PeekSeesMessagesInOrder) {
  std::vector<uint32_t> got;
  auto thread = platform::startThread([&got] {
    uint32_t m = 0;
    while (got.size() < 3) {
      if (platform::peekThreadMessage(m, true)) {
        got.push_back(m);
      } else {
        platform::realSleepMs(1);
      }
    }
    return 0u;
  });
  ASSERT_NE(thread, nullptr);
  for (uint32_t m : {0x400u, platform::kWmClose, platform::kWmQuit}) {
    EXPECT_TRUE(platform::postThreadMessage(thread->id(), m));
  }
  ASSERT_TRUE(thread->waitFor(kGenerous));
  EXPECT_EQ(got, (std::vector<uint32_t>{0x400u, platform::kWmClose, platform::kWmQuit}));
}

TEST(ThreadTest, PeekWithoutRemoveKeepsTheMessage) {
  platform::ensureThreadQueue();
  ASSERT_TRUE(platform::postThreadMessage(platform::currentThreadId(), 0x401));
  uint32_t m = 0;
  EXPECT_TRUE(platform::peekThreadMessage(m, false));
  EXPECT_TRUE(platform::peekThreadMessage(m, true));
  EXPECT_EQ(m, 0x401u);
  EXPECT_FALSE(platform::peekThreadMessage(m, true));
  platform::dropThreadQueue();
}

TEST(ThreadTest, PostToAThreadWithoutQueueFails) {
  auto thread = platform::startThread([] { return 0u; });
  ASSERT_TRUE(thread->waitFor(kGenerous));
  EXPECT_FALSE(platform::postThreadMessage(thread->id(), platform::kWmQuit));
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
  EXPECT_FALSE(platform::postThreadMessage(0, platform::kWmQuit));
}

TEST(ThreadTest, SleepUnlessQuitWakesOnQuit) {
  std::atomic<bool> woke{false};
  auto thread = platform::startThread([&woke] {
    woke = platform::sleepUnlessQuit(600000);
    return 0u;
  });
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(platform::postThreadMessage(thread->id(), platform::kWmQuit));
  ASSERT_TRUE(thread->waitFor(kGenerous));
  EXPECT_TRUE(woke.load());
}

TEST(ThreadTest, SleepUnlessQuitSleepsWithoutQuit) {
  const uint64_t before = platform::monotonicMs();
  auto thread = platform::startThread([] { return platform::sleepUnlessQuit(30) ? 1u : 0u; });
  ASSERT_TRUE(thread->waitFor(kGenerous));
  EXPECT_GE(platform::monotonicMs() - before, 30u);
}

TEST(ThreadTest, CpuTimesGrowWhileTheThreadWorks) {
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> ownUser{0};
  auto thread = platform::startThread([&] {
    volatile uint64_t x = 0;
    const uint64_t start = platform::monotonicMs();
    while (!stop && platform::monotonicMs() - start < 5000) x = x + 1;
    return 0u;
  });
  ASSERT_NE(thread, nullptr);
  uint64_t kernel = 0, user = 0;
  const uint64_t start = platform::monotonicMs();
  while (kernel + user == 0 && platform::monotonicMs() - start < kGenerous) {
    platform::realSleepMs(20);
    thread->cpuTimes(kernel, user);
  }
  stop = true;
  ASSERT_TRUE(thread->waitFor(kGenerous));
  EXPECT_GT(kernel + user, 0u);
}

}  // namespace

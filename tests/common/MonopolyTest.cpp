#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "common/Monopoly.h"
#include "common/Timer.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "support/ScopeGuard.h"

namespace {

using Vemora::Monopoly;

// Waits up to 10 s for a condition (never a timed assertion).
template <typename F>
bool eventually(F condition) {
  for (int i = 0; i < 10000 && !condition(); ++i) platform::realSleepMs(1);
  return condition();
}

TEST(MonopolyTest, NamedExcludesASecondHolderUntilTheLastRelax) {
  Monopoly first("VemoraMonopolyProbe");
  Monopoly second("VemoraMonopolyProbe");
  ASSERT_TRUE(first.enforce());
  EXPECT_FALSE(second.enforce());
  EXPECT_EQ(second.level(), 0u);
  EXPECT_TRUE(first.enforce());
  EXPECT_EQ(first.level(), 2u);
  EXPECT_TRUE(first.relax());
  EXPECT_FALSE(second.enforce());  // still held at level 1
  EXPECT_TRUE(first.relax());
  EXPECT_EQ(first.level(), 0u);
  EXPECT_TRUE(second.enforce());
  EXPECT_FALSE(first.enforce());
  EXPECT_TRUE(second.relax());
  EXPECT_TRUE(first.enforce());  // a named Monopoly can be taken again
}

TEST(MonopolyTest, NamesAndRefusals) {
  Monopoly slashes("a/b\\c");
  EXPECT_EQ(slashes.name(), "a_b_c");
  Monopoly underscores("a_b_c");
  ASSERT_TRUE(slashes.enforce());
  EXPECT_FALSE(underscores.enforce());  // the same mutex
  EXPECT_FALSE(slashes.setName("other"));
  EXPECT_EQ(slashes.name(), "a_b_c");
  EXPECT_FALSE(slashes.enforcePolling());
  slashes.relax();
  EXPECT_TRUE(slashes.setName("other"));

  Monopoly empty("");
  EXPECT_TRUE(empty.isNamed());
  EXPECT_FALSE(empty.enforce());
  EXPECT_EQ(empty.level(), 0u);
  EXPECT_TRUE(empty.relax());
  Monopoly unnamed;
  EXPECT_FALSE(unnamed.isNamed());
  EXPECT_TRUE(unnamed.relax());
  EXPECT_EQ(unnamed.level(), 0u);
}

TEST(MonopolyTest, NamedRelaxFromAnotherThreadIsRefused) {
  Monopoly named("VemoraOwnerProbe");
  ASSERT_TRUE(named.enforce());
  bool relaxed = true;
  std::thread other([&] { relaxed = named.relax(); });
  other.join();
  EXPECT_FALSE(relaxed);
  EXPECT_EQ(named.level(), 1u);
  EXPECT_TRUE(named.relax());
}

TEST(MonopolyTest, NamedHeldByAnotherProcessUntilItIsKilled) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Monopoly guard("VemoraRelayHub");
    const char ok = guard.enforce() ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(3);
    for (;;) pause();
  }
  close(ready[1]);
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  close(ready[0]);
  ASSERT_EQ(ok, 'y');
  Monopoly mine("VemoraRelayHub");
  EXPECT_FALSE(mine.enforce());
  ASSERT_EQ(kill(child, SIGKILL), 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_TRUE(mine.enforce());
}

TEST(MonopolyTest, UnnamedIsRecursiveAndExcludesOtherThreads) {
  Monopoly lock;
  ASSERT_TRUE(lock.enforce());
  ASSERT_TRUE(lock.enforce());
  EXPECT_EQ(lock.level(), 2u);
  std::atomic<int> state{0};
  std::thread other([&] {
    state = 1;
    state = lock.enforcePolling() ? 2 : 3;
    lock.relax();
  });
  ASSERT_TRUE(eventually([&] { return state != 0; }));
  platform::realSleepMs(20);
  EXPECT_EQ(state.load(), 1);
  lock.relax();
  EXPECT_EQ(state.load(), 1);  // one level still held
  lock.relax();
  other.join();
  EXPECT_EQ(state.load(), 2);
  EXPECT_EQ(lock.level(), 0u);
}

TEST(MonopolyTest, DestroyingReleasesPollingAndBlockingWaiters) {
  auto lock = std::make_unique<Monopoly>();
  ASSERT_TRUE(lock->enforce());
  std::atomic<int> polled{0}, blocked{0};
  std::thread poller([&] { polled = lock->enforcePolling() ? 1 : 2; });
  std::thread blocker([&] { blocked = lock->enforce() ? 1 : 2; });
  ASSERT_TRUE(eventually([&] { return lock->waiting() == 2; }));
  lock.reset();  // wakes both and waits until they have left the object
  poller.join();
  blocker.join();
  EXPECT_EQ(polled.load(), 2);
  EXPECT_EQ(blocked.load(), 2);
}

TEST(MonopolyTest, GuardsACounterAcrossThreads) {
  Monopoly lock;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(i % 2 ? lock.enforce() : lock.enforcePolling());
        ++counter;
        lock.relax();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

TEST(TimerTest, SleepReturnsEarlyOnceAQuitWaits) {
  std::atomic<bool> done{false};
  auto thread = platform::startThread([&done] {
    Vemora::Timer::sleep(600000);
    done = true;
    return 0u;
  });
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(platform::postThreadMessage(thread->id(), platform::kWmDestroy));
  ASSERT_TRUE(thread->waitFor(10000));
  EXPECT_TRUE(done.load());
}

TEST(TimerTest, SleepWaitsTheTimeGoesThroughTheTestSleeper) {
  const uint64_t before = platform::monotonicMs();
  Vemora::Timer::sleep(15);
  EXPECT_GE(platform::monotonicMs() - before, 15u);
  uint32_t asked = 0;
  {
    const testsupport::ScopeGuard realSleep([] { platform::setSleeper(nullptr); });
    platform::setSleeper([&asked](uint32_t ms) { asked += ms; });
    Vemora::Timer::sleep(2000);
  }
  EXPECT_EQ(asked, 2000u);
}

}  // namespace

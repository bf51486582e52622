#include <gtest/gtest.h>

#include <atomic>

#include "common/ThreadInfo.h"
#include "common/Timer.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

namespace {

using Vemora::ThreadInfo;

struct Worker {
  std::atomic<int> passes{0};
  std::atomic<bool> sawQuit{false};
  std::atomic<bool> ignoreQuit{false};
  std::atomic<bool> release{false};
  std::atomic<bool> bodyRan{false};
};

// A worker loop as the daemon writes them: update, test for quit, work.
uint32_t workerEntry(void* record) {
  auto* info = static_cast<ThreadInfo*>(record);
  if (info == nullptr || info->argument == nullptr) return 1;
  auto* worker = static_cast<Worker*>(info->argument);
  worker->bodyRan = true;
  for (;;) {
    ThreadInfo::updateCpuTime(info);
    if (ThreadInfo::quitRequested() && !worker->ignoreQuit) break;
    if (worker->ignoreQuit && worker->release) break;
    ++worker->passes;
    if (worker->ignoreQuit) {
      platform::realSleepMs(5);
    } else {
      Vemora::Timer::sleep(50);
    }
  }
  worker->sawQuit = ThreadInfo::quitRequested();
  return 0;
}

template <typename F>
bool eventually(F condition) {
  for (int i = 0; i < 10000 && !condition(); ++i) platform::realSleepMs(1);
  return condition();
}

TEST(ThreadInfoTest, AskedToQuitTheThreadEnds) {
  Worker worker;
  ThreadInfo* info = ThreadInfo::create(&workerEntry, &worker);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->state.load(), ThreadInfo::kCreated);
  EXPECT_FALSE(ThreadInfo::isRunning(info));
  ASSERT_TRUE(ThreadInfo::start(info));
  EXPECT_NE(info->threadId.load(), 0u);
  EXPECT_FALSE(ThreadInfo::start(info));  // a second start is refused
  ASSERT_TRUE(eventually([&] { return worker.passes > 0; }));
  EXPECT_TRUE(ThreadInfo::requestQuit(info));
  ASSERT_TRUE(eventually([&] { return !ThreadInfo::isRunning(info); }));
  EXPECT_EQ(info->state.load(), ThreadInfo::kExited);
  EXPECT_TRUE(worker.sawQuit.load());  // the message stays in the queue
  EXPECT_FALSE(ThreadInfo::requestQuit(info));
  EXPECT_GE(info->cpuSeconds.load(), 0.0);
  ThreadInfo::destroy(&info);
  EXPECT_EQ(info, nullptr);
}

TEST(ThreadInfoTest, QuitPostedBeforeTheFirstPassIsNotLost) {
  Worker worker;
  ThreadInfo* info = ThreadInfo::create(&workerEntry, &worker);
  ASSERT_TRUE(ThreadInfo::start(info));
  EXPECT_TRUE(ThreadInfo::requestQuit(info));  // possibly before the thread ran at all
  ASSERT_TRUE(eventually([&] { return !ThreadInfo::isRunning(info); }));
  EXPECT_TRUE(worker.sawQuit.load());
  ThreadInfo::destroy(&info);
}

TEST(ThreadInfoTest, NullArgumentEndsWithCodeOne) {
  ThreadInfo* info = ThreadInfo::create(&workerEntry, nullptr);
  EXPECT_EQ(workerEntry(info), 1u);
  EXPECT_EQ(workerEntry(nullptr), 1u);
  ASSERT_TRUE(ThreadInfo::start(info));
  ASSERT_TRUE(eventually([&] { return !ThreadInfo::isRunning(info); }));
  ThreadInfo::destroy(&info);
}

TEST(ThreadInfoTest, UpdateKeepsTimeTickerAndCpu) {
  Worker worker;
  ThreadInfo* info = ThreadInfo::create(&workerEntry, &worker);
  const int32_t created = info->time;
  EXPECT_GT(created, 0);
  ASSERT_TRUE(ThreadInfo::start(info));
  ASSERT_TRUE(eventually([&] { return worker.passes > 1; }));
  EXPECT_GE(info->time.load(), created);
  EXPECT_GT(info->ticker.startTick(), 0);
  ThreadInfo::updateCpuTime(nullptr);
  ThreadInfo::requestQuit(info);
  ASSERT_TRUE(eventually([&] { return !ThreadInfo::isRunning(info); }));
  ThreadInfo::destroy(&info);
}

TEST(ThreadInfoTest, DestroyEndsARunningCooperativeThread) {
  Worker worker;
  ThreadInfo* info = ThreadInfo::create(&workerEntry, &worker);
  ASSERT_TRUE(ThreadInfo::start(info));
  ASSERT_TRUE(eventually([&] { return worker.passes > 0; }));
  auto handle = info->handle;
  ThreadInfo::destroy(&info);
  EXPECT_EQ(info, nullptr);
  EXPECT_FALSE(handle->running());
  EXPECT_TRUE(worker.sawQuit.load());
}

TEST(ThreadInfoTest, TerminateOfAThreadThatIgnoresQuitLeavesTheRecordToIt) {
  Worker worker;
  worker.ignoreQuit = true;
  ThreadInfo* info = ThreadInfo::create(&workerEntry, &worker);
  ASSERT_TRUE(ThreadInfo::start(info));
  ASSERT_TRUE(eventually([&] { return worker.passes > 0; }));
  auto handle = info->handle;
  ThreadInfo::destroy(&info);  // waits its bounded time, then hands the record over
  EXPECT_EQ(info, nullptr);
  EXPECT_TRUE(handle->running());
  const int passes = worker.passes;
  ASSERT_TRUE(eventually([&] { return worker.passes > passes; }));  // still uses its record
  worker.release = true;
  EXPECT_TRUE(handle->waitFor(10000));  // and frees it on return (asan sees a leak otherwise)
}

TEST(ThreadInfoTest, NullRecordsAreRefused) {
  EXPECT_FALSE(ThreadInfo::start(nullptr));
  EXPECT_FALSE(ThreadInfo::isRunning(nullptr));
  EXPECT_FALSE(ThreadInfo::requestQuit(nullptr));
  EXPECT_FALSE(ThreadInfo::terminate(nullptr));
  ThreadInfo::destroy(nullptr);
  ThreadInfo* none = nullptr;
  ThreadInfo::destroy(&none);
  ThreadInfo* unstarted = ThreadInfo::create(&workerEntry, nullptr);
  EXPECT_FALSE(ThreadInfo::terminate(unstarted));
  ThreadInfo::destroy(&unstarted);
  EXPECT_EQ(unstarted, nullptr);
}

}  // namespace

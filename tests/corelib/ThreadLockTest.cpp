#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"
#include "corelib/Logger.h"
#include "corelib/ThreadLock.h"
#include "platform/Thread.h"
#include "support/ScopeGuard.h"

namespace {

using VemoraCorelib::ImsAgent;
using VemoraCorelib::ImsMessage;
using VemoraCorelib::Logger;
using VemoraCorelib::ThreadLock;

// Waits (bounded generously) until `condition` holds.
template <typename Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 20000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

TEST(ThreadLockTest, NestedLockingByOneThread) {
  ThreadLock lock;
  EXPECT_EQ(lock.owner(), 0u);
  EXPECT_TRUE(lock.lock(true));
  EXPECT_TRUE(lock.lock(false));
  EXPECT_EQ(lock.level(), 2);
  EXPECT_EQ(lock.owner(), platform::currentThreadId());
  EXPECT_TRUE(lock.unlock());
  EXPECT_EQ(lock.level(), 1);
  EXPECT_EQ(lock.owner(), platform::currentThreadId());
  EXPECT_TRUE(lock.unlock());
  EXPECT_EQ(lock.level(), 0);
  EXPECT_EQ(lock.owner(), 0u);
  EXPECT_FALSE(lock.unlock());
}

TEST(ThreadLockTest, NeverLockedRefusesUnlock) {
  ThreadLock lock;
  EXPECT_FALSE(lock.unlock());
  EXPECT_EQ(lock.level(), 0);
}

TEST(ThreadLockTest, OtherThreadsWaitOrFail) {
  ThreadLock lock;
  ASSERT_TRUE(lock.lock(true));
  ASSERT_TRUE(lock.lock(true));
  std::atomic<bool> tried{false};
  std::atomic<bool> tryResult{true};
  std::atomic<bool> unlockResult{true};
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    tryResult = lock.lock(false);
    unlockResult = lock.unlock();  // not the owner
    tried = true;
    acquired = lock.lock(true);  // waits for the last unlock
    lock.unlock();
  });
  ASSERT_TRUE(eventually([&] { return tried.load(); }));
  EXPECT_FALSE(tryResult);
  EXPECT_FALSE(unlockResult);
  EXPECT_EQ(lock.level(), 2);
  EXPECT_TRUE(lock.unlock());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(acquired);  // still held at level 1
  EXPECT_TRUE(lock.unlock());
  other.join();
  EXPECT_TRUE(acquired);
  EXPECT_EQ(lock.owner(), 0u);
}

TEST(ThreadLockTest, ManyThreadsExcludeEachOther) {
  ThreadLock lock;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        lock.lock(true);
        lock.lock(true);
        ++counter;
        lock.unlock();
        lock.unlock();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 8000);
  EXPECT_EQ(lock.owner(), 0u);
}

// Keeps the texts of flood records.
class FloodCollector : public ImsAgent {
 public:
  FloodCollector() : ImsAgent("flood-collector") {
    id_ = setMessageHook(false, "debug", "debug", "8", 0);
  }
  ~FloodCollector() override { removeMessageHook(id_); }
  int handleHookMessage(uint64_t, ImsMessage& message) override {
    auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.parameter);
    if (record == nullptr) return kNotHandled;
    auto arguments = record->arguments;
    texts.push_back(arguments.fill(record->text));
    return kHandled;
  }
  std::vector<std::string> texts;

 private:
  uint64_t id_ = 0;
};

class LevelSender : public ImsAgent {
 public:
  LevelSender() : ImsAgent("level-sender") {}
  void send(const char* level) {
    ImsMessage message("debug", "level", level);
    sendMessage(message);
  }
};

TEST(ThreadLockTest, FloodTracesDoNotRecurseThroughTheMessageService) {
  FloodCollector collector;
  LevelSender sender;
  const auto maximum = testsupport::setForScope(&Logger::maximumLevel, &Logger::setMaximumLevel, 8);
  sender.send("8");
  collector.texts.clear();
  {
    ThreadLock lock;
    lock.lock(true);
    lock.lock(false);
    lock.unlock();
    lock.unlock();
    lock.unlock();
  }
  const std::vector<std::string> texts = collector.texts;  // the level message below traces too
  sender.send("7");
  const std::vector<std::string> expectedEnds = {
      " (blocking)", "Locked", " (non-blocking)", "Already locked", "", "at zero)", "",
      "Unlocked",    "",       "thread 0"};
  ASSERT_EQ(texts.size(), expectedEnds.size());
  for (std::size_t i = 0; i < expectedEnds.size(); ++i) {
    const std::string& text = texts[i];
    EXPECT_EQ(text.rfind("ThreadLock::", 0), 0u) << text;
    const std::string& end = expectedEnds[i];
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), end.size())), end) << text;
  }
  EXPECT_EQ(texts[4].rfind("ThreadLock::unlock: Going to unlock ", 0), 0u);
  EXPECT_EQ(texts[5],
            "ThreadLock::unlock: Nested locking (now at level 1 - actual unlock at zero)");
  EXPECT_EQ(texts[9], "ThreadLock::unlock: Cannot unlock - locked by other thread 0");
}

// The flood traces of the locks while `action` runs.
std::vector<std::string> floodTraces(const std::function<void()>& action) {
  FloodCollector collector;
  LevelSender sender;
  const auto maximum = testsupport::setForScope(&Logger::maximumLevel, &Logger::setMaximumLevel, 8);
  sender.send("8");
  collector.texts.clear();
  action();
  const std::vector<std::string> texts = collector.texts;
  sender.send("7");
  return texts;
}

TEST(ThreadLockTest, DestroyingAHeldLockReleasesIt) {
  auto* lock = new ThreadLock();
  lock->lock(true);
  lock->lock(true);
  lock->lock(true);
  const std::vector<std::string> texts = floodTraces([&] { delete lock; });
  // One release, from level 1 at once, not three.
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("ThreadLock::unlock: Going to unlock ", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "ThreadLock::unlock: Unlocked");
}

TEST(ThreadLockTest, DestroyingALockHeldByAnotherThreadIsSafe) {
  auto* lock = new ThreadLock();
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::atomic<bool> finished{false};
  std::thread holder([&] {
    lock->lock(true);
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The holder ends without touching the destroyed object.
    finished = true;
  });
  ASSERT_TRUE(eventually([&] { return held.load(); }));
  // Returns at once, while the holder still holds it, and takes nothing
  // from the holder: no unlock is tried.
  const std::vector<std::string> texts = floodTraces([&] { delete lock; });
  EXPECT_FALSE(finished.load());
  EXPECT_TRUE(texts.empty()) << texts.front();
  release = true;
  holder.join();
  EXPECT_TRUE(finished.load());
}

}  // namespace

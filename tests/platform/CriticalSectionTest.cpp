#include "platform/CriticalSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using platform::CriticalSection;

TEST(CriticalSectionTest, RecursiveForItsHolderOnly) {
  CriticalSection section;
  section.enter();
  EXPECT_TRUE(section.tryEnter());
  bool otherGot = true;
  std::thread([&] {
    otherGot = section.tryEnter();
    section.leave();  // not the holder: ignored
  }).join();
  EXPECT_FALSE(otherGot);
  section.leave();
  std::thread([&] { otherGot = section.tryEnter(); }).join();
  EXPECT_FALSE(otherGot);  // still held once
  section.leave();
  std::thread([&] {
    otherGot = section.tryEnter();
    section.leave();
  }).join();
  EXPECT_TRUE(otherGot);
}

TEST(CriticalSectionTest, EnterWaitsForTheLastLeave) {
  CriticalSection section;
  section.enter();
  std::atomic<bool> entered{false};
  std::thread waiter([&] {
    section.enter();
    entered = true;
    section.leave();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(entered);
  section.leave();
  waiter.join();
  EXPECT_TRUE(entered);
}

TEST(CriticalSectionTest, ThreadEndingWhileHoldingLeavesItHeld) {
  CriticalSection section;
  std::thread([&] { section.enter(); }).join();
  EXPECT_FALSE(section.tryEnter());
}

}  // namespace

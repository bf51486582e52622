#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/LastError.h"
#include "platform/NamedMutex.h"
#include "platform/Thread.h"

namespace {

TEST(NamedMutexTest, SecondHolderInThisProcessFails) {
  platform::NamedMutex first("Global\\VemoraProbe");
  platform::NamedMutex second("global\\VEMORAPROBE");  // names compare case-insensitively
  ASSERT_TRUE(first.tryLock());
  EXPECT_TRUE(first.held());
  EXPECT_FALSE(second.tryLock());
  EXPECT_EQ(platform::lastError(), platform::kErrorAlreadyExists);
  EXPECT_FALSE(second.lock(30));
  first.unlock();
  EXPECT_FALSE(first.held());
  EXPECT_TRUE(second.tryLock());
}

TEST(NamedMutexTest, DifferentNamesDoNotConflict) {
  platform::NamedMutex a("A/B");
  platform::NamedMutex b("A_B");
  platform::NamedMutex c(std::string(400, 'x'));
  platform::NamedMutex d(std::string(400, 'x') + "y");
  EXPECT_TRUE(a.tryLock());
  EXPECT_TRUE(b.tryLock());
  EXPECT_TRUE(c.tryLock());
  EXPECT_TRUE(d.tryLock());
}

TEST(NamedMutexTest, DestructorReleases) {
  {
    platform::NamedMutex first("scoped");
    ASSERT_TRUE(first.tryLock());
  }
  platform::NamedMutex again("scoped");
  EXPECT_TRUE(again.tryLock());
}

TEST(NamedMutexTest, OtherProcessHoldsUntilKilled) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::NamedMutex held("VemoraCrossProcess");
    const char ok = held.tryLock() ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(3);
    for (;;) pause();
  }
  close(ready[1]);
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  close(ready[0]);
  ASSERT_EQ(ok, 'y');
  platform::NamedMutex mine("VemoraCrossProcess");
  EXPECT_FALSE(mine.tryLock());
  EXPECT_EQ(platform::lastError(), platform::kErrorAlreadyExists);
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(mine.lock(10000));  // the kernel freed it with the dead holder
}

TEST(NamedMutexTest, LockWaitsForARelease) {
  platform::NamedMutex first("waited");
  ASSERT_TRUE(first.tryLock());
  std::atomic<int> state{0};
  auto waiter = platform::startThread([&state] {
    platform::NamedMutex second("waited");
    state = 1;
    state = second.lock(UINT32_MAX) ? 2 : 3;
    return 0u;
  });
  ASSERT_NE(waiter, nullptr);
  while (state == 0) platform::realSleepMs(1);
  platform::realSleepMs(20);
  EXPECT_EQ(state.load(), 1);  // still waiting while the first holds it
  first.unlock();
  ASSERT_TRUE(waiter->waitFor(10000));
  EXPECT_EQ(state.load(), 2);
}

TEST(NamedMutexTest, LockFolderIsSharedAndFilesStay) {
  const std::optional<std::string> saved = platform::getEnv("VEMORA_LOCK_DIR");
  const std::string folder = platform::getEnv("VEMORA_TEST_ROOT").value() + "/fresh-locks";
  platform::setEnv("VEMORA_LOCK_DIR", folder);
  {
    platform::NamedMutex mutex("Local\\Probe");
    ASSERT_TRUE(mutex.tryLock());
  }
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 01777u);
  // Released, but never unlinked: a waiter on the old file can never hold
  // a lock that a new holder of a new file does not see.
  EXPECT_EQ(stat((folder + "/m-local%5Cprobe.lock").c_str(), &info), 0);
  platform::setEnv("VEMORA_LOCK_DIR", saved);
}

}  // namespace

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "corelib/GlobalMutex.h"
#include "platform/Env.h"
#include "platform/Thread.h"
#include "support/ScopeGuard.h"

namespace {

using VemoraCorelib::GlobalMutex;

// A child process that takes the lock for `key`, reports whether it got it
// and then holds it until it reads a byte from the parent (or dies).
class LockHolder {
 public:
  explicit LockHolder(const std::string& key) {
    if (pipe(report_) != 0 || pipe(release_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) runChild(key);
    close(report_[1]);
    close(release_[0]);
  }
  ~LockHolder() {
    if (pid_ > 0) {
      close(release_[1]);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  bool gotLock() {
    char ok = 0;
    return pid_ > 0 && read(report_[0], &ok, 1) == 1 && ok == 'y';
  }
  // Tells the child to unlock; true when it reports that the unlock worked.
  bool release() {
    char ok = 'r';
    if (write(release_[1], &ok, 1) != 1) return false;
    return read(report_[0], &ok, 1) == 1 && ok == 'y';
  }

 private:
  [[noreturn]] void runChild(const std::string& key) {
    close(report_[0]);
    close(release_[1]);
    GlobalMutex mutex(key);
    char ok = mutex.lock(false) ? 'y' : 'n';
    if (write(report_[1], &ok, 1) != 1) _exit(3);
    if (read(release_[0], &ok, 1) == 1) {
      ok = mutex.unlock() ? 'y' : 'n';
      if (write(report_[1], &ok, 1) != 1) _exit(3);
      (void)!read(release_[0], &ok, 1);
    }
    _exit(0);
  }

  pid_t pid_ = -1;
  int report_[2] = {-1, -1};
  int release_[2] = {-1, -1};
};

TEST(GlobalMutexTest, AnotherProcessHoldingTheLockRefusesUntilItUnlocks) {
  const std::string key = "C:\\Vemora\\vemora.freg";
  LockHolder holder(key);
  ASSERT_TRUE(holder.gotLock());
  GlobalMutex mine(key);
  EXPECT_FALSE(mine.lock(false));
  EXPECT_EQ(mine.owner(), 0u);
  EXPECT_EQ(mine.tryAcquire(platform::processId()), GlobalMutex::kHeldElsewhere);
  ASSERT_TRUE(holder.release());
  EXPECT_TRUE(mine.lock(false));
  EXPECT_EQ(mine.owner(), platform::processId());
  EXPECT_TRUE(mine.unlock());
}

TEST(GlobalMutexTest, BlockingLockWaitsForTheOtherProcess) {
  LockHolder holder("waited-for");
  ASSERT_TRUE(holder.gotLock());
  GlobalMutex mine("waited-for");
  const pid_t releaser = fork();
  ASSERT_GE(releaser, 0);
  if (releaser == 0) {
    usleep(50 * 1000);
    _exit(holder.release() ? 0 : 1);
  }
  EXPECT_TRUE(mine.lock(true));
  int status = 0;
  ASSERT_EQ(waitpid(releaser, &status, 0), releaser);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(mine.unlock());
}

TEST(GlobalMutexTest, LockIsCountedPerProcess) {
  GlobalMutex mutex("nested");
  GlobalMutex other("nested");
  ASSERT_TRUE(mutex.lock(false));
  ASSERT_TRUE(mutex.lock(false));
  ASSERT_TRUE(mutex.lock(true));
  EXPECT_EQ(mutex.count(), 3);
  EXPECT_TRUE(mutex.unlock());
  EXPECT_TRUE(mutex.unlock());
  EXPECT_EQ(mutex.count(), 1);
  EXPECT_FALSE(other.lock(false));  // still held
  EXPECT_TRUE(mutex.unlock());
  EXPECT_EQ(mutex.count(), 0);
  EXPECT_EQ(mutex.owner(), 0u);
  EXPECT_TRUE(other.lock(false));
  EXPECT_TRUE(other.unlock());
}

TEST(GlobalMutexTest, UnlockWithoutHoldingChangesNothing) {
  GlobalMutex neverLocked("free");
  EXPECT_FALSE(neverLocked.unlock());
  GlobalMutex holder("held");
  GlobalMutex bystander("held");
  ASSERT_TRUE(holder.lock(false));
  EXPECT_FALSE(bystander.lock(false));
  EXPECT_FALSE(bystander.unlock());
  EXPECT_EQ(holder.count(), 1);
  EXPECT_FALSE(bystander.lock(false));
  EXPECT_TRUE(holder.unlock());
  EXPECT_FALSE(holder.unlock());
}

TEST(GlobalMutexTest, SystemNameReplacesSeparatorsAndColons) {
  struct Case {
    std::string key;
    std::string name;
  };
  const Case cases[] = {
      {"/:\\", "Global\\___"},
      {"C:\\Vemora\\vemora.freg", "Global\\C__Vemora_vemora.freg"},
      {"d:/a b/c.txt", "Global\\d__a b_c.txt"},
  };
  for (const Case& c : cases) {
    GlobalMutex mutex(c.key);
    ASSERT_TRUE(mutex.lock(false)) << c.key;
    EXPECT_EQ(mutex.name(), c.name);
    EXPECT_TRUE(mutex.unlock());
    EXPECT_EQ(mutex.name(), c.name);  // prepared once only
  }
}

TEST(GlobalMutexTest, EmptyKeyNeverLocks) {
  GlobalMutex mutex("");
  EXPECT_FALSE(mutex.lock(false));
  EXPECT_FALSE(mutex.lock(true));
  EXPECT_EQ(mutex.tryAcquire(platform::processId()), GlobalMutex::kError);
  EXPECT_FALSE(mutex.unlock());
}

TEST(GlobalMutexTest, RefusedSystemObjectFailsAtOnceEvenWhenBlocking) {
  const auto locks =
      testsupport::setEnvForScope("VEMORA_LOCK_DIR", std::string("/proc/no-such-folder"));
  GlobalMutex mutex("refused");
  EXPECT_FALSE(mutex.lock(true));
  EXPECT_EQ(mutex.tryAcquire(platform::processId()), GlobalMutex::kError);
  EXPECT_EQ(mutex.count(), 0);
}

TEST(GlobalMutexTest, DestroyingAHeldLockFreesIt) {
  {
    GlobalMutex mutex("dropped");
    ASSERT_TRUE(mutex.lock(false));
  }
  GlobalMutex again("dropped");
  EXPECT_TRUE(again.lock(false));
  EXPECT_TRUE(again.unlock());
}

}  // namespace

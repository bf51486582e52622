#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/LastError.h"
#include "platform/LockFolder.h"
#include "platform/NamedMutex.h"
#include "platform/Thread.h"
#include "support/ScopeGuard.h"

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

TEST(NamedMutexTest, GivenLockFolderIsMadePrivateAndFilesStay) {
  const std::string folder = platform::getEnv("VEMORA_TEST_ROOT").value() + "/fresh-locks";
  const auto locks = testsupport::setEnvForScope("VEMORA_LOCK_DIR", folder);
  EXPECT_EQ(platform::lockFolder(), folder);
  {
    platform::NamedMutex mutex("Local\\Probe");
    ASSERT_TRUE(mutex.tryLock());
  }
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  // Released, but never unlinked: a waiter on the old file can never hold
  // a lock that a new holder of a new file does not see.
  EXPECT_EQ(stat((folder + "/m-local%5Cprobe.lock").c_str(), &info), 0);
}

TEST(NamedMutexTest, DefaultLockFolderBelongsToTheUser) {
  struct Case {
    unsigned user;
    std::optional<std::string> runtime;
    const char* folder;
  };
  const Case cases[] = {
      {0, std::string("/run/user/0"), "/run/vemora"},
      {1000, std::string("/run/user/1000"), "/run/user/1000/vemora"},
      {1000, std::nullopt, "/tmp/vemora-1000"},
      {1000, std::string(""), "/tmp/vemora-1000"},
      {1000, std::string("relative/dir"), "/tmp/vemora-1000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::defaultLockFolder(c.user, c.runtime), c.folder) << c.user;
  }
}

// A default folder that someone else made or can write is refused, so no
// other user can take (or keep) this user's locks.
TEST(NamedMutexTest, UnsafeDefaultLockFolderIsRefused) {
  const std::string root = platform::getEnv("VEMORA_TEST_ROOT").value() + "/default-locks";
  // Fresh also when the test runs again in the same process.
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
  struct Case {
    const char* name;
    std::string (*make)(const std::string& path);
    const char* words;  // in the problem text; null: accepted
  };
  const Case cases[] = {
      {"missing, created 0700", [](const std::string& p) { return p; }, nullptr},
      {"private folder",
       [](const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         return p;
       },
       nullptr},
      {"writable by others",
       [](const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         ::chmod(p.c_str(), 0777);
         return p;
       },
       "writable by other users (mode 0777)"},
      {"group-writable",
       [](const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         ::chmod(p.c_str(), 0770);
         return p;
       },
       "writable by other users"},
      {"a symbolic link",
       [](const std::string& p) {
         ::mkdir((p + "-target").c_str(), 0700);
         EXPECT_EQ(::symlink((p + "-target").c_str(), p.c_str()), 0);
         return p;
       },
       "symbolic link"},
      {"a plain file",
       [](const std::string& p) {
         ::close(::open(p.c_str(), O_CREAT | O_WRONLY, 0600));
         return p;
       },
       "not a folder"},
      {"parent missing", [](const std::string& p) { return p + "/no/such"; }, "cannot be created"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = c.make(root + "/f" + std::to_string(++n));
    std::string problem;
    const bool ok = platform::prepareLockFolderAt(folder, true, &problem);
    if (c.words == nullptr) {
      EXPECT_TRUE(ok) << problem;
      struct stat info {};
      ASSERT_EQ(::stat(folder.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 0777, 0700u);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_NE(problem.find(folder), std::string::npos) << problem;
      EXPECT_NE(problem.find(c.words), std::string::npos) << problem;
    }
  }
  // Another user's folder (only root can make one to test with).
  if (::geteuid() == 0) {
    const std::string other = root + "/other";
    ASSERT_EQ(::mkdir(other.c_str(), 0700), 0);
    ASSERT_EQ(::chown(other.c_str(), 12345, 12345), 0);
    std::string problem;
    EXPECT_FALSE(platform::prepareLockFolderAt(other, true, &problem));
    EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
    EXPECT_NE(problem.find("belongs to user 12345"), std::string::npos) << problem;
  }
  // A folder named by VEMORA_LOCK_DIR is taken as the operator made it.
  const std::string shared = root + "/shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  EXPECT_TRUE(platform::prepareLockFolderAt(shared, false, nullptr));
  // ... but it has to be a folder.
  const std::string file = root + "/plain-file";
  ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
  std::string problem;
  EXPECT_FALSE(platform::prepareLockFolderAt(file, false, &problem));
  EXPECT_EQ(problem, "the lock folder " + file + " is not a folder");
}

}  // namespace

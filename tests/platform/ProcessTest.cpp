// Child processes: command-line splitting, start failures, exit codes,
// suspending, quit requests and termination, with real programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/JobObject.h"
#include "platform/LastError.h"
#include "platform/Process.h"
#include "platform/Thread.h"

namespace {

using platform::Process;

// Waits (bounded) until the child has ended; its exit code.
uint32_t waitExit(Process& p) {
  uint32_t code = platform::kStillActive;
  for (int i = 0; i < 2000 && code == platform::kStillActive; ++i) {
    p.exitCode(code);
    if (code == platform::kStillActive) platform::realSleepMs(5);
  }
  return code;
}

TEST(ProcessTest, SplitsCommandLinesAsTheChildRuntimeDoes) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"prog", {"prog"}},
      {"prog  a\tb ", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\x.exe\" -a", {"C:\\Program Files\\x.exe", "-a"}},
      {"p \"two words\" x\"y z\"w", {"p", "two words", "xy zw"}},
      {"p a\\b c\\\\", {"p", "a\\b", "c\\\\"}},
      {"p a\\\"b", {"p", "a\"b"}},
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},
      {"p \"\"", {"p", ""}},
      {"p \"a\"\"b\"", {"p", "a\"b"}},
      {"p \"unclosed text", {"p", "unclosed text"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::splitCommandLine(c.line), c.args) << c.line;
  }
}

TEST(ProcessTest, ExitCodesOfRealPrograms) {
  auto p = Process::create("sh -c \"exit 3\"", false);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p->processId(), 0u);
  EXPECT_EQ(waitExit(*p), 3u);
  uint32_t code = 0;
  ASSERT_TRUE(p->threadExitCode(code));
  EXPECT_EQ(code, 3u);
  // Asked again: the same answer.
  ASSERT_TRUE(p->exitCode(code));
  EXPECT_EQ(code, 3u);
}

TEST(ProcessTest, BareNamesAreFoundInThePath) {
  auto p = Process::create("true", false);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(waitExit(*p), 0u);
}

TEST(ProcessTest, ProgramsThatCannotRunFailAtTheStart) {
  EXPECT_EQ(Process::create("/no/such/program.exe -x", false), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(Process::create("no-such-program-anywhere", false), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(Process::create("D:\\bin\\x.exe", false), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorPathNotFound);
  EXPECT_EQ(Process::create("   ", false), nullptr);

  // A file that may not be run, and a file that is not a program.
  const std::string drive = std::getenv("VEMORA_DRIVE_C");
  std::ofstream(drive + "/plain.exe") << "just text\n";
  EXPECT_EQ(Process::create("C:\\plain.exe", false), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
  std::filesystem::permissions(drive + "/plain.exe", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(Process::create("C:\\plain.exe", false), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorBadExeFormat);
}

TEST(ProcessTest, WindowsPathsAndArgumentsReachTheChild) {
  const std::string drive = std::getenv("VEMORA_DRIVE_C");
  std::filesystem::create_directories(drive + "/dir with blank");
  const std::string script = drive + "/dir with blank/args.exe";
  std::ofstream(script) << "#!/bin/sh\n[ \"$1\" = \"a b\" ] && [ \"$2\" = 'C:\\x' ] && exit 7\n"
                           "exit 1\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  auto p = Process::create("\"C:\\dir with blank\\args.exe\" \"a b\" C:\\x", false);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(waitExit(*p), 7u);
}

TEST(ProcessTest, HandlesAreInheritedOnlyWhenAsked) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);  // not close-on-exec
  const std::string line = "sh -c \"test -e /proc/self/fd/" + std::to_string(fds[1]) + "\"";
  auto closed = Process::create(line, false);
  auto inherited = Process::create(line, true);
  ASSERT_NE(closed, nullptr);
  ASSERT_NE(inherited, nullptr);
  EXPECT_EQ(waitExit(*closed), 1u);
  EXPECT_EQ(waitExit(*inherited), 0u);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(ProcessTest, TerminateEndsTheChildWithTheGivenCode) {
  auto p = Process::create("sleep 30", false);
  ASSERT_NE(p, nullptr);
  uint32_t code = 0;
  ASSERT_TRUE(p->exitCode(code));
  EXPECT_EQ(code, platform::kStillActive);
  ASSERT_TRUE(p->terminate(0xFFFFFFFFu));
  EXPECT_EQ(waitExit(*p), 0xFFFFFFFFu);
  EXPECT_FALSE(p->terminate(1));
  EXPECT_EQ(platform::lastError(), platform::kErrorAccessDenied);
}

TEST(ProcessTest, QuitRequestsEndAProgramThatDoesNotIgnoreThem) {
  auto polite = Process::create("sleep 30", false);
  ASSERT_NE(polite, nullptr);
  ASSERT_TRUE(polite->postThreadMessage(platform::kWmQuit, 5));
  EXPECT_EQ(waitExit(*polite), 5u);
  EXPECT_FALSE(polite->postThreadMessage(platform::kWmClose, 5));
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidThreadId);

  const std::string mark = std::string(std::getenv("VEMORA_DRIVE_C")) + "/trap-set.mark";
  std::filesystem::remove(mark);
  auto stubborn = Process::create("sh -c \"trap '' TERM; : > '" + mark + "'; sleep 30\"", false);
  ASSERT_NE(stubborn, nullptr);
  for (int i = 0; i < 2000 && !std::filesystem::exists(mark); ++i) platform::realSleepMs(5);
  ASSERT_TRUE(stubborn->postThreadMessage(platform::kWmClose, 5));
  platform::realSleepMs(200);
  uint32_t code = 0;
  stubborn->exitCode(code);
  EXPECT_EQ(code, platform::kStillActive);
  ASSERT_TRUE(stubborn->terminate(9));
  EXPECT_EQ(waitExit(*stubborn), 9u);

  EXPECT_FALSE(stubborn->postThreadMessage(0x0400, 0));
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidParameter);
}

TEST(ProcessTest, SuspendCountsAndStopsOnceEnded) {
  auto p = Process::create("sleep 30", false);
  ASSERT_NE(p, nullptr);
  uint32_t previous = 99;
  ASSERT_TRUE(p->suspendThread(previous));
  EXPECT_EQ(previous, 0u);
  ASSERT_TRUE(p->suspendThread(previous));
  EXPECT_EQ(previous, 1u);
  uint32_t code = 0;
  p->exitCode(code);
  EXPECT_EQ(code, platform::kStillActive);  // suspended, not ended
  ASSERT_TRUE(p->terminate(4));
  EXPECT_EQ(waitExit(*p), 4u);
  EXPECT_FALSE(p->suspendThread(previous));
}

TEST(ProcessTest, ClosingTheHandleLeavesTheChildRunningAndLeavesNoZombie) {
  const std::string drive = std::getenv("VEMORA_DRIVE_C");
  const std::string mark = drive + "/closed-handle.mark";
  std::filesystem::remove(mark);
  uint32_t pid = 0;
  {
    auto p = Process::create("sh -c \"sleep 0.3; echo done > '" + mark + "'\"", false);
    ASSERT_NE(p, nullptr);
    pid = p->processId();
  }
  // The child finishes its work after its handle is gone, and is reaped.
  bool gone = false;
  for (int i = 0; i < 2000 && !gone; ++i) {
    gone =
        std::filesystem::exists(mark) && !std::filesystem::exists("/proc/" + std::to_string(pid));
    if (!gone) platform::realSleepMs(5);
  }
  EXPECT_TRUE(gone);
}

TEST(ProcessTest, AJobObjectOnlyKeepsItsLimits) {
  auto job = platform::JobObject::create();
  ASSERT_NE(job, nullptr);
  EXPECT_TRUE(job->setLimitFlags(platform::kJobLimitKillOnJobClose));
  EXPECT_EQ(job->limitFlags(), platform::kJobLimitKillOnJobClose);
}

}  // namespace

// Child processes through ProcessInstance: command lines, states, exit
// codes, polite and forced stops and the errors, with real programs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/JobException.h"
#include "common/ProcessInstance.h"
#include "platform/Clock.h"

namespace {

using Vemora::JobException;
using Vemora::ProcessInstance;

std::string driveC() {
  return std::getenv("VEMORA_DRIVE_C");
}

// Waits (bounded) for the process to end; the exit-code state.
int32_t waitEnd(ProcessInstance& p, uint32_t& code) {
  int32_t state = ProcessInstance::kRunning;
  for (int i = 0; i < 2000 && state == ProcessInstance::kRunning; ++i) {
    state = p.exitCode(code);
    if (state == ProcessInstance::kRunning) platform::realSleepMs(5);
  }
  return state;
}

// A file that appears once the shell has set its traps.
std::string freshMark(const std::string& name) {
  const std::string path = driveC() + "/" + name;
  std::filesystem::remove(path);
  return path;
}
void waitFor(const std::string& path) {
  for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i) platform::realSleepMs(5);
}

TEST(ProcessInstanceTest, CommandLines) {
  const struct {
    const char* command;
    const char* arguments;
    const char* line;
  } cases[] = {
      {"C:\\Program Files\\tool.exe", "-a", "\"C:\\Program Files\\tool.exe\" -a"},
      {"\"C:\\Program Files\\tool.exe\"", "-a", "\"C:\\Program Files\\tool.exe\" -a"},
      {"C:\\bin\\tool.exe", "-a -b", "C:\\bin\\tool.exe -a -b"},
      {"C:\\bin\\tool.exe", "", "C:\\bin\\tool.exe"},
      {"C:\\my dir\\tool.exe", "", "\"C:\\my dir\\tool.exe\""},
  };
  for (const auto& c : cases) {
    ProcessInstance p(c.command, c.arguments, false, false);
    EXPECT_EQ(p.commandLine(), c.line);
  }
}

TEST(ProcessInstanceTest, NotStartedAnswersFourteen) {
  ProcessInstance p("sleep", "30", true, false);
  EXPECT_TRUE(p.hidden());
  EXPECT_EQ(p.status(), ProcessInstance::kNotStarted);
  uint32_t code = 77;
  EXPECT_EQ(p.exitCode(code), ProcessInstance::kNotStarted);
  EXPECT_EQ(code, 77u);
  EXPECT_FALSE(p.stop(true, 1, 0));
  EXPECT_EQ(p.reserved(), 0u);
  try {
    p.suspend();
    FAIL() << "suspend before execute";
  } catch (const JobException& e) {
    EXPECT_EQ(e.code(), JobException::JB_NEVER_STARTED);
    EXPECT_EQ(e.message(), "");
  }
}

TEST(ProcessInstanceTest, RunsToItsOwnEnd) {
  ProcessInstance p("sh", "-c \"exit 3\"", false, false);
  p.execute();
  uint32_t code = 0;
  EXPECT_EQ(waitEnd(p, code), ProcessInstance::kExitCode);
  EXPECT_EQ(code, 3u);
  EXPECT_EQ(p.status(), ProcessInstance::kEnded);
  EXPECT_EQ(p.suspend(), 0u);        // nothing left to suspend
  EXPECT_FALSE(p.stop(true, 1, 0));  // not running
  EXPECT_EQ(p.status(), ProcessInstance::kEnded);
}

TEST(ProcessInstanceTest, AProgramThatCannotStartThrows) {
  ProcessInstance p("C:\\no such dir\\prog.exe", "-x", true, false);
  try {
    p.execute();
    FAIL() << "started a missing program";
  } catch (const JobException& e) {
    EXPECT_EQ(e.code(), JobException::JB_UNABLE_TO_START);
    EXPECT_EQ(e.message(), "\"\"C:\\no such dir\\prog.exe\" -x\", Win32 error code is : 2");
    EXPECT_EQ(e.text(),
              "Job: Unable to start the job. Consult OS error code for more details. "
              "(Code: 61.2)");
    ASSERT_EQ(e.trace().size(), 1u);
    EXPECT_EQ(e.trace()[0].name, "ProcessInstance");
  }
  EXPECT_EQ(p.status(), ProcessInstance::kNotStarted);
}

TEST(ProcessInstanceTest, SuspendCounts) {
  ProcessInstance p("sleep", "30", false, false);
  p.execute();
  EXPECT_EQ(p.status(), ProcessInstance::kRunning);
  EXPECT_EQ(p.suspend(), 1u);
  EXPECT_EQ(p.suspend(), 2u);
  EXPECT_EQ(p.status(), ProcessInstance::kRunning);
  EXPECT_TRUE(p.stop(true, 6, 0));
  EXPECT_EQ(p.status(), ProcessInstance::kTerminated);
}

TEST(ProcessInstanceTest, PoliteStopOfAProgramThatEndsOnTheRequest) {
  ProcessInstance p("sleep", "30", false, false);
  p.execute();
  EXPECT_TRUE(p.stop(false, 4, 5000));
  EXPECT_EQ(p.status(), ProcessInstance::kQuit);
  uint32_t code = 0;
  EXPECT_EQ(waitEnd(p, code), ProcessInstance::kExitCode);
  EXPECT_EQ(code, 4u);
  EXPECT_EQ(p.status(), ProcessInstance::kQuit);  // kept after the end
  EXPECT_FALSE(p.stop(true, 1, 0));
}

TEST(ProcessInstanceTest, PoliteStopOfAProgramThatIgnoresItEndsByForce) {
  const std::string mark = freshMark("ignores.mark");
  const std::string args = "-c \"trap '' TERM; : > '" + mark + "'; sleep 30\"";
  ProcessInstance p("sh", args.c_str(), false, false);
  p.execute();
  waitFor(mark);
  EXPECT_TRUE(p.stop(false, 8, 300));
  EXPECT_EQ(p.status(), ProcessInstance::kTerminated);
  uint32_t code = 0;
  EXPECT_EQ(waitEnd(p, code), ProcessInstance::kExitCode);
  EXPECT_EQ(code, 8u);
  EXPECT_EQ(p.status(), ProcessInstance::kTerminated);
}

TEST(ProcessInstanceTest, TerminateIsAPoliteStopWithAllBitsSet) {
  const std::string mark = freshMark("terminate.mark");
  const std::string args = "-c \"trap '' TERM; : > '" + mark + "'; sleep 30\"";
  ProcessInstance p("sh", args.c_str(), false, false);
  p.execute();
  waitFor(mark);
  EXPECT_TRUE(p.terminate());
  EXPECT_EQ(p.status(), ProcessInstance::kTerminated);
  uint32_t code = 0;
  EXPECT_EQ(waitEnd(p, code), ProcessInstance::kExitCode);
  EXPECT_EQ(code, 0xFFFFFFFFu);
}

TEST(ProcessInstanceTest, RunCommandStartsAndForgets) {
  const std::string mark = freshMark("run-command.mark");
  const std::string script = driveC() + "/marker.exe";
  // The mark appears whole (renamed into place), so the test never reads it half written.
  std::ofstream(script) << "#!/bin/sh\necho \"$1\" > \"$2.part\" && mv \"$2.part\" \"$2\"\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  EXPECT_TRUE(ProcessInstance::runCommand("C:\\marker.exe", "hello \"" + mark + "\""));
  waitFor(mark);
  std::ifstream in(mark);
  std::string word;
  in >> word;
  EXPECT_EQ(word, "hello");
  EXPECT_FALSE(ProcessInstance::runCommand("C:\\no-such-program.exe", ""));
}

TEST(ProcessInstanceTest, JobExceptionTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "Job: No exception! (Code: 61.0)"},
      {1, "Job: The job was never started. execute() missing or failed (Code: 61.1)"},
      {3, "Job: Unable to terminate the job. Consult OS error code for more details. (Code: 61.3)"},
      {8, "Job: Unable to access thread in external process. (Code: 61.8)"},
      {9, "Job: Unknown error (Code: 61.9)"},
      {-1, "Job: Unknown error (Code: 61.-1)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JobException(c.code).text(), c.text);
    EXPECT_EQ(JobException(c.code).category(), 61);
  }
}

}  // namespace

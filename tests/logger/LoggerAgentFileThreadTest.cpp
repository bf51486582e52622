#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LogTestSupport.h"
#include "logger/LoggerAgentFileThread.h"
#include "platform/Clock.h"

using Vemora::LoggerAgentFileThread;

namespace {

const std::string kStamp = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d";
const std::string kHeader =
    "\n" + kStamp + " : Vemora VERSION\\(6\\.5\\.0\\.0\\) REVISION\\(21508\\)\n";

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

using Clock = std::chrono::steady_clock;

// Generous: these bounds only tell a wait of about a second from the many
// seconds that a writer stuck in retries or in the file system takes.
constexpr auto kPrompt = std::chrono::seconds(5);

}  // namespace

class LoggerAgentFileThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = logtest::freshFolder("logs"); }
  std::string folder;
};

TEST_F(LoggerAgentFileThreadTest, WritesHeaderAndLinesEndedWithLf) {
  const std::string path = folder + "\\relayhub.log";
  LoggerAgentFileThread agent;
  EXPECT_FALSE(agent.stop());  // no writer yet
  ASSERT_TRUE(agent.start(path));
  EXPECT_EQ(agent.target(), path);
  EXPECT_TRUE(agent.writeLine("one"));
  EXPECT_TRUE(agent.writeLine("two"));
  // The writer writes on its own within about a second.
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(path).find("two\n") != std::string::npos; }));
  EXPECT_TRUE(agent.stop());
  EXPECT_TRUE(std::regex_match(logtest::readAll(path), std::regex(kHeader + "\none\ntwo\n")))
      << logtest::readAll(path);
}

TEST_F(LoggerAgentFileThreadTest, StopWritesEveryQueuedLineExactlyOnce) {
  const std::string path = folder + "\\relayhub.log";
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(path));
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&agent, t]() {
      for (int i = 0; i < 2000; ++i)
        agent.writeLine("t" + std::to_string(t) + "-" + std::to_string(i));
    });
  }
  for (auto& w : writers) w.join();
  EXPECT_TRUE(agent.stop());
  const std::string text = logtest::readAll(path);
  std::set<std::string> seen;
  size_t lines = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] != 't') continue;
    ++lines;
    seen.insert(line);
  }
  EXPECT_EQ(lines, 8000u);
  EXPECT_EQ(seen.size(), 8000u);
}

TEST_F(LoggerAgentFileThreadTest, StartAgainAfterStopKeepsLogging) {
  const std::string first = folder + "\\first.log";
  const std::string second = folder + "\\second.log";
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(first));
  agent.writeLine("into first");
  ASSERT_TRUE(agent.stop());
  agent.closeFile();
  ASSERT_TRUE(agent.start(second));
  EXPECT_TRUE(agent.ok());
  EXPECT_TRUE(agent.writeLine("into second"));
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(second).find("into second\n") != std::string::npos; }));
  EXPECT_NE(logtest::readAll(first).find("into first\n"), std::string::npos);
}

TEST_F(LoggerAgentFileThreadTest, FullFileAtStartIsRotatedFirst) {
  const std::string path = folder + "\\relayhub.log";
  logtest::writeAll(path, std::string(LoggerAgentFileThread::kRotationLimit, 'x'));
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(path));
  ASSERT_TRUE(agent.stop());
  const auto names = logtest::listFolder(folder);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(std::regex_match(names[0], std::regex("relayhub-\\d{8}T\\d{6}\\.log"))) << names[0];
  const std::string old = logtest::readAll(folder + "\\" + names[0]);
  EXPECT_TRUE(std::regex_search(old, std::regex("x\n\n" + kStamp + " : ROTATING OLD LOG FILE\n$")));
  const std::string fresh = logtest::readAll(path);
  const std::string continued =
      "         Log file continued from \"" + folder + "\\" + names[0] + "\"\n\n";
  ASSERT_GT(fresh.size(), continued.size());
  EXPECT_EQ(fresh.substr(fresh.size() - continued.size()), continued) << fresh;
  EXPECT_TRUE(
      std::regex_match(fresh.substr(0, fresh.size() - continued.size()), std::regex(kHeader)));
}

TEST_F(LoggerAgentFileThreadTest, WriterRotatesAtTheLimit) {
  const std::string path = folder + "\\relayhub.log";
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(path));
  const std::string line(999, 'y');
  const size_t lines = LoggerAgentFileThread::kRotationLimit / 1000 + 10;
  for (size_t i = 0; i < lines; ++i) {
    // The writer drains the queue about once a second.
    ASSERT_TRUE(logtest::waitFor([&]() { return agent.writeLine(line); }));
  }
  // Within a pass of reaching the limit the writer renames the file.
  ASSERT_TRUE(logtest::waitFor([&]() { return logtest::listFolder(folder).size() == 2; }));
  agent.writeLine("into the fresh file");
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(path).find("into the fresh file\n") != std::string::npos; }));
  ASSERT_TRUE(agent.stop());
  const auto names = logtest::listFolder(folder);
  ASSERT_EQ(names.size(), 2u);
  const std::string old = logtest::readAll(folder + "\\" + names[0]);
  EXPECT_TRUE(std::regex_search(old, std::regex("\n\n" + kStamp + " : Rotating log file\n$")));
  const std::string fresh = logtest::readAll(path);
  EXPECT_NE(fresh.find("         Log file continued from \""), std::string::npos);
  EXPECT_EQ(count(fresh, "Vemora VERSION"), 1u);
  EXPECT_EQ(agent.bytesCounted(), fresh.size());
}

TEST_F(LoggerAgentFileThreadTest, QueueIsBoundedAndCountsDrops) {
  const std::string path = folder + "\\relayhub.log";
  LoggerAgentFileThread agent;
  // Without a writer nothing drains the queue.
  for (size_t i = 0; i < LoggerAgentFileThread::kMaxQueuedLines; ++i)
    ASSERT_TRUE(agent.writeLine("q"));
  EXPECT_FALSE(agent.writeLine("dropped"));
  EXPECT_FALSE(agent.writeLine("dropped"));
  EXPECT_EQ(agent.droppedLines(), 2u);
  ASSERT_TRUE(agent.start(path));
  ASSERT_TRUE(agent.stop());
  std::istringstream in(logtest::readAll(path));
  size_t kept = 0;
  size_t notes = 0;
  for (std::string line; std::getline(in, line);) {
    EXPECT_NE(line, "dropped");
    if (line == "q") ++kept;
    if (line.find(" : 2 log lines were dropped: the queue was full.") != std::string::npos) ++notes;
  }
  EXPECT_EQ(kept, LoggerAgentFileThread::kMaxQueuedLines);
  EXPECT_EQ(notes, 1u);
}

TEST_F(LoggerAgentFileThreadTest, FailedRenameReopensAndKeepsLogging) {
  // A rotated name beyond the file system's name limit cannot be taken.
  const std::string path = folder + "\\" + std::string(240, 'r') + ".log";
  logtest::writeAll(path, std::string(LoggerAgentFileThread::kRotationLimit, 'x'));
  const testsupport::ScopeGuard realSleep([] { platform::setSleeper(nullptr); });
  platform::setSleeper([](uint32_t) {});  // the move's retries need no waiting here
  LoggerAgentFileThread agent;
  agent.start(path);
  EXPECT_TRUE(agent.writeLine("still logging"));
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(path).find("\nstill logging\n") != std::string::npos; }));
  EXPECT_TRUE(agent.ok());
  EXPECT_TRUE(agent.stop());
  EXPECT_EQ(logtest::listFolder(folder).size(), 1u);
  const std::string text = logtest::readAll(path);
  EXPECT_EQ(text.find("Log file continued from"), std::string::npos);
  EXPECT_NE(text.find(" : ROTATING OLD LOG FILE\n"), std::string::npos);
}

// A rename that keeps failing is tried once, then not again for a minute:
// lines keep reaching the file every pass, and stop is prompt.
TEST_F(LoggerAgentFileThreadTest, FailedRenameBacksOffWithTheRealClock) {
  const std::string path = folder + "\\" + std::string(240, 'r') + ".log";
  logtest::writeAll(path, std::string(LoggerAgentFileThread::kRotationLimit, 'x'));
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(path));
  for (int i = 0; i < 3; ++i) {
    const std::string line = "line " + std::to_string(i);
    const auto begin = Clock::now();
    ASSERT_TRUE(agent.writeLine(line));
    ASSERT_TRUE(logtest::waitFor(
        [&]() { return logtest::readAll(path).find("\n" + line + "\n") != std::string::npos; }));
    EXPECT_LT(Clock::now() - begin, kPrompt) << line;
  }
  const auto begin = Clock::now();
  EXPECT_TRUE(agent.stop());
  EXPECT_LT(Clock::now() - begin, kPrompt);
  const std::string text = logtest::readAll(path);
  EXPECT_EQ(count(text,
                  " : Could not rename the log file to a name with the time; trying again "
                  "in 60 seconds.\n"),
            1u)
      << text.substr(LoggerAgentFileThread::kRotationLimit);
  EXPECT_EQ(logtest::listFolder(folder).size(), 1u);
}

TEST_F(LoggerAgentFileThreadTest, FailedRenameIsTriedAgainAfterTheBackOff) {
  const std::string path = folder + "\\" + std::string(240, 'r') + ".log";
  logtest::writeAll(path, std::string(LoggerAgentFileThread::kRotationLimit, 'x'));
  // 0 puts the default interval back.
  const testsupport::ScopeGuard retry([] { LoggerAgentFileThread::setRotationRetryMs(0); });
  LoggerAgentFileThread::setRotationRetryMs(1000);
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(path));
  EXPECT_TRUE(logtest::waitFor(
      [&]() { return count(logtest::readAll(path), " : Could not rename the log file") >= 2; }));
  EXPECT_TRUE(agent.stop());
  EXPECT_TRUE(agent.ok());
}

// A full disk loses lines, but not the log: when space returns, writing
// resumes with the number of lines lost, and ok() tells the truth
// throughout. The log path leads to /dev/full, where every write fails, and
// is then replaced by a plain file.
TEST_F(LoggerAgentFileThreadTest, FullDiskLosesLinesUntilSpaceReturns) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string path = folder + "\\relayhub.log";
  std::filesystem::create_symlink("/dev/full", logtest::native(path));
  LoggerAgentFileThread agent;
  ASSERT_TRUE(agent.start(path));
  EXPECT_TRUE(agent.writeLine("lost one"));
  EXPECT_TRUE(agent.writeLine("lost two"));
  ASSERT_TRUE(logtest::waitFor([&]() { return agent.lostLines() == 2; }));
  EXPECT_FALSE(agent.ok());
  EXPECT_TRUE(agent.running());
  std::filesystem::remove(logtest::native(path));
  ASSERT_TRUE(logtest::waitFor([&]() { return agent.ok(); }));
  EXPECT_TRUE(agent.writeLine("written"));
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(path).find("written\n") != std::string::npos; }));
  EXPECT_TRUE(agent.stop());
  EXPECT_TRUE(agent.ok());
  EXPECT_EQ(agent.lostLines(), 2u);
  EXPECT_TRUE(std::regex_match(
      logtest::readAll(path),
      std::regex(kHeader + "\n" + kStamp +
                 " : 2 log lines were lost: they could not be written to the file\\.\nwritten\n")))
      << logtest::readAll(path);
}

// A writer blocked in a write (here: a pipe nobody reads) is given up after
// about a second; it finishes later without touching the agent.
TEST_F(LoggerAgentFileThreadTest, StopGivesUpOnAWriterBlockedInAWrite) {
  const std::string path = folder + "\\relayhub.log";
  const std::string fifo = logtest::native(path);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  // Reading the size at start opens the pipe for reading, which waits for
  // a writer: this one, closed once the agent has opened its own.
  const int keeper = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(keeper, 0);
  auto agent = std::make_unique<LoggerAgentFileThread>();
  ASSERT_TRUE(agent->start(path));
  ::close(keeper);
  const std::string line(1000, 'p');
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(agent->writeLine(line));
  const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
  ASSERT_GT(capacity, 0);
  ASSERT_TRUE(logtest::waitFor([&]() {
    int waiting = 0;
    return ::ioctl(reader, FIONREAD, &waiting) == 0 && waiting > capacity - 4096;
  }));
  const auto begin = Clock::now();
  EXPECT_FALSE(agent->stop());
  EXPECT_LT(Clock::now() - begin, kPrompt);
  EXPECT_FALSE(agent->running());
  EXPECT_FALSE(agent->ok());
  agent.reset();
  // Let the writer finish: it closes its end once its lines are through.
  ASSERT_EQ(::fcntl(reader, F_SETFL, 0), 0);
  std::vector<char> buffer(65536);
  size_t total = 0;
  for (ssize_t n; (n = ::read(reader, buffer.data(), buffer.size())) > 0;) total += n;
  ::close(reader);
  EXPECT_GT(total, static_cast<size_t>(capacity));
}

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "LogTestSupport.h"
#include "common/DateTime.h"
#include "common/SystemInfo.h"
#include "common/TimeSpan.h"
#include "logger/LoggerAgentFile.h"
#include "platform/Clock.h"

using Vemora::DateTime;
using Vemora::LoggerAgentFile;
using Vemora::SystemInfo;
using Vemora::TimeSpan;

namespace {

const char* const kOpenedAt = "20240115T103000Z";

std::string resource(const std::string& name) {
  std::string value;
  return SystemInfo::getResource(name, value) == 0 ? value : "<missing>";
}

// The name a rotation gives the file when it was first opened at kOpenedAt.
std::string rotatedName(const std::string& stem, int counter, const std::string& ext) {
  return stem + "_" + DateTime(std::string(kOpenedAt)).toString(true, false) + "_" +
         std::to_string(counter) + ext;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

class LoggerAgentFileTest : public ::testing::Test {
 protected:
  testsupport::ScopeGuard settings = logtest::keepLoggingSettings();
  void SetUp() override {
    LoggerAgentFile::resetSettings();
    SystemInfo::setResource("coreLogCounter", "0");
    folder = logtest::freshFolder("logs");
  }
  std::string folder;
};

TEST_F(LoggerAgentFileTest, FirstWriteCreatesFileWithHeaderAndDoesNotRotate) {
  const std::string path = folder + "\\app.log";
  {
    LoggerAgentFile agent;
    EXPECT_EQ(LoggerAgentFile::rotationSize(), 10);
    LoggerAgentFile::setRotationScheme(LoggerAgentFile::kRotateInit);
    ASSERT_TRUE(agent.setFile(path));
    EXPECT_FALSE(logtest::exists(path));
    EXPECT_EQ(agent.target(), "file:///" + path);
    EXPECT_TRUE(agent.writeLine("first line"));
    EXPECT_TRUE(agent.writeLine("second line"));
  }
  const std::string text = logtest::readAll(path);
  const std::regex header(
      "\r\nVemora VERSION\\(6\\.5\\.0\\.0\\) REVISION\\(21508\\)\r\n"
      "Opened log file \"app\\.log\"\\. Time: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d "
      "[+-]\\d\\d:\\d\\d.*\r\n"
      "first line\r\nsecond line\r\n"
      "\r\nClosing log file \"app\\.log\"\\. Time: [0-9T:-]+\\. Reason: Quitting Logger "
      "Agent\\.\r\n\r\n");
  EXPECT_TRUE(std::regex_match(text, header)) << text;
  EXPECT_EQ(logtest::listFolder(folder), std::vector<std::string>{"app.log"});
  // The first opening time is kept for the name of the later rotation.
  EXPECT_TRUE(std::regex_match(resource("coreLogOpened"), std::regex("\\d{8}T\\d{6}Z")));
}

TEST_F(LoggerAgentFileTest, InitRotationOfAnExistingLog) {
  const std::string path = folder + "\\app.log";
  logtest::writeAll(path, "old content\r\n");
  ASSERT_EQ(SystemInfo::setResource("coreLogOpened", kOpenedAt), 0);
  LoggerAgentFile agent;
  ASSERT_TRUE(agent.setFile(path));
  EXPECT_TRUE(agent.writeLine("before configuration"));
  // Configuration turns on "init" after the first line.
  LoggerAgentFile::setRotationScheme(LoggerAgentFile::kRotateInit);
  LoggerAgentFile::requestInitRotation();
  EXPECT_TRUE(agent.writeLine("after configuration"));
  EXPECT_TRUE(agent.writeLine("no second rotation"));
  const std::string rotated = rotatedName("app", 0, ".log");
  EXPECT_EQ(logtest::listFolder(folder), (std::vector<std::string>{"app.log", rotated}));
  const std::string old = logtest::readAll(folder + "\\" + rotated);
  EXPECT_NE(old.find("old content\r\n"), std::string::npos);
  EXPECT_NE(old.find("before configuration\r\n\nRotate condition(s): Init\r\n"
                     "\nRotation process started...\r\nRenaming file from \"" +
                     path + "\" to \"" + folder + "\\" + rotated + "\".\r\n"),
            std::string::npos)
      << old;
  EXPECT_NE(old.find("Reason: Rotating log file."), std::string::npos);
  const std::string fresh = logtest::readAll(path);
  EXPECT_EQ(fresh.find("Log continued from \"" + rotated +
                       "\".\r\nafter configuration\r\n"
                       "no second rotation\r\n"),
            0u)
      << fresh;
  EXPECT_EQ(resource("coreLogCounter"), "1");
}

TEST_F(LoggerAgentFileTest, SizeRotationNamesAndNeverReplacesAnOlderLog) {
  LoggerAgentFile::setBaseName("relayhub");
  const struct {
    const char* file;
    const char* stem;
    const char* ext;
  } rows[] = {{"big.log", "big", ".log"}, {"plain", "plain", ""}};
  for (const auto& row : rows) {
    const std::string path = folder + "\\" + row.file;
    logtest::writeAll(path, std::string(1024 * 1024, 'x'));
    ASSERT_EQ(SystemInfo::setResource("relayhubLogOpened", kOpenedAt), 0);
    ASSERT_EQ(SystemInfo::setResource("relayhubLogCounter", "4"), 0);
    // An older rotated log of the same name must survive.
    const std::string taken = rotatedName(row.stem, 4, row.ext);
    logtest::writeAll(folder + "\\" + taken, "older rotated log");
    LoggerAgentFile agent;
    LoggerAgentFile::setRotationScheme(LoggerAgentFile::kRotateSize);
    LoggerAgentFile::setRotationSize(1);
    ASSERT_TRUE(agent.setFile(path));
    // The first line opens the file; the next one finds it full.
    EXPECT_TRUE(agent.writeLine("line"));
    EXPECT_TRUE(agent.writeLine("next"));
    const std::string rotated = rotatedName(row.stem, 5, row.ext);
    EXPECT_EQ(logtest::readAll(folder + "\\" + taken), "older rotated log");
    const std::string old = logtest::readAll(folder + "\\" + rotated);
    EXPECT_NE(old.find("\nRotate condition(s): Size 1 >= 1\r\n"), std::string::npos) << row.file;
    EXPECT_EQ(logtest::readAll(path).find("Log continued from \"" + rotated + "\".\r\nnext\r\n"),
              0u);
    EXPECT_EQ(resource("relayhubLogCounter"), "6");
  }
}

TEST_F(LoggerAgentFileTest, TimeRotation) {
  const std::string path = folder + "\\timed.log";
  LoggerAgentFile agent;
  LoggerAgentFile::setRotationScheme(LoggerAgentFile::kRotateTime);
  LoggerAgentFile::setRotationTime(TimeSpan(1));
  ASSERT_TRUE(agent.setFile(path));
  ASSERT_TRUE(agent.writeLine("start"));
  // The next one-second boundary passes; a later line rotates the file.
  ASSERT_TRUE(logtest::waitFor([&]() {
    agent.writeLine("tick");
    return logtest::listFolder(folder).size() >= 2;
  }));
  const auto names = logtest::listFolder(folder);
  const std::string old = logtest::readAll(folder + "\\" + names[1]);
  EXPECT_TRUE(std::regex_search(
      old, std::regex("\nRotate condition\\(s\\): Time [0-9T:-]+ <= [0-9T:-]+\r\n")))
      << old;
  EXPECT_TRUE(std::regex_match(names[1], std::regex("timed_\\d{8}T\\d{6}_0\\.log")));
}

TEST_F(LoggerAgentFileTest, SwitchingFiles) {
  const std::string first = folder + "\\one.log";
  const std::string second = folder + "\\two.log";
  LoggerAgentFile agent;
  ASSERT_TRUE(agent.setFile(first));
  ASSERT_TRUE(agent.writeLine("in one"));
  ASSERT_TRUE(agent.setFile(first));  // the same path: nothing happens
  ASSERT_TRUE(agent.setFile(second));
  ASSERT_TRUE(agent.writeLine("in two"));
  const std::string one = logtest::readAll(first);
  EXPECT_NE(one.find("Reason: Log file moved to \"" + second + "\"..\r\n"), std::string::npos)
      << one;
  EXPECT_EQ(count(one, "Closing log file"), 1u);
  const std::string two = logtest::readAll(second);
  EXPECT_NE(two.find("Log continued from \"" + first + "\".\r\n\r\nin two\r\n"), std::string::npos)
      << two;
}

TEST_F(LoggerAgentFileTest, FailedRenameKeepsWritingAndRaisesTheLimit) {
  // A rotated name beyond the file system's name limit cannot be taken.
  const std::string path = folder + "\\" + std::string(240, 'a') + ".log";
  logtest::writeAll(path, std::string(1024 * 1024, 'x'));
  const testsupport::ScopeGuard realSleep([] { platform::setSleeper(nullptr); });
  platform::setSleeper([](uint32_t) {});  // the move's retries need no waiting here
  LoggerAgentFile agent;
  LoggerAgentFile::setRotationScheme(LoggerAgentFile::kRotateSize);
  LoggerAgentFile::setRotationSize(1);
  ASSERT_TRUE(agent.setFile(path));
  EXPECT_TRUE(agent.writeLine("opens"));
  EXPECT_TRUE(agent.writeLine("fails to rotate"));
  EXPECT_TRUE(agent.writeLine("below 1.25 MiB"));
  {
    std::ofstream grow(logtest::native(path), std::ios::binary | std::ios::app);
    grow << std::string(1024 * 1024, 'z');
  }
  EXPECT_TRUE(agent.writeLine("fails again"));
  EXPECT_EQ(logtest::listFolder(folder).size(), 1u);
  const std::string text = logtest::readAll(path);
  EXPECT_EQ(count(text, "Log file rotation error. ("), 2u);
  EXPECT_NE(text.find("Rotate condition(s): Size 1 >= 1\r\n"), std::string::npos);
  EXPECT_NE(text.find("Rotate condition(s): Size 2 >= 1.25\r\n"), std::string::npos);
  EXPECT_NE(text.find("fails to rotate\r\nbelow 1.25 MiB\r\n"), std::string::npos);
  EXPECT_NE(text.find("fails again\r\n"), std::string::npos);
}

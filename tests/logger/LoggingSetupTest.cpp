#include <gtest/gtest.h>

#include <string>

#include "LogTestSupport.h"
#include "common/ConfReader.h"
#include "common/SystemInfo.h"
#include "logger/LoggerAgentFile.h"
#include "logger/LoggingSetup.h"
#include "platform/Env.h"
#include "support/ScopeGuard.h"

using Vemora::ConfReader;
using Vemora::LoggerAgentFile;
using Vemora::LoggerUnit;
using Vemora::LoggingSetup;
using Vemora::LogMessenger;
using Vemora::SmartPointer;
using Vemora::SystemInfo;

class LoggingSetupTest : public ::testing::Test {
 protected:
  testsupport::ScopeGuard settings = logtest::keepLoggingSettings();
  void SetUp() override {
    LoggerAgentFile::resetSettings();
    LogMessenger::setThreadedLogging(false);
    LoggerUnit::setDebugLevel(5);
    LoggerUnit::setSeverityThreshold(0);
    LoggerUnit::setTimeMode(1);
    logs = logtest::freshFolder("logs");
    setup.messageFileModuleId = 41;
    setup.moduleId = 48;
    setup.debugLogName = "relayhub_debug.log";
    setup.logDirectory = logs;
  }
  // Starts the set and configures it from a file of the given entries.
  bool configureWith(const std::string& entries) {
    if (setup.unit.isNull() && !setup.startup()) return false;
    logtest::writeAll("C:\\conf\\test.conf", entries);
    setup.configuration = SmartPointer<ConfReader>(new ConfReader(setup.centre));
    setup.configuration->load("C:\\conf\\test.conf");
    return setup.configure();
  }
  std::string logs;
  LoggingSetup setup;
};

TEST_F(LoggingSetupTest, StartupReadsResourcesAndBuildsTheChain) {
  const uint32_t level = 3;
  ASSERT_EQ(SystemInfo::writeValue(SystemInfo::resourceKey(), "StartupDebugLevel", 4, &level,
                                   sizeof level, false),
            0);
  ASSERT_EQ(SystemInfo::setResource("LogFileRotationScheme", "time,bogus,size"), 0);
  setup.logDirectory.clear();
  ASSERT_EQ(SystemInfo::setResource("StartupLogDir", logs + "\\Mixed//Case"), 0);
  std::filesystem::create_directories(logtest::native(logs + "\\Mixed\\Case"));
  ASSERT_TRUE(setup.startup());
  EXPECT_EQ(LoggerUnit::debugLevel(), 3);
  EXPECT_EQ(LoggerAgentFile::rotationScheme(),
            LoggerAgentFile::kRotateTime | LoggerAgentFile::kRotateSize);
  EXPECT_EQ(LoggerAgentFile::baseName(), "relayhub");
  EXPECT_EQ(setup.logDirectory, logs + "\\Mixed\\Case\\");  // the spelling is kept
  ASSERT_FALSE(setup.unit.isNull());
  ASSERT_FALSE(setup.centre.isNull());
  EXPECT_TRUE(setup.unit->debug(1, "hello"));
  EXPECT_NE(logtest::readAll(logs + "\\Mixed\\Case\\relayhub_debug.log").find(": hello\r\n"),
            std::string::npos);
}

TEST_F(LoggingSetupTest, MissingResourcesGiveLevelZero) {
  const auto key =
      testsupport::setEnvForScope("VEMORA_ENV", std::string("SOFTWARE\\Vemora\\EmptyForTest"));
  ASSERT_TRUE(setup.startup());
  EXPECT_EQ(LoggerUnit::debugLevel(), 0);
  EXPECT_EQ(LoggerAgentFile::rotationScheme(), 0);
  // A second start-up only reconfigures: without a reader that fails.
  EXPECT_FALSE(setup.startup());
}

TEST_F(LoggingSetupTest, LevelsThresholdAndTimeMode) {
  const struct {
    const char* entries;
    int debugLevel, threshold, timeMode;
  } rows[] = {
      {"", 0, 0, 1},
      {"log()=\"\"{ global()=\"\"{ debug-level(Integer)=3{} severity(String)=\"WARNING\"{} }"
       " time(String)=\"zulu\"{} }",
       3, 1, 2},
      {"log()=\"\"{ global()=\"\"{ debug-level(Integer)=7{} severity(String)=\"warning\"{} }"
       " time(String)=\"UTC\"{} }",
       3, 1, 0},
      {"log()=\"\"{ global()=\"\"{ severity(String)=\" NONE \"{} } time(String)=\"local\"{} }", 0,
       5, 1},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(configureWith(row.entries)) << row.entries;
    EXPECT_EQ(LoggerUnit::debugLevel(), row.debugLevel) << row.entries;
    EXPECT_EQ(LoggerUnit::severityThreshold(), row.threshold) << row.entries;
    EXPECT_EQ(LoggerUnit::timeMode(), row.timeMode) << row.entries;
  }
  // A second start-up on a started set reconfigures and answers for it.
  EXPECT_TRUE(setup.startup());
}

TEST_F(LoggingSetupTest, RotationKeys) {
  ASSERT_TRUE(configureWith("log()=\"\"{ rotation()=\"\"{ scheme(String)=\"Size\"{} } }"));
  EXPECT_EQ(LoggerAgentFile::rotationScheme(), LoggerAgentFile::kRotateSize);
  EXPECT_EQ(LoggerAgentFile::rotationSize(), 10);  // a missing size keeps 10 MiB
  EXPECT_EQ(LoggerAgentFile::rotationTimeSeconds(), 0);
  ASSERT_TRUE(configureWith(
      "log()=\"\"{ rotation()=\"\"{ scheme(String)=\"init,time\"{} time(TimeSpan)=\"P1D\"{}"
      " size(Integer)=2{} } }"));
  EXPECT_EQ(LoggerAgentFile::rotationScheme(),
            LoggerAgentFile::kRotateInit | LoggerAgentFile::kRotateTime);
  EXPECT_EQ(LoggerAgentFile::rotationTimeSeconds(), 86400);
  EXPECT_EQ(LoggerAgentFile::rotationSize(), 2);
}

TEST_F(LoggingSetupTest, BadRotationTimeKeepsTheDefaultAndIsReported) {
  const std::string levels = "global()=\"\"{ debug-level(Integer)=1{} }";
  // More seconds than 32 bits hold, and a text that is no time span.
  for (const char* value : {"P99999D", "1D"}) {
    ASSERT_TRUE(
        configureWith("log()=\"\"{ " + levels + " rotation()=\"\"{ time(TimeSpan)=\"P1D\"{} } }"));
    ASSERT_EQ(LoggerAgentFile::rotationTimeSeconds(), 86400);
    ASSERT_TRUE(configureWith("log()=\"\"{ " + levels + " rotation()=\"\"{ time(TimeSpan)=\"" +
                              value + "\"{} } }"))
        << value;
    EXPECT_EQ(LoggerAgentFile::rotationTimeSeconds(), 0) << value;
    EXPECT_EQ(LoggerUnit::debugLevel(), 1) << value;  // the rest still applies
  }
  const std::string text = logtest::readAll(logs + "\\relayhub_debug.log");
  const std::string note =
      ": LoggingSetup::configure: Bad value of \"log.rotation.time\"; the default is kept.\r\n";
  size_t notes = 0;
  for (size_t at = text.find(note); at != std::string::npos; at = text.find(note, at + 1)) ++notes;
  EXPECT_EQ(notes, 2u) << text;
}

TEST_F(LoggingSetupTest, ConfiguredLogFolderKeepsItsSpelling) {
  ASSERT_TRUE(setup.startup());
  LoggerUnit::setDebugLevel(5);
  setup.unit->debug(1, "before");
  const std::string levels = "log()=\"\"{ global()=\"\"{ debug-level(Integer)=5{} } }";
  ASSERT_TRUE(configureWith(levels + "Vemora()=\"\"{ directories()=\"\"{ log(DirName)=\"" + logs +
                            "\\New/Logs\"{} } }"));
  EXPECT_EQ(setup.logDirectory, logs + "\\New\\Logs\\");
  setup.unit->debug(1, "after");
  EXPECT_NE(logtest::readAll(logs + "\\New\\Logs\\relayhub_debug.log").find(": after\r\n"),
            std::string::npos);
  EXPECT_NE(logtest::readAll(logs + "\\relayhub_debug.log").find(": before\r\n"),
            std::string::npos);
  // The same folder spelt with other separators: nothing moves.
  ASSERT_TRUE(configureWith(levels + "Vemora()=\"\"{ directories()=\"\"{ log(DirName)=\"" + logs +
                            "/New//Logs/\"{} } }"));
  EXPECT_EQ(setup.logDirectory, logs + "\\New\\Logs\\");
  // Another case is another folder on this file system: the log moves.
  ASSERT_TRUE(configureWith(levels + "Vemora()=\"\"{ directories()=\"\"{ log(DirName)=\"" + logs +
                            "/new/LOGS\"{} } }"));
  EXPECT_EQ(setup.logDirectory, logs + "\\new\\LOGS\\");
  setup.unit->debug(1, "moved");
  EXPECT_NE(logtest::readAll(logs + "\\new\\LOGS\\relayhub_debug.log").find(": moved\r\n"),
            std::string::npos);
  EXPECT_EQ(logtest::readAll(logs + "\\New\\Logs\\relayhub_debug.log").find(": moved"),
            std::string::npos);
}

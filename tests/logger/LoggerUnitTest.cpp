#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "logger/LogCommons.h"
#include "logger/LoggerCentre.h"
#include "logger/LoggerInterface.h"
#include "logger/LoggerShell.h"
#include "logger/LoggerUnit.h"

using Vemora::LogCommons;
using Vemora::LoggerCentre;
using Vemora::LoggerInterface;
using Vemora::LoggerShell;
using Vemora::LoggerUnit;
using Vemora::LogMessenger;
using Vemora::LogRecord;
using Vemora::ParamStream;
using Vemora::SmartPointer;

class LoggerUnitTest : public ::testing::Test {
 protected:
  testsupport::ScopeGuard settings = logtest::keepLoggingSettings();
  void SetUp() override {
    LoggerUnit::setDebugLevel(5);
    LoggerUnit::setSeverityThreshold(0);
    capture = new logtest::CapturingMessenger();
    messenger = SmartPointer<LogMessenger>(capture);
    centre = SmartPointer<LoggerCentre>(new LoggerCentre(41, messenger));
  }
  // The records sent since the last call.
  std::vector<LogRecord> taken() {
    std::vector<LogRecord> records;
    for (const std::string& wire : capture->wires) {
      LogRecord r;
      EXPECT_TRUE(LogCommons::parseRecord(wire, r));
      records.push_back(r);
    }
    capture->wires.clear();
    return records;
  }
  logtest::CapturingMessenger* capture = nullptr;
  SmartPointer<LogMessenger> messenger;
  SmartPointer<LoggerCentre> centre;
};

TEST_F(LoggerUnitTest, CreationAndDestructionAreTraced) {
  {
    LoggerUnit unit(centre, 48);
    auto records = taken();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "LoggerUnit: Created logger for the relayhub module.");
    EXPECT_EQ(records[0].debugLevel, 1);
    EXPECT_EQ(records[0].applicationModule, 41);
    EXPECT_EQ(records[0].unitModule, 48);
  }
  auto records = taken();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, "LoggerUnit: Destroyed logger for the relayhub module.");
}

TEST_F(LoggerUnitTest, DebugLevelFilters) {
  LoggerUnit unit(centre, 48);
  taken();
  LoggerUnit::setDebugLevel(2);
  EXPECT_TRUE(unit.debug(3, "hidden"));
  EXPECT_TRUE(taken().empty());
  EXPECT_TRUE(unit.debug(2, std::string("shown %i"), ParamStream().addInt(9)));
  auto records = taken();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, "shown 9");
  EXPECT_EQ(records[0].kind, LogRecord::kDebug);
  EXPECT_EQ(records[0].messageId, LogRecord::kNoMessage);

  for (int ignored : {6, -1, 100}) {
    LoggerUnit::setDebugLevel(ignored);
    EXPECT_EQ(LoggerUnit::debugLevel(), 2);
  }
  LoggerUnit::setDebugLevel(0);
  EXPECT_TRUE(unit.debug(1, "none at level 0"));
  EXPECT_TRUE(taken().empty());
}

TEST_F(LoggerUnitTest, SeverityThresholdFilters) {
  LoggerUnit unit(centre, 48);
  taken();
  LoggerUnit::setSeverityThreshold(2);
  EXPECT_TRUE(unit.warning(3, ParamStream().addString("w")));
  EXPECT_TRUE(unit.notice(1));
  EXPECT_TRUE(taken().empty());
  EXPECT_TRUE(unit.error(4));
  EXPECT_TRUE(unit.fatal(5, ParamStream().addInt(1)));
  auto records = taken();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].severity, 2);
  EXPECT_EQ(records[0].messageId, 4);
  EXPECT_EQ(records[0].text, "");
  EXPECT_EQ(records[1].severity, 4);
  EXPECT_EQ(records[1].text, "n1\x1A");

  LoggerUnit::setSeverityThreshold(5);
  EXPECT_TRUE(unit.fatal(5));
  EXPECT_TRUE(taken().empty());
  // message() itself has no threshold test.
  EXPECT_TRUE(unit.message(0, 8, ""));
  EXPECT_EQ(taken().size(), 1u);
  LoggerUnit::setSeverityThreshold(6);
  EXPECT_EQ(LoggerUnit::severityThreshold(), 5);
}

TEST_F(LoggerUnitTest, ResultsWithoutCentreOrWithFailingMessenger) {
  LoggerUnit orphan(SmartPointer<LoggerCentre>(), 48);
  EXPECT_FALSE(orphan.debug(1, "x"));
  EXPECT_FALSE(orphan.message(0, 1, ""));
  LoggerUnit::setDebugLevel(1);
  EXPECT_TRUE(orphan.debug(2, "filtered before the centre is needed"));

  LoggerUnit unit(centre, 48);
  capture->result = false;
  EXPECT_FALSE(unit.error(1));
  EXPECT_FALSE(unit.debug(1, "x"));
}

TEST_F(LoggerUnitTest, InterfaceLevels) {
  const struct {
    int debugLevel, threshold, level;
  } rows[] = {{0, 0, 5}, {0, 1, 4}, {0, 2, 3}, {0, 3, 1}, {0, 4, 2}, {0, 5, 0},
              {1, 0, 6}, {2, 0, 7}, {3, 3, 7}, {4, 0, 8}, {5, 5, 9}};
  LoggerInterface logger(centre, 49);
  for (const auto& row : rows) {
    LoggerUnit::setDebugLevel(row.debugLevel);
    LoggerUnit::setSeverityThreshold(row.threshold);
    EXPECT_EQ(logger.level(), row.level) << row.debugLevel << "/" << row.threshold;
  }
}

TEST_F(LoggerUnitTest, InterfaceLogTable) {
  LoggerInterface logger(centre, 49);
  taken();
  const struct {
    int level;
    const char* text;
    int kind, severityOrLevel, id;
    const char* result;
  } rows[] = {
      {1, "12", LogRecord::kCatalogue, 3, 12, ""},
      {2, "13", LogRecord::kCatalogue, 4, 13, ""},
      {3, "14", LogRecord::kCatalogue, 2, 14, ""},
      {4, "15", LogRecord::kCatalogue, 1, 15, ""},
      {5, "", LogRecord::kCatalogue, 0, 0, ""},
      {1, "disk gone", LogRecord::kDebug, 1, LogRecord::kNoMessage, "CRITICAL: disk gone"},
      {2, "x", LogRecord::kDebug, 1, LogRecord::kNoMessage, "FATAL: x"},
      {3, "x", LogRecord::kDebug, 1, LogRecord::kNoMessage, "ERROR: x"},
      {4, "x", LogRecord::kDebug, 1, LogRecord::kNoMessage, "WARNING: x"},
      {5, "x", LogRecord::kDebug, 1, LogRecord::kNoMessage, "INFO: x"},
      {6, "12", LogRecord::kDebug, 1, LogRecord::kNoMessage, "12"},
      {7, "t", LogRecord::kDebug, 2, LogRecord::kNoMessage, "t"},
      {8, "t", LogRecord::kDebug, 4, LogRecord::kNoMessage, "t"},
      {9, "t", LogRecord::kDebug, 5, LogRecord::kNoMessage, "t"},
  };
  // The interface path has no threshold test.
  LoggerUnit::setSeverityThreshold(5);
  for (const auto& row : rows) {
    EXPECT_TRUE(logger.log(row.level, row.text, ParamStream()));
    auto records = taken();
    ASSERT_EQ(records.size(), 1u) << row.level << " " << row.text;
    EXPECT_EQ(records[0].kind, row.kind);
    EXPECT_EQ(row.kind == LogRecord::kDebug ? records[0].debugLevel : records[0].severity,
              row.severityOrLevel);
    EXPECT_EQ(records[0].messageId, row.id);
    if (row.kind == LogRecord::kDebug) {
      EXPECT_EQ(records[0].text, row.result);
    }
  }
  EXPECT_FALSE(logger.log(0, "x", ParamStream()));
  EXPECT_FALSE(logger.log(10, "x", ParamStream()));
  EXPECT_TRUE(logger.log(1, "7", ParamStream().addString("p")));
  EXPECT_EQ(taken()[0].text, "sp\x1A");
}

TEST_F(LoggerUnitTest, ShellEntryPoints) {
  LoggerInterface logger(centre, 49);
  LoggerShell shell;
  shell.debug1("nothing without an interface");
  EXPECT_FALSE(shell.hasDebug1());
  shell.setInterface(&logger);
  taken();
  LoggerUnit::setDebugLevel(3);
  EXPECT_TRUE(shell.hasDebug1());
  EXPECT_TRUE(shell.hasDebug2());
  EXPECT_FALSE(shell.hasDebug4());
  EXPECT_FALSE(shell.hasDebug5());
  shell.debug4("filtered");
  shell.debug2("two %s", LoggerShell::makeParams().addString("x"));
  shell.error("words here");
  shell.error("17");
  auto records = taken();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].text, "two x");
  EXPECT_EQ(records[0].debugLevel, 2);
  EXPECT_EQ(records[1].text, "ERROR: words here");
  EXPECT_EQ(records[1].debugLevel, 1);
  EXPECT_EQ(records[2].kind, LogRecord::kCatalogue);
  EXPECT_EQ(records[2].messageId, 17);
  EXPECT_EQ(records[2].severity, 2);
  shell.clearInterface();
  shell.debug1("gone");
  EXPECT_TRUE(taken().empty());
}

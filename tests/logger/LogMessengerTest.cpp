#include <gtest/gtest.h>

#include <string>

#include "LogTestSupport.h"
#include "logger/LogCommons.h"
#include "logger/LogMessenger.h"
#include "logger/LogRecord.h"
#include "logger/LoggerAgentFile.h"
#include "logger/ParamStream.h"

using Vemora::DateTime;
using Vemora::LogCommons;
using Vemora::LoggerAgentFile;
using Vemora::LogMessenger;
using Vemora::LogRecord;
using Vemora::ParamStream;

namespace {

std::string wireOf(int kind, int id, const std::string& text) {
  LogRecord r;
  r.kind = kind;
  r.applicationModule = 41;
  r.unitModule = 48;
  r.time = DateTime(1000);
  r.severity = 2;
  r.debugLevel = 1;
  r.messageId = kind == LogRecord::kCatalogue ? id : LogRecord::kNoMessage;
  r.text = text;
  r.threadId = 3;
  std::string wire;
  LogCommons::serializeRecord(r, wire);
  return wire;
}

const std::string kTime = DateTime(1000).toString(false, false);

}  // namespace

class LogMessengerTest : public ::testing::Test {
 protected:
  testsupport::ScopeGuard settings = logtest::keepLoggingSettings();
  void SetUp() override {
    LoggerAgentFile::resetSettings();
    LogMessenger::setThreadedLogging(false);
    LogMessenger::setCatalogue(nullptr);
    folder = logtest::freshFolder("logs");
    path = folder + "\\debug.log";
  }
  std::string folder;
  std::string path;
};

TEST_F(LogMessengerTest, WritesRecordsWithCatalogueTexts) {
  LogCommons catalogue;
  catalogue.addMessage(48, 5, "Listening on port %i.");
  LogMessenger messenger;
  ASSERT_TRUE(messenger.isOk());
  ASSERT_TRUE(messenger.setFile(path));
  // Without a catalogue every catalogue record is "not found".
  EXPECT_TRUE(messenger.send(wireOf(LogRecord::kCatalogue, 5, ParamStream().addInt(4000).text())));
  LogMessenger::setCatalogue(&catalogue);
  EXPECT_TRUE(messenger.send(wireOf(LogRecord::kCatalogue, 5, ParamStream().addInt(4000).text())));
  EXPECT_TRUE(
      messenger.send(wireOf(LogRecord::kCatalogue, 6, ParamStream().addString("a").text())));
  EXPECT_TRUE(messenger.send(wireOf(LogRecord::kDebug, 0, "Trace with %i kept")));
  EXPECT_FALSE(
      messenger.send("Other\x1C"
                     "DEBUG\x1C"));
  EXPECT_TRUE(messenger.writeLine("raw line"));
  const std::string text = logtest::readAll(path);
  const std::string expected =
      "ERROR    " + kTime + " (41.48.05) 3: (Message not found.) Parameters: 4000  \r\n" +
      "ERROR    " + kTime + " (41.48.05) 3: Listening on port 4000.\r\n" + "ERROR    " + kTime +
      " (41.48.06) 3: (Message not found.) Parameters: a  \r\n" + "debug-1  " + kTime +
      " (41.48)    3: Trace with %i kept\r\n" + "raw line\r\n";
  ASSERT_GE(text.size(), expected.size());
  EXPECT_EQ(text.substr(text.size() - expected.size()), expected) << text;
}

TEST_F(LogMessengerTest, UnusedPlainMessengerLeavesNoDefaultFile) {
  const std::string cwdFile = "Vemora_Debug.log";
  const bool before = logtest::exists(cwdFile);
  {
    LogMessenger messenger;
    EXPECT_EQ(messenger.agent()->target(), "file:///Vemora_Debug.log");
  }
  EXPECT_EQ(logtest::exists(cwdFile), before);
}

TEST_F(LogMessengerTest, ThreadedMessengerMovesBetweenFiles) {
  LogMessenger::setThreadedLogging(true);
  const std::string other = folder + "\\other.log";
  {
    LogMessenger messenger;
    ASSERT_TRUE(messenger.setFile(path));
    EXPECT_TRUE(messenger.writeLine("first"));
    ASSERT_TRUE(messenger.setFile(other));
    EXPECT_TRUE(messenger.writeLine("second"));
  }
  LogMessenger::setThreadedLogging(false);
  EXPECT_NE(logtest::readAll(path).find("\nfirst\n"), std::string::npos);
  EXPECT_NE(logtest::readAll(other).find("\nsecond\n"), std::string::npos);
}

#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LogTestSupport.h"
#include "logger/IPC.h"
#include "logger/LogCommons.h"
#include "logger/LogMessengerIPC.h"
#include "logger/LoggerCentre.h"
#include "logger/LoggerUnit.h"
#include "logger/MailSlot.h"
#include "platform/Mailslot.h"
#include "support/ScopeGuard.h"

using Vemora::IPC;
using Vemora::LogCommons;
using Vemora::LoggerCentre;
using Vemora::LoggerUnit;
using Vemora::LogMessenger;
using Vemora::LogMessengerIPC;
using Vemora::MailSlot;
using Vemora::ParamStream;
using Vemora::SmartPointer;

class LogMessengerIPCTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoggerUnit::setDebugLevel(5);
    LoggerUnit::setSeverityThreshold(0);
    LogMessenger::setThreadedLogging(true);
    folder = logtest::freshFolder("logs");
    path = folder + "\\relayhub.log";
  }
  testsupport::ScopeGuard settings = logtest::keepLoggingSettings();
  std::string folder;
  std::string path;
};

// The daemon's set-up: a receiver stands in for the core service.
TEST_F(LogMessengerIPCTest, CatalogueRecordsReachTheCoreServiceWhileTheFileIsWritten) {
  MailSlot core(IPC::kReceiver, "Vemora_Core");
  LogCommons catalogue;
  catalogue.addMessage(48, 20, "Agent %s connected.");
  LogMessenger::setCatalogue(&catalogue);
  auto* ipc = new LogMessengerIPC();
  SmartPointer<LogMessenger> messenger(ipc);
  ASSERT_TRUE(messenger->setFile(path));
  SmartPointer<LoggerCentre> centre(new LoggerCentre(41, messenger));
  std::vector<std::string> wires;
  {
    LoggerUnit unit(centre, 48);
    EXPECT_TRUE(unit.warning(20, ParamStream().addString("a1@host")));
    EXPECT_TRUE(unit.debug(2, "LoggerUnitTest: trace only"));
  }
  std::list<std::string> received;
  ASSERT_TRUE(logtest::waitFor([&]() {
    core.receive(received);
    return !received.empty();
  }));
  // Wait for the writer to put the trace written after the record into the
  // file: by then every forwarded record has arrived.
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(path).find("Destroyed logger") != std::string::npos; }));
  core.receive(received);
  ASSERT_EQ(received.size(), 1u);  // debug records stay in the process
  const std::string& record = received.front();
  const std::string prefix = "Vemora\x1BLOGMSG\x1B\x1B";
  ASSERT_EQ(record.compare(0, prefix.size(), prefix), 0);
  ASSERT_EQ(record.back(), '\x1B');
  const std::string wire = record.substr(prefix.size(), record.size() - prefix.size() - 1);
  Vemora::LogRecord forwarded;
  ASSERT_TRUE(LogCommons::parseRecord(wire, forwarded));
  EXPECT_EQ(forwarded.applicationModule, 41);
  EXPECT_EQ(forwarded.unitModule, 48);
  EXPECT_EQ(forwarded.severity, 1);
  EXPECT_EQ(forwarded.messageId, 20);
  EXPECT_EQ(forwarded.text, "sa1@host\x1A");  // unchanged: the parameters, not the text
  const std::string text = logtest::readAll(path);
  EXPECT_NE(text.find("WARNING  "), std::string::npos);
  EXPECT_NE(text.find(" (41.48.20) "), std::string::npos);
  EXPECT_NE(text.find(": Agent a1@host connected.\n"), std::string::npos) << text;
  EXPECT_NE(text.find(": LoggerUnitTest: trace only\n"), std::string::npos);
}

TEST_F(LogMessengerIPCTest, WithoutCoreServiceLinesAreStillWritten) {
  ASSERT_EQ(platform::Mailslot::open("Vemora_Core"), nullptr);  // no core service runs
  SmartPointer<LogMessenger> messenger(new LogMessengerIPC());
  ASSERT_TRUE(messenger->setFile(path));
  SmartPointer<LoggerCentre> centre(new LoggerCentre(41, messenger));
  LoggerUnit unit(centre, 48);
  // The forwarding fails; the answer is the file agent's.
  EXPECT_TRUE(unit.error(7));
  EXPECT_TRUE(unit.error(8));
  // Not parsable, so not written; but not a debug text either, so forwarded.
  EXPECT_FALSE(messenger->send("garbage"));
  ASSERT_TRUE(logtest::waitFor(
      [&]() { return logtest::readAll(path).find("(41.48.08) ") != std::string::npos; }));
  EXPECT_NE(logtest::readAll(path).find("(41.48.07) "), std::string::npos);
  // The messenger keeps trying: once the core service is there, the next
  // record reaches it.
  MailSlot core(IPC::kReceiver, "Vemora_Core");
  EXPECT_TRUE(unit.error(9));
  std::list<std::string> received;
  core.receive(received);
  ASSERT_EQ(received.size(), 1u);
  Vemora::LogRecord forwarded;
  const std::string prefix = "Vemora\x1BLOGMSG\x1B\x1B";
  ASSERT_EQ(received.front().compare(0, prefix.size(), prefix), 0);
  ASSERT_TRUE(LogCommons::parseRecord(received.front().substr(prefix.size()), forwarded));
  EXPECT_EQ(forwarded.messageId, 9);
}

TEST_F(LogMessengerIPCTest, WithoutCoreServiceTheAnswerIsTheFileAgents) {
  ASSERT_EQ(platform::Mailslot::open("Vemora_Core"), nullptr);
  LogMessenger::setThreadedLogging(false);
  SmartPointer<LogMessenger> messenger(new LogMessengerIPC());
  // The plain agent cannot open a file on another drive.
  ASSERT_TRUE(messenger->setFile("Q:\\logs\\relayhub.log"));
  SmartPointer<LoggerCentre> centre(new LoggerCentre(41, messenger));
  LoggerUnit unit(centre, 48);
  EXPECT_FALSE(unit.error(7));
  ASSERT_TRUE(messenger->setFile(path));
  EXPECT_TRUE(unit.error(7));
}

// A burst far beyond the few datagrams the kernel keeps per socket: the
// core service reads only after every record was sent, and gets them all.
// The senders wait for the receiver's reader thread to make room; how soon
// that thread runs is the machine's business, so the wait is lengthened to
// the suite's patience and the test decides by what arrives.
TEST_F(LogMessengerIPCTest, BurstOfCatalogueRecordsReachesTheCoreServiceWhole) {
  const auto wait = testsupport::setForScope(
      &MailSlot::fullWaitMs, &MailSlot::setFullWaitMs,
      static_cast<uint32_t>(std::chrono::milliseconds(logtest::kPatience).count()));
  MailSlot core(IPC::kReceiver, "Vemora_Core");
  SmartPointer<LogMessenger> messenger(new LogMessengerIPC());
  ASSERT_TRUE(messenger->setFile(path));
  SmartPointer<LoggerCentre> centre(new LoggerCentre(41, messenger));
  constexpr int kThreads = 4;
  constexpr int kPerThread = 200;
  {
    LoggerUnit unit(centre, 48);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&unit, t]() {
        for (int i = 0; i < kPerThread; ++i) {
          unit.warning(20, ParamStream().addInt(t).addInt(i));
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  std::list<std::string> received;
  core.receive(received);
  std::set<std::string> distinct;
  for (const std::string& record : received) {
    const std::string prefix = "Vemora\x1BLOGMSG\x1B\x1B";
    ASSERT_EQ(record.compare(0, prefix.size(), prefix), 0);
    Vemora::LogRecord forwarded;
    ASSERT_TRUE(LogCommons::parseRecord(record.substr(prefix.size()), forwarded));
    distinct.insert(forwarded.text);
  }
  EXPECT_EQ(received.size(), static_cast<size_t>(kThreads * kPerThread));
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kPerThread));
}

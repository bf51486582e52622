// The connections log: its lines, messages written in full once and then by
// id, the box dump at the end of a handshake, and the configuration switch.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "relayhub/ConnectionsLog.h"
#include "relayhub/RelayHub.h"
#include "support/FreePort.h"

namespace Vemora {
namespace {

std::string drive() {
  return std::getenv("VEMORA_DRIVE_C");
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

Message message(uint32_t id, const std::string& data) {
  Message m(id);
  m.setSource("alice", "h");
  m.setTarget(Address("bob", "h"));
  m.setData(data);
  // A fixed creation time and no time-out keep the dump the same in every
  // second, so only a change of contents makes it differ.
  m.setCreationTime(1700000000);
  m.setTimeout(0);
  return m;
}

class ConnectionsLogTest : public ::testing::Test {
 protected:
  ConnectionsLogTest() {
    std::filesystem::remove_all(drive() + "/clog");
    std::filesystem::create_directories(drive() + "/clog");
  }
  const std::string path = "C:/clog/relayhub_connections.log";
  std::string native() const { return drive() + "/clog/relayhub_connections.log"; }
};

TEST_F(ConnectionsLogTest, EventLinesAndAMessageInFullOnceThenById) {
  {
    ConnectionsLog log;
    ASSERT_TRUE(log.open(path));
    EXPECT_TRUE(log.logLine(Address("bob", "h"), "BEGIN", ""));
    EXPECT_TRUE(log.logLine(Address("bob", "h"), "NO BROADCAST", "3, 4"));
    log.logMessage(Address("bob", "h"), "PLAC", message(42, "one\ntwo"), true);
    log.logMessage(Address("bob", "h"), "PLAC", message(42, "one\ntwo"), true);
    log.logMessage(Address("bob", "h"), "PLAC", message(42, "changed"), true);
  }
  const std::string text = readAll(native());
  EXPECT_EQ(text.rfind("\nVemora RelayHub Connection Log opened at ", 0), 0u);
  EXPECT_NE(text.find(" bob@h BEGIN\n"), std::string::npos);
  EXPECT_NE(text.find(" bob@h NO BROADCAST: 3, 4\n"), std::string::npos);
  EXPECT_EQ(count(text, " bob@h PLAC\n"), 3u);
  // Full dumps for the first and the changed contents, the id in between.
  EXPECT_EQ(count(text, "   ID      : 42\n"), 2u);
  EXPECT_NE(text.find(" bob@h PLAC\n   MSG ID: 42\n"), std::string::npos);
  EXPECT_EQ(count(text, "MSG ID:"), 1u);
  // Every line of a dump is indented, and a dump ends with an empty line.
  const size_t dump = text.find("   ID      : 42\n");
  const size_t end = text.find("\n\n", dump);
  ASSERT_NE(end, std::string::npos);
  const std::string block = text.substr(dump, end - dump);
  EXPECT_EQ(count(block, "\n"), count(block, "\n   "));
  EXPECT_NE(text.find("\nLog file ended at "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

TEST_F(ConnectionsLogTest, ReopeningAppendsAndAClosedLogWritesNothing) {
  {
    ConnectionsLog log;
    ASSERT_TRUE(log.open(path));
  }
  {
    ConnectionsLog log;
    ASSERT_TRUE(log.open(path));
  }
  const std::string text = readAll(native());
  EXPECT_EQ(count(text, "Connection Log opened at "), 2u);
  EXPECT_EQ(count(text, "Log file ended at "), 2u);

  ConnectionsLog closed;
  EXPECT_FALSE(closed.open("C:/clog/missing/folder/x.log"));
  EXPECT_TRUE(closed.logLine(Address("bob", "h"), "BEGIN", ""));
  closed.logMessage(Address("bob", "h"), "PLAC", message(1, "x"), true);
  EXPECT_FALSE(std::filesystem::exists(drive() + "/clog/missing"));
}

using testsupport::freePort;

std::unique_ptr<RelayHub> configuredHub(std::atomic<bool>* stop, bool logOn) {
  std::filesystem::remove_all(drive() + "/chub");
  std::filesystem::create_directories(drive() + "/chub");
  std::ofstream(drive() + "/chub/hub.conf")
      << "relayhub()=\"\"{ port(Integer)=" << freePort()
      << "{}\n max-connections(Integer)=2{}\n mappings(DirName)=\"C:/chub/maps\"{}\n"
      << " connections-log(Bool)=" << (logOn ? "true" : "false") << "{}\n}\n"
      << "Vemora()=\"\"{ directories()=\"\"{ temp(DirName)=\"C:/chub/tmp\"{}\n"
         " bin(DirName)=\"C:/chub/bin\"{}\n log(DirName)=\"C:/chub/log\"{}\n}}\n";
  const char* argv[] = {"relayhub", "-c", "C:/chub/hub.conf"};
  auto hub = std::make_unique<RelayHub>(stop, 3, const_cast<char**>(argv));
  return hub->configure() ? std::move(hub) : nullptr;
}

TEST(ConnectionsLogHub, ABoxDumpWritesTheKeywordOnceAboveEachMessage) {
  std::atomic<bool> stop{false};
  auto hub = configuredHub(&stop, true);
  ASSERT_NE(hub, nullptr);
  ASSERT_TRUE(hub->connectionsLogOpen());
  for (uint32_t id = 1; id <= 3; ++id) ASSERT_TRUE(hub->place(message(id, "x"), true));
  hub->logMsgBoxContents(Address("bob", "h"));
  hub.reset();
  const std::string text = readAll(drive() + "/chub/tmp/relayhub_connections.log");
  EXPECT_EQ(count(text, " bob@h NEW MESSAGES\n"), 1u);
  EXPECT_EQ(count(text, "   ID      : "), 3u);
  EXPECT_EQ(count(text, "CACHED MESSAGES"), 0u);
  EXPECT_EQ(count(text, "NO BROADCAST"), 0u);
}

TEST(ConnectionsLogHub, SwitchedOffCreatesNoFile) {
  std::atomic<bool> stop{false};
  auto hub = configuredHub(&stop, false);
  ASSERT_NE(hub, nullptr);
  EXPECT_FALSE(hub->connectionsLogOpen());
  hub.reset();
  EXPECT_FALSE(std::filesystem::exists(drive() + "/chub/tmp/relayhub_connections.log"));
}

}  // namespace
}  // namespace Vemora

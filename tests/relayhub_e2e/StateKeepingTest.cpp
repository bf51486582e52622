// End-to-end tests of what the daemon keeps for its agents across restarts,
// letter case, broadcasts, stops in the middle of an EXTR, a second daemon
// on the same state folder, damaged files in the state folder and large
// items sent in pieces: every acknowledged message stays where its agent
// will look.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "relayhub_e2e/AgentClient.h"
#include "relayhub_e2e/DaemonFixture.h"

using e2e::AgentClient;
using e2e::FrameClient;
using e2e::WireMessage;

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> ids(const std::vector<WireMessage>& messages) {
  std::vector<uint32_t> out;
  for (const WireMessage& m : messages) out.push_back(m.id);
  return out;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

WireMessage message(uint32_t id, const std::string& fromName, const std::string& fromHost,
                    const std::string& toName, const std::string& toHost, const std::string& data) {
  WireMessage m;
  m.id = id;
  m.sourceName = fromName;
  m.sourceHost = fromHost;
  m.targetName = toName;
  m.targetHost = toHost;
  m.data = data;
  return m;
}

class StateKeepingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(startDaemon()); }

  bool startDaemon() {
    daemon.writeConfig(settings);
    return daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort();
  }
  void restart() {
    ASSERT_EQ(daemon.stop(), 10);
    ASSERT_TRUE(startDaemon());
  }
  std::string state() const { return daemon.root() + "/state/RelayHub"; }
  std::string boxDir(const std::string& dir) const { return state() + "/msgboxes/" + dir; }
  void placeFor(const std::string& to, const std::vector<uint32_t>& messageIds) {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "alice"));
    std::vector<WireMessage> batch;
    for (uint32_t id : messageIds) {
      batch.push_back(AgentClient::make(id, "alice", to, "data " + std::to_string(id)));
    }
    ASSERT_TRUE(alice.place(batch));
  }
  std::vector<uint32_t> fetch(const std::string& name, const std::string& host = "localhost") {
    AgentClient agent;
    EXPECT_TRUE(agent.connect(daemon.port()) && agent.handshake(name, host, 0, 1));
    const auto got = agent.extractAll();
    EXPECT_TRUE(got.has_value());
    return ids(got.value_or(std::vector<WireMessage>()));
  }

  e2e::DaemonFixture daemon;
  e2e::DaemonFixture::Settings settings = daemon.defaultSettings();
};

}  // namespace

TEST_F(StateKeepingTest, ARestartDoesNotAgeBoxesOutByTheirFileTime) {
  placeFor("bob", {10, 11});
  ASSERT_EQ(daemon.stop(), 10);
  // The box file was last rewritten two days ago; the idle sweep runs with
  // the default time-out of one day.
  const std::string file = boxDir("bob__localhost") + "/msgbox.txt";
  const long twoDaysAgo = static_cast<long>(time(nullptr)) - 2 * 86400;
  writeText(file,
            std::regex_replace(readText(file), std::regex("LastActivity\\(uint\\)\\{[0-9]*\\}"),
                               "LastActivity(uint){" + std::to_string(twoDaysAgo) + "}"));
  settings["relayhub.notify-agents"] = "(Bool)=true";
  ASSERT_TRUE(startDaemon());
  // An idle pass of the handler (which sweeps the boxes) has run.
  EXPECT_TRUE(daemon.waitForLog("RelayHub::waitIfNoConnections: TICK"));
  EXPECT_TRUE(fs::exists(boxDir("bob__localhost") + "/unsent/10.txt"));
  EXPECT_EQ(fetch("bob"), (std::vector<uint32_t>{10, 11}));
}

TEST_F(StateKeepingTest, AddressesCompareWithoutRegardToCase) {
  struct Case {
    std::string agentName, agentHost;
    WireMessage sent;
    std::string fetcherName, fetcherHost;
    int32_t expectType;
  };
  const std::vector<Case> cases = {
      // The reply to HELP goes to the request's source as written.
      {"Admin", "HostA",
       [] {
         WireMessage m = message(20, "Admin", "HostA", "", "", "HELP\n");
         m.type = 1;
         return m;
       }(),
       "Admin", "HostA", 4},
      // A target with capitals reaches the agent's (lower-case) box.
      {"alice", "localhost", message(21, "alice", "localhost", "Upper", "HostX", "hi"), "Upper",
       "HostX", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent.data);
    AgentClient sender;
    ASSERT_TRUE(sender.connect(daemon.port()) && sender.handshake(c.agentName, c.agentHost, 0, 1));
    ASSERT_TRUE(sender.place({c.sent}));
    AgentClient fetcher;
    ASSERT_TRUE(fetcher.connect(daemon.port()) &&
                fetcher.handshake(c.fetcherName, c.fetcherHost, 0, 1));
    const auto got = fetcher.extractAll();
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->size(), 1u);
    EXPECT_EQ(got->front().id, c.sent.id);
    EXPECT_EQ(got->front().type, c.expectType);
  }
  // The message keeps its fields as read; only the box key is lower case.
  EXPECT_TRUE(fs::exists(boxDir("upper__hostx")));
  EXPECT_FALSE(fs::exists(boxDir("Upper__HostX")));
  EXPECT_FALSE(fs::exists(boxDir("Admin__HostA")));
}

TEST_F(StateKeepingTest, ABroadcastThatCannotBeStoredGetsNoAck) {
  ASSERT_EQ(daemon.stop(), 10);
  writeText(state() + "/broadcast", "in the way");  // no broadcast file can be made
  ASSERT_TRUE(startDaemon());
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.frame().sendString("PLAC"));
  ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  ASSERT_TRUE(alice.frame().sendU32(1));
  ASSERT_TRUE(alice.frame().sendString(AgentClient::make(30, "alice", "*", "wide").toText()));
  EXPECT_TRUE(alice.frame().waitClosed());
  EXPECT_TRUE(daemon.waitForLog("Could not store"));
}

TEST_F(StateKeepingTest, StopsInTheMiddleOfExtractsLoseNothing) {
  placeFor("bob", {40, 41, 42, 43, 44});
  for (int stop = 0; stop < 2; ++stop) {
    SCOPED_TRACE(stop);
    AgentClient bob;
    ASSERT_TRUE(bob.open(daemon.port(), "bob"));
    ASSERT_TRUE(bob.frame().sendString("EXTR"));
    ASSERT_EQ(bob.frame().readRaw(), std::optional<std::string>("ACK"));
    ASSERT_EQ(bob.frame().readU32(), std::optional<uint32_t>(5));
    ASSERT_TRUE(bob.frame().readString().has_value());
    ASSERT_TRUE(bob.frame().readString().has_value());  // the first, never acknowledged
    restart();
  }
  // The same instance of the agent gets every message again.
  EXPECT_EQ(fetch("bob"), (std::vector<uint32_t>{40, 41, 42, 43, 44}));
}

TEST_F(StateKeepingTest, ASecondDaemonOnTheSameStateFolderEndsWith21) {
  e2e::DaemonFixture::Settings other = settings;
  other["relayhub.port"] = "(Integer)=" + std::to_string(e2e::DaemonFixture::freePort());
  const std::string config = daemon.writeConfig(other, "other.conf");
  // Its single-instance guard lives elsewhere, so only the state folder's
  // own lock keeps it out.
  fs::create_directories(daemon.root() + "/locks2");
  daemon.setLockFolder("locks2");
  EXPECT_EQ(daemon.runOnce({"-c", config}), 21);
  daemon.setLockFolder("locks");
  EXPECT_TRUE(daemon.running());
  placeFor("bob", {50});
  EXPECT_EQ(fetch("bob"), std::vector<uint32_t>{50});
}

TEST_F(StateKeepingTest, DamagedFilesAreReportedKeptAndTheGoodMessagesDelivered) {
  placeFor("bob", {60, 61, 62, 63});
  placeFor("carol", {64});
  ASSERT_EQ(daemon.stop(), 10);
  const std::string bob = boxDir("bob__localhost");
  const std::string good = readText(bob + "/unsent/60.txt");
  const std::string carolBox = boxDir("carol__localhost") + "/msgbox.txt";
  const struct {
    std::string path, text;
  } damage[] = {
      {bob + "/unsent/61.txt", readText(bob + "/unsent/61.txt").substr(0, 40)},  // truncated
      {bob + "/unsent/62.txt", "garbage {{{ ))"},
      {bob + "/unsent/63.txt", ""},
      {bob + "/unsent/notes.txt", good},  // not a message's name
      {carolBox, readText(carolBox).substr(0, 30)},
  };
  for (const auto& d : damage) writeText(d.path, d.text);
  ASSERT_TRUE(startDaemon());
  EXPECT_EQ(fetch("bob"), std::vector<uint32_t>{60});
  // A box whose file is damaged comes back from its folder's name.
  EXPECT_EQ(fetch("carol"), std::vector<uint32_t>{64});
  // A new message never takes the place of a file that could not be read.
  {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "alice"));
    ASSERT_TRUE(alice.frame().sendString("PLAC"));
    ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
    ASSERT_TRUE(alice.frame().sendU32(1));
    ASSERT_TRUE(alice.frame().sendString(AgentClient::make(62, "alice", "bob", "new").toText()));
    EXPECT_TRUE(alice.frame().waitClosed());
  }
  ASSERT_TRUE(daemon.waitForLog("carol__localhost/msgbox.txt\" could not be read"));
  const std::string log = daemon.logText();
  for (const auto& d : damage) {
    SCOPED_TRACE(d.path);
    EXPECT_EQ(readText(d.path), d.text);
    const std::string relative = d.path.substr(state().size() + 1);
    EXPECT_NE(log.find("\"" + relative + "\" could not be read"), std::string::npos);
  }
}

// How long an item may take, and the 3-second rule while it comes, are
// decided on a clock the test keeps (tests/relayhub/ItemTimeLimitsTest.cpp).
// Here the real daemon puts a large item together from many small sends,
// read as they come, acknowledges it and delivers it.
TEST_F(StateKeepingTest, ALargeItemInManySmallPiecesCompletes) {
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.frame().sendString("PLAC"));
  ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  ASSERT_TRUE(alice.frame().sendU32(1));
  WireMessage m = AgentClient::make(70, "alice", "bob", std::string(21 * 1024, 'z'));
  const std::string item = FrameClient::stringItem(m.toText());
  const size_t piece = 640;
  for (size_t sent = 0; sent < item.size(); sent += piece) {
    ASSERT_TRUE(alice.frame().sendRaw(item.substr(sent, piece))) << sent;
  }
  EXPECT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  EXPECT_EQ(fetch("bob"), std::vector<uint32_t>{70});
}

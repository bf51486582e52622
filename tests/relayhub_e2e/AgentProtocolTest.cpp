// End-to-end tests of the agent protocol against the real relayhub: a small
// agent speaking the framing over TCP places and fetches messages, breaks
// batches, goes silent, announces huge items and survives a kill -9.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "relayhub_e2e/AgentClient.h"
#include "relayhub_e2e/DaemonFixture.h"

using e2e::AgentClient;
using e2e::FrameClient;
using e2e::WireMessage;

namespace {

std::vector<WireMessage> batch(uint32_t firstId, int count, const std::string& from,
                               const std::string& to) {
  std::vector<WireMessage> out;
  for (int i = 0; i < count; ++i) {
    out.push_back(AgentClient::make(firstId + i, from, to, "data " + std::to_string(i)));
  }
  return out;
}

std::vector<uint32_t> ids(const std::vector<WireMessage>& messages) {
  std::vector<uint32_t> out;
  for (const WireMessage& m : messages) out.push_back(m.id);
  return out;
}

// Resident memory of a process in kB (0 when unreadable).
long residentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

class AgentProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(startDaemon()); }

  // The configuration is named as the daemon sees it: below its drive C.
  bool startDaemon() {
    daemon.writeConfig();
    return daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort();
  }

  std::string boxDir(const std::string& name) const {
    return daemon.root() + "/state/RelayHub/msgboxes/" + name + "__localhost";
  }
  // EXTR by hand up to the first message, for tests that break the batch.
  void startExtract(AgentClient& agent, uint32_t expectCount) {
    ASSERT_TRUE(agent.frame().sendString("EXTR"));
    ASSERT_EQ(agent.frame().readRaw(), std::optional<std::string>("ACK"));
    ASSERT_EQ(agent.frame().readU32(), std::optional<uint32_t>(expectCount));
    ASSERT_TRUE(agent.frame().readString().has_value());
  }
  WireMessage readMessage(AgentClient& agent) {
    const auto text = agent.frame().readString();
    EXPECT_TRUE(text.has_value());
    const auto m = WireMessage::parse(text.value_or(""));
    EXPECT_TRUE(m.has_value());
    return m.value_or(WireMessage());
  }

  e2e::DaemonFixture daemon;
};

TEST_F(AgentProtocolTest, FullSession) {
  AgentClient alice;
  std::string status;
  ASSERT_TRUE(alice.connect(daemon.port()));
  ASSERT_TRUE(alice.handshake("Alice", "LocalHost", 0, 1, 0, &status));
  EXPECT_EQ(status, "backup=no\n");
  WireMessage m = AgentClient::make(1001, "alice", "bob", "hello");
  m.header = "greeting";
  m.priority = 1;
  ASSERT_TRUE(alice.place({m}));

  AgentClient bob;
  ASSERT_TRUE(bob.connect(daemon.port()));
  ASSERT_TRUE(bob.handshake("bob", "localhost", 0, 1, 0, &status));
  EXPECT_EQ(status, "backup=yes\n");
  const auto got = bob.extract();
  ASSERT_TRUE(got.has_value());
  ASSERT_EQ(got->count, 1u);
  EXPECT_EQ(got->indicator, "all");
  const WireMessage& r = got->messages.at(0);
  EXPECT_EQ(r.id, 1001u);
  EXPECT_EQ(r.sourceName, "alice");
  EXPECT_EQ(r.targetName, "bob");
  EXPECT_EQ(r.header, "greeting");
  EXPECT_EQ(r.data, "hello");
  EXPECT_EQ(r.priority, 1);
  EXPECT_GT(r.remainingMs.value_or(0), 3000000u);
  // Nothing more waits.
  const auto again = bob.extract();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->count, 0u);

  // PLAC with no messages is acknowledged once.
  ASSERT_TRUE(alice.place({}));
  ASSERT_TRUE(alice.end());
  EXPECT_TRUE(alice.frame().waitClosed());
  ASSERT_TRUE(bob.end());
  EXPECT_TRUE(bob.frame().waitClosed());
}

TEST_F(AgentProtocolTest, TwentyFiveWaitingComeAsTwentyAndFive) {
  AgentClient alice, bob;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place(batch(1, 25, "alice", "bob")));
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  const auto first = bob.extract();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->count, 20u);
  EXPECT_EQ(first->indicator, "more");
  const auto second = bob.extract();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->count, 5u);
  EXPECT_EQ(second->indicator, "all");
  std::vector<uint32_t> all = ids(first->messages);
  for (uint32_t id : ids(second->messages)) all.push_back(id);
  std::vector<uint32_t> expected;
  for (uint32_t id = 1; id <= 25; ++id) expected.push_back(id);
  EXPECT_EQ(all, expected);
}

TEST_F(AgentProtocolTest, NacMidBatchDeliversTheRestAgain) {
  AgentClient alice, bob;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place(batch(10, 3, "alice", "bob")));
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  startExtract(bob, 3);
  EXPECT_EQ(readMessage(bob).id, 10u);
  ASSERT_TRUE(bob.frame().sendAck());
  EXPECT_EQ(readMessage(bob).id, 11u);
  ASSERT_TRUE(bob.frame().sendNac());
  EXPECT_TRUE(bob.frame().waitClosed());

  AgentClient again;
  ASSERT_TRUE(again.open(daemon.port(), "bob"));
  const auto rest = again.extractAll();
  ASSERT_TRUE(rest.has_value());
  EXPECT_EQ(ids(*rest), (std::vector<uint32_t>{11, 12}));
}

TEST_F(AgentProtocolTest, DropAfterTheSecondMessageDeliversTheRestAgain) {
  AgentClient alice, bob;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place(batch(20, 3, "alice", "bob")));
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  startExtract(bob, 3);
  EXPECT_EQ(readMessage(bob).id, 20u);
  ASSERT_TRUE(bob.frame().sendAck());
  EXPECT_EQ(readMessage(bob).id, 21u);
  bob.frame().close();

  AgentClient again;
  ASSERT_TRUE(again.open(daemon.port(), "bob"));
  // The daemon notices the drop on its next pass; wait for the re-placed
  // messages with a generous bound.
  std::vector<uint32_t> got;
  for (int i = 0; i < 50 && got.size() < 2; ++i) {
    const auto rest = again.extractAll();
    ASSERT_TRUE(rest.has_value());
    for (uint32_t id : ids(*rest)) got.push_back(id);
    if (got.size() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(got, (std::vector<uint32_t>{21, 22}));
}

TEST_F(AgentProtocolTest, AnotherInstanceIdGetsTheUnconfirmedAgain) {
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place(batch(30, 2, "alice", "bob")));
  {
    AgentClient bob;
    ASSERT_TRUE(bob.open(daemon.port(), "bob", 1));
    const auto got = bob.extractAll();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(ids(*got), (std::vector<uint32_t>{30, 31}));
    ASSERT_TRUE(bob.end());
  }
  {
    AgentClient sameInstance;
    ASSERT_TRUE(sameInstance.open(daemon.port(), "bob", 1));
    const auto got = sameInstance.extractAll();
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(got->empty());
  }
  AgentClient restarted;
  ASSERT_TRUE(restarted.open(daemon.port(), "bob", 2));
  const auto got = restarted.extractAll();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(ids(*got), (std::vector<uint32_t>{30, 31}));
}

TEST_F(AgentProtocolTest, UnknownTaskGetsTheStringNacAndClose) {
  AgentClient agent;
  ASSERT_TRUE(agent.open(daemon.port(), "alice"));
  ASSERT_TRUE(agent.frame().sendString("plac"));
  EXPECT_EQ(agent.frame().readString(), std::optional<std::string>("NAC"));
  EXPECT_TRUE(agent.frame().waitClosed());
}

TEST_F(AgentProtocolTest, SilentAgentIsDroppedAfterThreeSeconds) {
  AgentClient agent;
  ASSERT_TRUE(agent.open(daemon.port(), "alice"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(agent.frame().waitClosed(15000));
  const auto waited = std::chrono::steady_clock::now() - start;
  // More than 3 whole seconds since its last byte (the clock counts whole
  // seconds, so the drop comes between 3 and 5 seconds later).
  EXPECT_GE(waited, std::chrono::milliseconds(2900));
}

TEST_F(AgentProtocolTest, AnnouncedFourGigabyteStringIsRefusedWithoutGrowth) {
  const long before = residentKb(daemon.pid());
  AgentClient agent;
  ASSERT_TRUE(agent.open(daemon.port(), "alice"));
  ASSERT_TRUE(agent.frame().sendRaw("STR" + e2e::FrameClient::field("4294967295", 10) + "abc"));
  EXPECT_TRUE(agent.frame().waitClosed(10000));
  const long after = residentKb(daemon.pid());
  EXPECT_LT(after - before, 64 * 1024) << before << " kB -> " << after << " kB";
  // The daemon still serves others.
  AgentClient other;
  ASSERT_TRUE(other.open(daemon.port(), "bob"));
  EXPECT_TRUE(other.place(batch(40, 1, "bob", "carol")));
}

TEST_F(AgentProtocolTest, AcknowledgedMessageSurvivesKillNine) {
  {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "alice"));
    ASSERT_TRUE(alice.place(batch(50, 1, "alice", "bob")));
    ASSERT_TRUE(daemon.signal(SIGKILL));
    EXPECT_EQ(daemon.waitExit(), 128 + SIGKILL);
  }
  ASSERT_TRUE(startDaemon());
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  const auto got = bob.extractAll();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(ids(*got), std::vector<uint32_t>{50});
}

TEST_F(AgentProtocolTest, OneCorruptBoxDoesNotStopTheOthers) {
  {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "alice"));
    ASSERT_TRUE(alice.place(batch(60, 1, "alice", "bob")));
    ASSERT_TRUE(alice.place(batch(61, 1, "alice", "carol")));
  }
  EXPECT_EQ(daemon.stop(), 10);
  const std::string corrupt = boxDir("bob") + "/msgbox.txt";
  ASSERT_TRUE(std::filesystem::exists(corrupt));
  std::ofstream(corrupt, std::ios::trunc) << "not a box at all {{{";
  ASSERT_TRUE(startDaemon());
  AgentClient carol;
  ASSERT_TRUE(carol.open(daemon.port(), "carol"));
  const auto got = carol.extractAll();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(ids(*got), std::vector<uint32_t>{61});
  // The unreadable box is reported and left as it was.
  std::ifstream in(corrupt);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "not a box at all {{{");
  EXPECT_TRUE(std::filesystem::exists(boxDir("bob") + "/unsent/60.txt"));
}

TEST_F(AgentProtocolTest, EmptyStringAsTheLastBytesIsStillAnItem) {
  AgentClient agent;
  ASSERT_TRUE(agent.open(daemon.port(), "alice"));
  // An empty task: nothing more is readable after it, yet it is answered.
  ASSERT_TRUE(agent.frame().sendString(""));
  EXPECT_EQ(agent.frame().readString(), std::optional<std::string>("NAC"));
  EXPECT_TRUE(agent.frame().waitClosed());
}

TEST_F(AgentProtocolTest, TextWithoutAMessageIsAcknowledgedAndNotPlaced) {
  // Only an id and a source: no target, so it cannot reach any box.
  std::string partial = "method=none\n";
  partial += std::string(1, 9) + "81" + std::string(1, 0) + std::string(1, 1) + "alice" +
             std::string(1, 0);
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.frame().sendString("PLAC"));
  ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  ASSERT_TRUE(alice.frame().sendU32(5));
  // Each is acknowledged, so the messages behind it are not held up.
  for (const std::string& text : {std::string("garbage"), std::string("method=none\n"), partial}) {
    ASSERT_TRUE(alice.frame().sendString(text));
    EXPECT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK")) << text;
  }
  // A later message of a connection never inherits fields of the one before.
  ASSERT_TRUE(alice.frame().sendString(AgentClient::make(80, "alice", "bob", "first").toText()));
  ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  ASSERT_TRUE(alice.frame().sendString(partial));
  ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  const auto got = bob.extractAll();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(ids(*got), std::vector<uint32_t>{80});
  // Nothing else was placed: no box for an empty address, and the
  // connection is named in the log.
  std::vector<std::string> boxes;
  for (const auto& entry :
       std::filesystem::directory_iterator(daemon.root() + "/state/RelayHub/msgboxes")) {
    boxes.push_back(entry.path().filename().string());
  }
  std::sort(boxes.begin(), boxes.end());
  EXPECT_EQ(boxes, (std::vector<std::string>{"bob__localhost"}));
  EXPECT_TRUE(daemon.waitForLog("holds no message; it was acknowledged and not placed"));
  EXPECT_NE(daemon.logText().find("alice@localhost"), std::string::npos);
}

TEST_F(AgentProtocolTest, NoAckWhenTheMessageCannotBeStored) {
  EXPECT_EQ(daemon.stop(), 10);
  // A file where the boxes' folder belongs: nothing can be stored.
  std::filesystem::create_directories(daemon.root() + "/state/RelayHub");
  std::ofstream(daemon.root() + "/state/RelayHub/msgboxes") << "in the way";
  ASSERT_TRUE(startDaemon());
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.frame().sendString("PLAC"));
  ASSERT_EQ(alice.frame().readRaw(), std::optional<std::string>("ACK"));
  ASSERT_TRUE(alice.frame().sendU32(1));
  ASSERT_TRUE(alice.frame().sendString(AgentClient::make(90, "alice", "bob", "x").toText()));
  EXPECT_TRUE(alice.frame().waitClosed());
}

TEST_F(AgentProtocolTest, OneByteEveryTwoSecondsCannotHoldASlot) {
  FrameClient slow;
  ASSERT_TRUE(slow.connect(daemon.port()));
  ASSERT_EQ(slow.readRaw(), std::optional<std::string>("ACK"));
  ASSERT_TRUE(slow.readU32().has_value());
  ASSERT_TRUE(slow.sendU32(2));
  ASSERT_EQ(slow.readRaw(), std::optional<std::string>("ACK"));
  // A type string that never ends, one byte at a time: each byte keeps the
  // 3-second rule happy, the bound on the whole handshake does not.
  const std::string item = FrameClient::field("100000", 10);
  bool closed = false;
  ASSERT_TRUE(slow.sendRaw("STR"));
  for (int i = 0; i < 40 && !closed; ++i) {
    closed = !slow.sendRaw(std::string(1, i < 10 ? item[i] : 'x')) || slow.waitClosed(2000);
  }
  EXPECT_TRUE(closed);
}

TEST_F(AgentProtocolTest, HandshakeRefusals) {
  struct Case {
    uint32_t version;
    std::string type;
    std::optional<std::string> answer;  // raw answer before the close
  };
  const Case cases[] = {
      {3, "", std::string("NAC")},
      {0, "", std::string("NAC")},
      {2, "ROUTER", std::string("NAC")},
      {2, "agent", std::nullopt},
  };
  for (const Case& c : cases) {
    FrameClient client;
    ASSERT_TRUE(client.connect(daemon.port()));
    ASSERT_EQ(client.readRaw(), std::optional<std::string>("ACK"));
    ASSERT_TRUE(client.readU32().has_value());
    ASSERT_TRUE(client.sendU32(c.version));
    if (!c.type.empty()) {
      ASSERT_EQ(client.readRaw(), std::optional<std::string>("ACK"));
      ASSERT_TRUE(client.sendString(c.type));
    }
    if (c.answer) {
      EXPECT_EQ(client.readRaw(), c.answer) << c.version << c.type;
    }
    EXPECT_TRUE(client.waitClosed()) << c.version << c.type;
  }
}

TEST_F(AgentProtocolTest, SigResetDropsTheBoxUntilTheNextStart) {
  {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "alice"));
    ASSERT_TRUE(alice.place(batch(100, 2, "alice", "bob")));
  }
  {
    AgentClient bob;
    ASSERT_TRUE(bob.connect(daemon.port()));
    ASSERT_TRUE(bob.handshake("bob", "localhost", 0, 1, 1));
    const auto got = bob.extractAll();
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(got->empty());
    ASSERT_TRUE(bob.end());
  }
  EXPECT_EQ(daemon.stop(), 10);
  ASSERT_TRUE(startDaemon());
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  const auto got = bob.extractAll();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(ids(*got), (std::vector<uint32_t>{100, 101}));
}

}  // namespace

// A peer that asks for a message larger than any socket buffer and stops
// reading holds only its own connection: the other agents are served while
// the daemon still holds the rest of that message (a send that waited for
// the peer would stall them until the send time limit ended the stuck
// connection), and the peer, once it reads again, gets its message whole.
TEST(StuckReader, HoldsUpNoOtherAgent) {
  // Traces would copy the large message many times over: few of them here.
  e2e::DaemonFixture daemon;
  e2e::DaemonFixture::Settings settings = daemon.defaultSettings();
  settings["relayhub.log.debug-level"] = "(Integer)=1";
  settings["log.global.debug-level"] = "(Integer)=1";
  daemon.writeConfig(settings);
  ASSERT_TRUE(daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort());
  const std::string big(12u * 1024u * 1024u, 'b');
  {
    AgentClient carol;
    ASSERT_TRUE(carol.open(daemon.port(), "carol"));
    FrameClient& f = carol.frame();
    ASSERT_TRUE(f.sendString("PLAC"));
    ASSERT_EQ(f.readRaw(), std::optional<std::string>("ACK"));
    ASSERT_TRUE(f.sendU32(1));
    ASSERT_TRUE(f.sendString(AgentClient::make(900, "carol", "stuck", big).toText()));
    ASSERT_EQ(f.readRaw(60000), std::optional<std::string>("ACK"));
    carol.end();
  }
  AgentClient stuck;
  ASSERT_TRUE(stuck.open(daemon.port(), "stuck"));
  ASSERT_TRUE(stuck.frame().sendString("EXTR"));

  // While `stuck` reads nothing, a whole session of two other agents runs.
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place({AgentClient::make(901, "alice", "bob", "small")}));
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  const auto got = bob.extractAll();
  ASSERT_TRUE(got.has_value());
  ASSERT_EQ(got->size(), 1u);
  EXPECT_EQ((*got)[0].id, 901u);
  EXPECT_EQ((*got)[0].data, "small");

  EXPECT_EQ(stuck.frame().readRaw(), std::optional<std::string>("ACK"));
  EXPECT_EQ(stuck.frame().readU32(), std::optional<uint32_t>(1));
  EXPECT_EQ(stuck.frame().readString(), std::optional<std::string>("all"));
  const auto text = stuck.frame().readString(60000);
  ASSERT_TRUE(text.has_value());
  const auto m = WireMessage::parse(*text);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->id, 900u);
  EXPECT_TRUE(m->data == big);
}

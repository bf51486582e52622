// End-to-end tests of broadcasts and agent call-backs against the real
// relayhub: a wildcard target reaches boxes that exist and boxes made later,
// survives a restart and comes again after SIG_REBROADCAST; an agent with
// HIGH mail waiting is called back on its own port with "UPDATE".
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "relayhub_e2e/AgentClient.h"
#include "relayhub_e2e/DaemonFixture.h"
#include "support/CallBackPort.h"

using e2e::AgentClient;
using e2e::WireMessage;
using testsupport::CallBackPort;

namespace {

constexpr int32_t kSigRebroadcast = 2;

std::vector<uint32_t> fetchIds(AgentClient& agent) {
  std::vector<uint32_t> out;
  const auto all = agent.extractAll();
  EXPECT_TRUE(all.has_value());
  for (const WireMessage& m : all.value_or(std::vector<WireMessage>())) out.push_back(m.id);
  return out;
}

class BroadcastCallBackTest : public ::testing::Test {
 protected:
  bool start(bool notifyAgents, const std::string& agentsTimeout = "P1D") {
    auto settings = daemon.defaultSettings();
    if (notifyAgents) settings["relayhub.notify-agents"] = "(Bool)=true";
    settings["relayhub.agents-timeout"] = "(TimeSpan)=\"" + agentsTimeout + "\"";
    daemon.writeConfig(settings);
    return daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort();
  }

  e2e::DaemonFixture daemon;
};

TEST_F(BroadcastCallBackTest, BroadcastReachesOldAndNewBoxesAcrossARestart) {
  ASSERT_TRUE(start(false));
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));
  EXPECT_TRUE(fetchIds(bob).empty());  // bob now has a box

  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  WireMessage wide = AgentClient::make(7001, "alice", "*", "to everyone");
  wide.targetHost = "local*";
  ASSERT_TRUE(alice.place({wide}));
  EXPECT_EQ(fetchIds(bob), std::vector<uint32_t>{7001});
  EXPECT_TRUE(fetchIds(bob).empty());
  EXPECT_TRUE(std::filesystem::exists(daemon.root() + "/state/RelayHub/broadcast/7001.txt"));

  AgentClient carol;
  ASSERT_TRUE(carol.open(daemon.port(), "carol"));
  EXPECT_EQ(fetchIds(carol), std::vector<uint32_t>{7001});
  ASSERT_TRUE(alice.end());
  ASSERT_TRUE(bob.end());
  ASSERT_TRUE(carol.end());
  EXPECT_EQ(daemon.stop(), 10);

  ASSERT_TRUE(daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort());
  AgentClient dave;
  ASSERT_TRUE(dave.open(daemon.port(), "dave"));
  EXPECT_EQ(fetchIds(dave), std::vector<uint32_t>{7001});
  // SIG_REBROADCAST offers the list to an existing box again.
  AgentClient again;
  ASSERT_TRUE(again.connect(daemon.port()));
  ASSERT_TRUE(again.handshake("dave", "localhost", 0, 1, kSigRebroadcast));
  EXPECT_EQ(fetchIds(again), std::vector<uint32_t>{7001});
  ASSERT_TRUE(again.end());
  ASSERT_TRUE(dave.end());
  EXPECT_EQ(daemon.stop(), 10);
}

TEST_F(BroadcastCallBackTest, AgentIsCalledBackOnceForHighMail) {
  ASSERT_TRUE(start(true));
  CallBackPort port;
  {
    AgentClient bob;
    ASSERT_TRUE(bob.connect(daemon.port()));
    ASSERT_TRUE(bob.handshake("bob", "localhost", port.port(), 1));
    EXPECT_TRUE(fetchIds(bob).empty());  // the box learns the port here
    ASSERT_TRUE(bob.end());
    EXPECT_TRUE(bob.frame().waitClosed());
  }
  {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "alice"));
    WireMessage m = AgentClient::make(7101, "alice", "bob", "urgent");
    m.priority = 1;
    ASSERT_TRUE(alice.place({m}));
    ASSERT_TRUE(alice.end());
    EXPECT_TRUE(alice.frame().waitClosed());
  }
  // The idle handler calls bob back: one framed string "UPDATE".
  EXPECT_EQ(port.receive(20000), std::string("STR") + "6" + std::string(9, '\0') + "UPDATE");
  // Not again while the HIGH mail waits unfetched.
  EXPECT_EQ(port.receive(1500), "");

  AgentClient bob;
  ASSERT_TRUE(bob.connect(daemon.port()));
  ASSERT_TRUE(bob.handshake("bob", "localhost", port.port(), 1));
  EXPECT_EQ(fetchIds(bob), std::vector<uint32_t>{7101});
  ASSERT_TRUE(bob.end());
  EXPECT_EQ(daemon.stop(), 10);
}

TEST_F(BroadcastCallBackTest, NoCallBackWithNotifyAgentsOff) {
  ASSERT_TRUE(start(false));
  CallBackPort port;
  AgentClient bob;
  ASSERT_TRUE(bob.connect(daemon.port()));
  ASSERT_TRUE(bob.handshake("bob", "localhost", port.port(), 1));
  EXPECT_TRUE(fetchIds(bob).empty());
  ASSERT_TRUE(bob.end());
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  WireMessage m = AgentClient::make(7201, "alice", "bob", "urgent");
  m.priority = 1;
  ASSERT_TRUE(alice.place({m}));
  ASSERT_TRUE(alice.end());
  EXPECT_EQ(port.receive(2000), "");
  EXPECT_EQ(daemon.stop(), 10);
}

TEST_F(BroadcastCallBackTest, InactiveBoxIsRemovedWithItsFiles) {
  ASSERT_TRUE(start(true, "P1S"));
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place({AgentClient::make(7301, "alice", "carol", "waits")}));
  ASSERT_TRUE(alice.end());
  EXPECT_TRUE(alice.frame().waitClosed());
  const std::string carol = daemon.root() + "/state/RelayHub/msgboxes/carol__localhost";
  EXPECT_TRUE(daemon.waitForLog("going to remove it"));
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = !std::filesystem::exists(carol);
    if (!gone) ::usleep(100000);
  }
  EXPECT_TRUE(gone);
  // A later agent of that name finds an empty box.
  AgentClient again;
  ASSERT_TRUE(again.open(daemon.port(), "carol"));
  EXPECT_TRUE(fetchIds(again).empty());
  ASSERT_TRUE(again.end());
  EXPECT_EQ(daemon.stop(), 10);
}

TEST_F(BroadcastCallBackTest, OfferToANewBoxIsInTheConnectionsLog) {
  auto settings = daemon.defaultSettings();
  settings["relayhub.connections-log"] = "(Bool)=true";
  daemon.writeConfig(settings);
  ASSERT_TRUE(daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort());
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  WireMessage wide = AgentClient::make(7401, "alice", "c*", "for the c agents");
  ASSERT_TRUE(alice.place({wide}));
  AgentClient carol;
  ASSERT_TRUE(carol.open(daemon.port(), "carol"));
  EXPECT_EQ(fetchIds(carol), std::vector<uint32_t>{7401});
  ASSERT_TRUE(carol.end());
  ASSERT_TRUE(alice.end());
  EXPECT_EQ(daemon.stop(), 10);
  std::string log;
  for (const auto& f : std::filesystem::recursive_directory_iterator(daemon.root())) {
    if (f.path().filename() != "relayhub_connections.log") continue;
    std::ifstream in(f.path());
    log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_NE(log.find(" carol@localhost BROADCAST\n"), std::string::npos) << log;
  EXPECT_NE(log.find("for the c agents"), std::string::npos) << log;
}

}  // namespace

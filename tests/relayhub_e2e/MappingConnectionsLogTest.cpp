// End-to-end tests of the target-name mapping and the connections log
// against the real relayhub: a message for a mapped name reaches every agent
// that registered under a local name of the same standard name, and the
// connections log records the agents' traffic.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "relayhub_e2e/AgentClient.h"
#include "relayhub_e2e/DaemonFixture.h"

using e2e::AgentClient;
using e2e::WireMessage;

namespace {

std::vector<uint32_t> fetchIds(AgentClient& agent) {
  std::vector<uint32_t> out;
  const auto all = agent.extractAll();
  EXPECT_TRUE(all.has_value());
  for (const WireMessage& m : all.value_or(std::vector<WireMessage>())) out.push_back(m.id);
  return out;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(MappingE2E, AMessageForAMappedNameReachesEveryLearnedLocalName) {
  e2e::DaemonFixture daemon;
  daemon.writeFile("mappings/targetnames.mmap", "# local names are host_agent\n*_$=$1\n");
  ASSERT_TRUE(daemon.startDefault());
  AgentClient first, second, sender;
  ASSERT_TRUE(first.open(daemon.port(), "h1_agent"));
  ASSERT_TRUE(second.open(daemon.port(), "h2_agent"));
  ASSERT_TRUE(sender.open(daemon.port(), "h3_agent"));
  ASSERT_TRUE(sender.place({AgentClient::make(501, "h3_agent", "hx_agent", "to all agents")}));
  EXPECT_EQ(fetchIds(first), std::vector<uint32_t>{501});
  EXPECT_EQ(fetchIds(second), std::vector<uint32_t>{501});
  EXPECT_EQ(fetchIds(sender), std::vector<uint32_t>{501});  // also learned as "agent"
  // A name that no line maps goes to its own box.
  ASSERT_TRUE(sender.place({AgentClient::make(502, "h3_agent", "plain", "direct")}));
  AgentClient plain;
  ASSERT_TRUE(plain.open(daemon.port(), "plain"));
  EXPECT_EQ(fetchIds(plain), std::vector<uint32_t>{502});
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(ConnectionsLogE2E, TheAgentsTrafficIsJournalled) {
  e2e::DaemonFixture daemon;
  auto settings = daemon.defaultSettings();
  settings["relayhub.connections-log"] = "(Bool)=true";
  ASSERT_TRUE(daemon.start({"-c", daemon.writeConfig(settings)}));
  ASSERT_TRUE(daemon.waitForPort());
  {
    AgentClient alice;
    ASSERT_TRUE(alice.open(daemon.port(), "Alice"));
    // A message that never times out dumps the same text each time.
    WireMessage m = AgentClient::make(601, "alice", "bob", "hello bob");
    m.timeout = 2147483647;
    m.remainingMs = UINT64_MAX;
    // The client stamps the creation time as it sends, so a second may
    // change between two sends; of three sends two carry the same text.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(alice.place({m}));
    ASSERT_TRUE(alice.end());
  }
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob"));  // the box dump of its handshake
  EXPECT_EQ(daemon.stop(), 10);

  std::ifstream in(daemon.root() + "/state/relayhub_connections.log", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string log = ss.str();
  EXPECT_EQ(count(log, "Vemora RelayHub Connection Log opened at "), 1u);
  EXPECT_EQ(count(log, " alice@localhost BEGIN\n"), 1u);
  EXPECT_EQ(count(log, " alice@localhost PLAC\n"), 3u);
  EXPECT_GE(count(log, " alice@localhost PLAC\n   MSG ID: 601\n"), 1u);
  EXPECT_NE(log.find("   Data:\n   hello bob"), std::string::npos);
  EXPECT_EQ(count(log, " bob@localhost NEW MESSAGES\n"), 1u);
  EXPECT_NE(log.find("\nLog file ended at "), std::string::npos);
}

}  // namespace

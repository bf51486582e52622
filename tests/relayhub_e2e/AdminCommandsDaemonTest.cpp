// Administrative commands against the real relayhub: replies fetched by
// EXTR, HANDLED withdrawing a handed-out message, RUNAPP starting a
// configured program, and QUIT / RESTART ending the daemon with its exit
// code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "relayhub_e2e/AgentClient.h"
#include "relayhub_e2e/DaemonFixture.h"

using e2e::AgentClient;
using e2e::WireMessage;

namespace {

constexpr int32_t kCentral = 1;
constexpr int32_t kStatement = 4;

class AdminCommandsDaemonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("vemora_hostname");
    if (old != nullptr) oldHost = old;
    ::setenv("vemora_hostname", "AdminHost", 1);
    settings = daemon.defaultSettings();
  }
  void TearDown() override {
    if (oldHost) {
      ::setenv("vemora_hostname", oldHost->c_str(), 1);
    } else {
      ::unsetenv("vemora_hostname");
    }
  }

  bool startDaemon() {
    daemon.writeConfig(settings);
    return daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort();
  }
  static WireMessage central(uint32_t id, const std::string& data, const std::string& header = "") {
    WireMessage m = AgentClient::make(id, "alice", "relayhub", data);
    m.type = kCentral;
    m.header = header;
    return m;
  }
  // Sends one request as alice and fetches what is waiting for her.
  std::vector<WireMessage> ask(const WireMessage& request) {
    AgentClient alice;
    EXPECT_TRUE(alice.open(daemon.port(), "alice"));
    EXPECT_TRUE(alice.place({request}));
    auto out = alice.extractAll();
    EXPECT_TRUE(out.has_value());
    alice.end();
    return out.value_or(std::vector<WireMessage>());
  }
  std::string banner() const {
    return "Relay hub on AdminHost (port " + std::to_string(daemon.port()) + ")\n";
  }

  std::optional<std::string> oldHost;
  e2e::DaemonFixture daemon;
  e2e::DaemonFixture::Settings settings;
};

TEST_F(AdminCommandsDaemonTest, StatusAndHelpRepliesAreFetchedByExtr) {
  ASSERT_TRUE(startDaemon());
  AgentClient carol;
  ASSERT_TRUE(carol.open(daemon.port(), "carol"));
  WireMessage high = AgentClient::make(11, "carol", "bob", "urgent");
  high.priority = 1;
  ASSERT_TRUE(carol.place({high, AgentClient::make(12, "carol", "bob", "plain")}));

  const std::vector<WireMessage> status = ask(central(500, "STATUS"));
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].id, 500u);
  EXPECT_EQ(status[0].type, kStatement);
  EXPECT_EQ(status[0].sourceName, "<noreply=relayhub>");
  EXPECT_EQ(status[0].sourceHost, "adminhost");
  EXPECT_EQ(status[0].targetName, "alice");
  EXPECT_EQ(status[0].data.rfind(banner() + "Message boxes:\n", 0), 0u) << status[0].data;
  EXPECT_NE(status[0].data.find(" - bob@localhost (2 messages, 1 high priority)\n"),
            std::string::npos)
      << status[0].data;

  const std::vector<WireMessage> help = ask(central(501, "HELP"));
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].id, 501u);
  EXPECT_EQ(help[0].data.rfind(banner() + "\nSTATUS       : Report current status\n", 0), 0u);
  EXPECT_NE(help[0].data.find("RESTART      : Restart the relay hub\n"), std::string::npos);
}

TEST_F(AdminCommandsDaemonTest, HandledWithdrawsAHandedOutMessage) {
  ASSERT_TRUE(startDaemon());
  AgentClient carol;
  ASSERT_TRUE(carol.open(daemon.port(), "carol"));
  ASSERT_TRUE(carol.place({AgentClient::make(600, "carol", "bob", "first"),
                           AgentClient::make(601, "carol", "bob", "second")}));
  {
    AgentClient bob;
    ASSERT_TRUE(bob.open(daemon.port(), "bob", 1));
    auto got = bob.extractAll();
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->size(), 2u);
    bob.end();
  }
  const std::string held = daemon.root() + "/state/RelayHub/msgboxes/bob__localhost/unconfirmed/";
  EXPECT_TRUE(daemon.waitForPath(held + "600.txt", true));

  // The confirmation is silent: nothing comes back to alice.
  EXPECT_TRUE(ask(central(600, "HANDLED")).empty());
  EXPECT_TRUE(daemon.waitForPath(held + "600.txt", false));

  // A new instance of bob gets back only the message nobody confirmed.
  AgentClient bob;
  ASSERT_TRUE(bob.open(daemon.port(), "bob", 2));
  auto again = bob.extractAll();
  ASSERT_TRUE(again.has_value());
  ASSERT_EQ(again->size(), 1u);
  EXPECT_EQ((*again)[0].id, 601u);
}

TEST_F(AdminCommandsDaemonTest, RunAppStartsTheConfiguredProgram) {
  const std::string marker = daemon.root() + "/ran.txt";
  daemon.writeFile("progs/tool.exe", "#!/bin/sh\necho \"$*\" > '" + marker + "'\n");
  std::filesystem::permissions(daemon.root() + "/progs/tool.exe",
                               std::filesystem::perms::owner_all);
  settings["apps.tool.main.active"] = "(Bool)=true";
  settings["apps.tool.main.key"] = "(String)=\"*\"";
  settings["apps.tool.main.executable"] = "(FileName)=\"C:/progs/tool\"";
  ASSERT_TRUE(startDaemon());

  const std::string data = "RUNAPP\napp=tool\nargs=one \"two three\"";
  const std::vector<WireMessage> ok = ask(central(700, data));
  ASSERT_EQ(ok.size(), 1u);
  EXPECT_EQ(ok[0].header, "OK");
  EXPECT_EQ(ok[0].data, data);
  std::string ran;
  for (int i = 0; i < 2000 && ran.empty(); ++i) {
    std::ifstream in(marker);
    std::getline(in, ran);
    if (ran.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(ran, "one two three");

  const std::vector<WireMessage> err = ask(central(701, "RUNAPP\napp=nothing-here"));
  ASSERT_EQ(err.size(), 1u);
  EXPECT_EQ(err[0].header, "ERR");
  EXPECT_TRUE(daemon.running());
}

TEST_F(AdminCommandsDaemonTest, QuitWithoutTheAdminHeaderIsIgnored) {
  ASSERT_TRUE(startDaemon());
  EXPECT_TRUE(ask(central(800, "QUIT\nRESTART", "ADMIN")).empty());
  // Still serving: a later request is answered.
  EXPECT_EQ(ask(central(801, "HELP")).size(), 1u);
  EXPECT_TRUE(daemon.running());

  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place({central(802, "QUIT", "RAVEN")}));
  EXPECT_EQ(daemon.waitExit(), 10);
}

TEST_F(AdminCommandsDaemonTest, RestartEndsWithExitCodeOne) {
  ASSERT_TRUE(startDaemon());
  AgentClient alice;
  ASSERT_TRUE(alice.open(daemon.port(), "alice"));
  ASSERT_TRUE(alice.place({central(900, "RESTART", "RAVEN")}));
  EXPECT_EQ(daemon.waitExit(), 1);
}

}  // namespace

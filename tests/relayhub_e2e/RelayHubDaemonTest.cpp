// The real relayhub program: usage text, configuration failures, the
// single-instance guard, stop signals (SIGHUP too) and exit codes, the greeting, the
// connection limit and the JOB_RelayHub resource.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>
#include <vector>

#include "relayhub_e2e/DaemonFixture.h"
#include "relayhub_e2e/FrameClient.h"

namespace e2e {
namespace {

TEST(RelayHubDaemon, UsageTextAndExitZero) {
  DaemonFixture daemon;
  const std::string expected =
      "Usage: relayhub [options]\n"
      "Options:\n"
      " --port <port>   : Specify which port to listen on (optional)\n"
      " --debug <level> : Specify a debug level [0-3], 0=none, 3=max\n"
      "\n"
      "Will run until you kill the process...\n"
      "\n";
  for (const char* option : {"--help", "-?"}) {
    SCOPED_TRACE(option);
    std::string out;
    EXPECT_EQ(daemon.runOnce({option, "-c", daemon.writeConfig()}, 20000, &out), 0);
    EXPECT_EQ(out, expected);
  }
}

TEST(RelayHubDaemon, BrokenConfigurationEndsWithTwo) {
  struct Case {
    const char* name;
    std::string key;    // removed, or changed to value
    std::string value;  // empty: remove the key
  };
  const Case cases[] = {
      {"no port", "relayhub.port", ""},
      {"port zero", "relayhub.port", "(Integer)=0"},
      {"port above 65535", "relayhub.port", "(Integer)=70000"},
      {"negative port", "relayhub.port", "(Integer)=-1"},
      {"no max-connections", "relayhub.max-connections", ""},
      {"no mappings folder", "relayhub.mappings", ""},
      {"no temp folder", "Vemora.directories.temp", ""},
      {"no bin folder", "Vemora.directories.bin", ""},
      {"port of the wrong type", "relayhub.port", "(String)=\"4000\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DaemonFixture daemon;
    DaemonFixture::Settings settings = daemon.defaultSettings();
    if (c.value.empty()) {
      settings.erase(c.key);
    } else {
      settings[c.key] = c.value;
    }
    EXPECT_EQ(daemon.runOnce({"-c", daemon.writeConfig(settings)}), 2);
  }
}

TEST(RelayHubDaemon, MissingOrUnreadableFileEndsWithTwo) {
  DaemonFixture daemon;
  EXPECT_EQ(daemon.runOnce({"-c", "C:/does-not-exist.conf"}), 2);
  const std::string garbage = daemon.writeFile("garbage.conf", "this is ( not { a configuration\n");
  EXPECT_EQ(daemon.runOnce({"-c", garbage}), 2);
  // --port alone does not make up for the other required keys.
  EXPECT_EQ(daemon.runOnce({"-c", garbage, "--port", std::to_string(daemon.port())}), 2);
  EXPECT_EQ(daemon.runOnce({"-c", daemon.writeConfig(), "--port", "99999"}), 2);
}

TEST(RelayHubDaemon, ActiveApplicationWithoutProgramEndsWithTwo) {
  DaemonFixture daemon;
  DaemonFixture::Settings settings = daemon.defaultSettings();
  settings["apps.tool.one.active"] = "(Bool)=true";
  settings["apps.tool.one.key"] = "(String)=\"tool-*\"";
  settings["apps.tool.one.executable"] = "(FileName)=\"C:/bin/missing\"";
  EXPECT_EQ(daemon.runOnce({"-c", daemon.writeConfig(settings)}), 2);
  // The same entry, inactive, is accepted.
  settings["apps.tool.one.active"] = "(Bool)=false";
  ASSERT_TRUE(daemon.start({"-c", daemon.writeConfig(settings)}));
  ASSERT_TRUE(daemon.waitForPort());
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, StopSignalsEndWithTen) {
  for (int sig : {SIGTERM, SIGINT, SIGABRT, SIGHUP}) {
    SCOPED_TRACE(sig);
    DaemonFixture daemon;
    ASSERT_TRUE(daemon.startDefault()) << daemon.stderrText();
    ASSERT_TRUE(daemon.signal(sig));
    EXPECT_EQ(daemon.waitExit(), 10);
  }
}

TEST(RelayHubDaemon, PortOptionOverridesTheConfiguration) {
  DaemonFixture daemon;
  DaemonFixture::Settings settings = daemon.defaultSettings();
  settings.erase("relayhub.port");
  const int port = DaemonFixture::freePort();
  ASSERT_TRUE(daemon.start({"-c", daemon.writeConfig(settings), "--port", std::to_string(port)}));
  bool listening = false;
  for (int i = 0; i < 1000 && !listening && daemon.running(); ++i) {
    listening = DaemonFixture::isListening(port);
    if (!listening) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(listening);
  FrameClient client;
  ASSERT_TRUE(client.connect(port));
  EXPECT_EQ(client.readRaw(), "ACK");
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, SettingsThatAreTakenAsTheyAre) {
  struct Case {
    const char* name;
    std::string key, value;
    std::vector<std::string> extraArgs;
  };
  const Case cases[] = {
      {"version 0 keeps version 2", "relayhub.preferred-protocol-version", "(Integer)=0", {}},
      {"the debug option is ignored", "relayhub.log.debug-level", "(Integer)=5", {"--debug", "3"}},
      {"a debug level above 5 is ignored", "relayhub.log.debug-level", "(Integer)=7", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DaemonFixture daemon;
    DaemonFixture::Settings settings = daemon.defaultSettings();
    settings[c.key] = c.value;
    std::vector<std::string> args{"-c", daemon.writeConfig(settings)};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    ASSERT_TRUE(daemon.start(args));
    ASSERT_TRUE(daemon.waitForPort());
    FrameClient client;
    ASSERT_TRUE(client.connect(daemon.port()));
    EXPECT_EQ(client.readRaw(), "ACK");
    EXPECT_EQ(daemon.stop(), 10);
  }
}

TEST(RelayHubDaemon, SecondInstanceEndsWith21AndLeavesTheFirstRunning) {
  DaemonFixture daemon;
  ASSERT_TRUE(daemon.startDefault());
  DaemonFixture::Settings other = daemon.defaultSettings();
  other["relayhub.port"] = "(Integer)=" + std::to_string(DaemonFixture::freePort());
  std::string out;
  EXPECT_EQ(daemon.runOnce({"-c", daemon.writeConfig(other, "other.conf")}, 20000, &out), 21);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(daemon.running());
  FrameClient client;
  ASSERT_TRUE(client.connect(daemon.port()));
  EXPECT_EQ(client.readRaw(), "ACK");
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, JobResourceNamesProcessAndMainThread) {
  DaemonFixture daemon;
  ASSERT_TRUE(daemon.startDefault());
  std::string job;
  for (int i = 0; i < 500 && job.empty(); ++i) {
    job = daemon.resource("JOB_RelayHub");
    if (job.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::smatch m;
  ASSERT_TRUE(std::regex_match(job, m, std::regex("pid=([0-9]+);tid=([0-9]+)"))) << job;
  EXPECT_EQ(m[1].str(), std::to_string(daemon.pid()));
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, GreetingIsAckAndTheSocketNumber) {
  DaemonFixture daemon;
  ASSERT_TRUE(daemon.startDefault());
  FrameClient client;
  ASSERT_TRUE(client.connect(daemon.port()));
  const auto greeting = client.readExact(3 + 18);
  ASSERT_TRUE(greeting.has_value());
  EXPECT_EQ(greeting->substr(0, 6), "ACKU32");
  // The number field: decimal digits, then zero bytes up to 15 bytes.
  const std::string field = greeting->substr(6);
  const size_t digits = field.find('\0');
  ASSERT_NE(digits, 0u);
  EXPECT_EQ(field.find_first_not_of("0123456789"), digits);
  EXPECT_EQ(field.find_first_not_of('\0', digits), std::string::npos);
  // Nothing else comes before the agent speaks.
  EXPECT_TRUE(client.quietFor(300));
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, ConnectionOverTheMaximumGetsNacAndIsClosed) {
  DaemonFixture daemon;
  DaemonFixture::Settings settings = daemon.defaultSettings();
  settings["relayhub.max-connections"] = "(Integer)=1";
  ASSERT_TRUE(daemon.start({"-c", daemon.writeConfig(settings)}));
  ASSERT_TRUE(daemon.waitForPort());
  FrameClient first;
  ASSERT_TRUE(first.connect(daemon.port()));
  EXPECT_EQ(first.readRaw(), "ACK");
  ASSERT_TRUE(first.readU32().has_value());
  FrameClient second;
  ASSERT_TRUE(second.connect(daemon.port()));
  EXPECT_EQ(second.readRaw(), "NAC");
  EXPECT_TRUE(second.waitClosed());
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, VersionOneSendsNothingFirstAndClosesOverTheMaximum) {
  DaemonFixture daemon;
  DaemonFixture::Settings settings = daemon.defaultSettings();
  settings["relayhub.max-connections"] = "(Integer)=0";  // counts as 1
  settings["relayhub.preferred-protocol-version"] = "(Integer)=1";
  ASSERT_TRUE(daemon.start({"-c", daemon.writeConfig(settings)}));
  ASSERT_TRUE(daemon.waitForPort());
  FrameClient first;
  ASSERT_TRUE(first.connect(daemon.port()));
  FrameClient second;
  ASSERT_TRUE(second.connect(daemon.port()));
  EXPECT_TRUE(second.waitClosed());
  EXPECT_EQ(second.lastPartial(), "");
  EXPECT_TRUE(first.quietFor(300));
  EXPECT_TRUE(first.isOpen());
  EXPECT_EQ(daemon.stop(), 10);
}

// After a connection leaves, by whichever path, its place is free again.
TEST(RelayHubDaemon, EveryWayOfLeavingFreesThePlace) {
  DaemonFixture daemon;
  DaemonFixture::Settings settings = daemon.defaultSettings();
  settings["relayhub.max-connections"] = "(Integer)=1";
  ASSERT_TRUE(daemon.start({"-c", daemon.writeConfig(settings)}));
  ASSERT_TRUE(daemon.waitForPort());
  struct Leave {
    const char* name;
    void (*act)(FrameClient&);
  };
  const Leave leaves[] = {
      {"closes at once", [](FrameClient& c) { c.close(); }},
      {"half-closes", [](FrameClient& c) { c.shutdownSend(); }},
      {"wrong item", [](FrameClient& c) { c.sendString("not a version"); }},
      {"unknown version", [](FrameClient& c) { c.sendU32(7); }},
      {"unknown entity",
       [](FrameClient& c) {
         c.sendU32(2);
         c.readRaw();
         c.sendString("SOMETHING");
       }},
      {"router",
       [](FrameClient& c) {
         c.sendU32(2);
         c.readRaw();
         c.sendString("ROUTER");
       }},
  };
  for (const Leave& leave : leaves) {
    SCOPED_TRACE(leave.name);
    // Wait for the place of the previous round to be given back.
    bool greeted = false;
    FrameClient client;
    for (int attempt = 0; attempt < 200 && !greeted; ++attempt) {
      ASSERT_TRUE(client.connect(daemon.port()));
      const auto raw = client.readRaw();
      greeted = raw == "ACK";
      if (!greeted) {
        client.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    ASSERT_TRUE(greeted);
    ASSERT_TRUE(client.readU32().has_value());
    leave.act(client);
    if (client.isOpen()) {
      EXPECT_TRUE(client.drainUntilClosed(10000));
    }
    client.close();
  }
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubDaemon, StopWithConnectionsOpenEndsCleanly) {
  DaemonFixture daemon;
  ASSERT_TRUE(daemon.startDefault());
  FrameClient clients[5];
  for (FrameClient& c : clients) {
    ASSERT_TRUE(c.connect(daemon.port()));
    EXPECT_EQ(c.readRaw(), "ACK");
    EXPECT_TRUE(c.readU32().has_value());
  }
  clients[0].sendU32(2);  // one is in the middle of its handshake
  EXPECT_EQ(daemon.stop(), 10);
  for (FrameClient& c : clients) EXPECT_TRUE(c.drainUntilClosed(10000));
}

}  // namespace
}  // namespace e2e

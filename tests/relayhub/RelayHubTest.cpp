// The hub in-process: configuration values as the threads see them, the
// main loop ending on a quit message posted to its thread, and a shutdown
// that waits for both worker threads before anything is destroyed.
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
#include <string>

#include "platform/Clock.h"
#include "platform/Thread.h"
#include "relayhub/RelayHub.h"
#include "support/FreePort.h"

namespace Vemora {
namespace {

using testsupport::freePort;

// Writes a configuration below drive C and builds a hub for it.
std::unique_ptr<RelayHub> configuredHub(std::atomic<bool>* stop, const std::string& extra,
                                        int port) {
  const std::string drive = std::getenv("VEMORA_DRIVE_C");
  std::ofstream(drive + "/hub.conf") << "relayhub()=\"\"{\n"
                                        "  port(Integer)="
                                     << port
                                     << "{}\n"
                                        "  mappings(DirName)=\"C:/maps\"{}\n"
                                     << extra
                                     << "}\n"
                                        "Vemora()=\"\"{ directories()=\"\"{\n"
                                        "  temp(DirName)=\"C:/tmp\"{}\n"
                                        "  bin(DirName)=\"C:/bin\"{}\n"
                                        "  log(DirName)=\"C:/log\"{}\n"
                                        "}}\n";
  const char* argv[] = {"relayhub", "-c", "C:/hub.conf"};
  auto hub = std::make_unique<RelayHub>(stop, 3, const_cast<char**>(argv));
  return hub->configure() ? std::move(hub) : nullptr;
}

TEST(RelayHub, ConfigurationAppliesLimitsAndDefaults) {
  std::atomic<bool> stop{false};
  const int port = freePort();
  auto hub = configuredHub(&stop, "  max-connections(Integer)=-4{}\n", port);
  ASSERT_NE(hub, nullptr);
  EXPECT_EQ(hub->port(), port);
  EXPECT_EQ(hub->maxConnections(), 1);
  EXPECT_EQ(hub->preferredProtocolVersion(), 2);
  EXPECT_EQ(hub->agentsTimeout(), 86400);
  EXPECT_TRUE(hub->notifyAgents());
  EXPECT_EQ(hub->tempDirectory().back(), '\\');
  EXPECT_TRUE(std::filesystem::is_directory(std::string(std::getenv("VEMORA_DRIVE_C")) + "/maps"));
}

TEST(RelayHub, TimeSpanBoolAndVersionKeysReplaceTheDefaults) {
  std::atomic<bool> stop{false};
  auto hub = configuredHub(&stop,
                           "  max-connections(Integer)=3{}\n"
                           "  agents-timeout(TimeSpan)=\"P2H\"{}\n"
                           "  notify-agents(Bool)=false{}\n"
                           "  preferred-protocol-version(Integer)=1{}\n",
                           freePort());
  ASSERT_NE(hub, nullptr);
  EXPECT_EQ(hub->maxConnections(), 3);
  EXPECT_EQ(hub->agentsTimeout(), 7200);
  EXPECT_FALSE(hub->notifyAgents());
  EXPECT_EQ(hub->preferredProtocolVersion(), 1);
}

TEST(RelayHub, QuitPostedToTheMainLoopStopsItAndTheThreadsEnd) {
  std::atomic<bool> stop{false};
  auto hub = configuredHub(&stop, "  max-connections(Integer)=2{}\n", freePort());
  ASSERT_NE(hub, nullptr);
  std::atomic<int> result{-1};
  auto loop = platform::startThread([&] {
    result = hub->run() ? 1 : 0;
    return 0u;
  });
  ASSERT_NE(loop, nullptr);
  ASSERT_TRUE(platform::postThreadMessage(loop->id(), platform::kWmClose));
  ASSERT_TRUE(loop->waitFor(20000));
  EXPECT_EQ(result.load(), 1);
  EXPECT_TRUE(stop.load());
  EXPECT_TRUE(hub->stopThreads(RelayHub::kThreadJoinMs));
  EXPECT_FALSE(hub->threadsStuck());
  hub.reset();
}

TEST(RelayHub, StopFlagEndsTheLoop) {
  std::atomic<bool> stop{false};
  auto hub = configuredHub(&stop, "  max-connections(Integer)=2{}\n", freePort());
  ASSERT_NE(hub, nullptr);
  auto loop = platform::startThread([&] { return hub->run() ? 1u : 0u; });
  ASSERT_NE(loop, nullptr);
  platform::sleepMs(200);
  stop.store(true);
  ASSERT_TRUE(loop->waitFor(20000));
  EXPECT_TRUE(hub->stopThreads(RelayHub::kThreadJoinMs));
}

}  // namespace
}  // namespace Vemora

namespace Vemora {
namespace {

// 30 seconds plus one for every 500 bytes announced (at least 500 bytes a
// second on average), so a large item over a slow link completes.
TEST(RelayHub, ItemTimeLimitGrowsWithTheAnnouncedSize) {
  const struct {
    uint32_t announced;
    int64_t seconds;
  } cases[] = {
      {0, 30},
      {499, 30},
      {500, 31},
      {20 * 1024, 70},
      {100 * 1024, 234},
      {16u * 1024 * 1024, 30 + 33554},
      {4294967295u, 30 + 8589934},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RelayHub::itemLimitSeconds(c.announced), c.seconds) << c.announced;
  }
}

}  // namespace
}  // namespace Vemora

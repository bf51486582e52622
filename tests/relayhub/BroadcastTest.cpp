// Broadcasts on a RelayHub that is built but not configured: the main list,
// its files, the offers to existing and new boxes, time-outs and
// GETBROADCAST.
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

#include "common/TickTimer.h"
#include "relayhub/RelayHub.h"
#include "relayhub/TestState.h"
#include "support/FreePort.h"

using relayhub_test::TestState;
using Vemora::Address;
using Vemora::Message;
using Vemora::MessageBox;
using Vemora::RelayHub;

namespace {

class BroadcastTest : public ::testing::Test {
 protected:
  BroadcastTest() : hub(std::make_unique<RelayHub>(&stop, 1, argv)) {
    hub->backup().setDirectory(state.windows);
  }

  static Message wide(uint32_t id, const std::string& name, const std::string& host) {
    Message m(id);
    m.setSource("sender", "h");
    m.setTargetExact(Address(name, host));
    m.setData("wide " + std::to_string(id));
    return m;
  }
  MessageBox& box(const std::string& name, const std::string& host = "h") {
    return hub->getMessageBox(Address(name, host));
  }
  // The ids pending in a box, in order.
  std::vector<uint32_t> pendingIds(const std::string& name, const std::string& host = "h") {
    std::vector<uint32_t> ids;
    for (const Message& m : hub->messageBoxes().at(Address(name, host)).pending()) {
      ids.push_back(m.getId());
    }
    return ids;
  }

  std::atomic<bool> stop{false};
  char name[9] = "relayhub";
  char* argv[2] = {name, nullptr};
  TestState state{"bcast"};
  std::unique_ptr<RelayHub> hub;
};

TEST_F(BroadcastTest, ReachesEveryBoxOnceNowAndLater) {
  box("alice");
  box("bob");
  EXPECT_TRUE(hub->place(wide(10, "*", "*"), true));
  EXPECT_EQ(pendingIds("alice"), std::vector<uint32_t>{10});
  EXPECT_EQ(pendingIds("bob"), std::vector<uint32_t>{10});
  const Message& copy = hub->messageBoxes().at(Address("bob", "h")).pending().front();
  EXPECT_TRUE(copy.isBroadcast());
  EXPECT_EQ(copy.getTarget(), Address("bob", "h"));
  // Stored once as the broadcast, never as a box's unsent copy.
  EXPECT_TRUE(state.exists("broadcast/10.txt"));
  EXPECT_FALSE(state.exists("msgboxes/bob__h/unsent/10.txt"));

  box("carol");
  EXPECT_EQ(pendingIds("carol"), std::vector<uint32_t>{10});
  box("carol");  // an existing box is not offered the list again
  EXPECT_EQ(pendingIds("carol"), std::vector<uint32_t>{10});
  ASSERT_EQ(hub->broadcastList().size(), 1u);
  EXPECT_TRUE(hub->broadcastList().front().isBroadcast());
}

TEST_F(BroadcastTest, HandledLocalBarsTheBoxUntilRebroadcast) {
  hub->place(wide(11, "*", "*"), true);
  std::list<Message> out;
  hub->extract(Address("bob", "h"), out, 0, 1);
  ASSERT_EQ(out.size(), 1u);
  Message handled(11);
  handled.setSourceExact(Address("bob", "h"));
  hub->handledLocal(handled);
  EXPECT_TRUE(hub->messageBoxes().at(Address("bob", "h")).unconfirmed().empty());

  hub->reBroadcast(Address("nobody", "h"));  // no box: nothing happens
  EXPECT_EQ(hub->messageBoxes().count(Address("nobody", "h")), 0u);
  hub->placeBroadcast(hub->messageBoxes().at(Address("bob", "h")));
  EXPECT_TRUE(pendingIds("bob").empty());

  hub->reBroadcast(Address("bob", "h"));
  EXPECT_EQ(pendingIds("bob"), std::vector<uint32_t>{11});
  EXPECT_TRUE(hub->messageBoxes().at(Address("bob", "h")).noBroadcast().empty());
}

TEST_F(BroadcastTest, PatternsMatchNameAndHostWithoutRegardToCase) {
  box("agent1", "pc1");
  box("agent2", "pc2");
  box("Agent3", "pc1");
  box("other", "pc1");
  hub->place(wide(12, "agent?", "pc1"), true);
  EXPECT_EQ(pendingIds("agent1", "pc1"), std::vector<uint32_t>{12});
  EXPECT_TRUE(pendingIds("agent2", "pc2").empty());  // host pattern does not match
  EXPECT_EQ(pendingIds("agent3", "pc1"), std::vector<uint32_t>{12});  // its box is lower case
  EXPECT_TRUE(pendingIds("other", "pc1").empty());
  // The per-box offer applies the same rules.
  box("agent4", "pc2");
  box("agent5", "pc1");
  EXPECT_TRUE(pendingIds("agent4", "pc2").empty());
  EXPECT_EQ(pendingIds("agent5", "pc1"), std::vector<uint32_t>{12});
  // A pattern with capitals matches as well.
  hub->place(wide(15, "OTH?R", "PC1"), true);
  EXPECT_EQ(pendingIds("other", "pc1"), std::vector<uint32_t>{15});
}

TEST_F(BroadcastTest, LifetimeDefaultsTo1200SecondsAndNeverStays) {
  Message noTimeout = wide(13, "*", "*");
  noTimeout.setTimeoutTicks(0);
  hub->place(noTimeout, true);
  Message never = wide(14, "*", "*");
  never.setTimeout(0);
  hub->place(never, true);
  ASSERT_EQ(hub->broadcastList().size(), 2u);
  EXPECT_EQ(hub->broadcastList().front().getTimeoutTicks(), 1200000u);
  EXPECT_EQ(hub->broadcastList().back().getTimeoutTicks(), Message::kNeverTicks);

  // Let the first run out (a one-second life begun two seconds ago); the
  // second is aged as far back as the clock goes.
  const uint64_t now = static_cast<uint64_t>(Vemora::TickTimer().now());
  ASSERT_GT(now, 2000u);
  hub->broadcastList().front().setTimeoutTicks(1000);
  hub->broadcastList().front().setCreationTicks(now - 2000);
  hub->broadcastList().back().setCreationTicks(0);
  hub->checkBroadcastTimeouts();
  ASSERT_EQ(hub->broadcastList().size(), 1u);
  EXPECT_EQ(hub->broadcastList().front().getId(), 14u);
  EXPECT_FALSE(state.exists("broadcast/13.txt"));
  EXPECT_TRUE(state.exists("broadcast/14.txt"));
}

TEST_F(BroadcastTest, SameIdReplacesTheListEntryTheFileAndTheCopies) {
  box("bob");
  hub->place(wide(15, "*", "*"), true);
  hub->place(wide(16, "*", "*"), true);
  Message second = wide(15, "b*", "*");
  second.setData("replacement");
  hub->place(second, true);
  ASSERT_EQ(hub->broadcastList().size(), 2u);
  EXPECT_EQ(hub->broadcastList().front().getId(), 16u);
  EXPECT_EQ(hub->broadcastList().back().getData(), "replacement");
  EXPECT_NE(state.read("broadcast/15.txt").find("replacement"), std::string::npos);
  // Bob held the first copy; it is replaced, not doubled.
  EXPECT_EQ(pendingIds("bob"), (std::vector<uint32_t>{16, 15}));
  EXPECT_EQ(hub->messageBoxes().at(Address("bob", "h")).pending().back().getData(), "replacement");
}

TEST_F(BroadcastTest, RestoredListIsOfferedToNewBoxes) {
  hub->place(wide(17, "*", "h"), true);
  hub = std::make_unique<RelayHub>(&stop, 1, argv);
  hub->backup().setDirectory(state.windows);
  ASSERT_TRUE(hub->restoreBackup());
  ASSERT_EQ(hub->broadcastList().size(), 1u);
  box("dave");
  EXPECT_EQ(pendingIds("dave"), std::vector<uint32_t>{17});
}

TEST_F(BroadcastTest, GetBroadcastAnswersTheRequester) {
  hub->place(wide(20, "agent*", "*"), true);
  hub->place(wide(21, "*", "pc?"), true);
  hub->place(wide(22, "zed", "*"), true);
  const Address requester("Asker", "h");
  struct Case {
    std::vector<std::string> lines;
    std::string reply;
    std::vector<uint32_t> copies;
  };
  const std::vector<Case> cases = {
      {{"GETBROADCAST"}, "Invalid/missing target specified!", {}},
      {{"GETBROADCAST", "agent7@pc1"}, "There are 2 broadcast messages for agent7@pc1", {20, 21}},
      {{"GETBROADCAST", "agent7@other"}, "There is one broadcast message for agent7@other", {20}},
      {{"GETBROADCAST", "nobody"}, "There are no broadcast messages for nobody@", {}},
  };
  uint32_t requestId = 100;
  for (const Case& c : cases) {
    hub->messageBoxes().erase(requester.lowered());
    size_t next = 1;
    hub->getBroadcast(requester, requestId, c.lines, next);
    EXPECT_EQ(next, c.lines.size()) << c.reply;
    const auto& pending = hub->messageBoxes().at(requester.lowered()).pending();
    ASSERT_EQ(pending.size(), 1 + c.copies.size()) << c.reply;
    const Message& reply = pending.front();
    EXPECT_EQ(reply.getId(), requestId);
    EXPECT_EQ(reply.getData(), c.reply);
    EXPECT_EQ(reply.getType(), Message::kStatement);
    EXPECT_EQ(reply.getSource().name, "<noreply=relayhub>");
    std::vector<uint32_t> copies;
    for (auto it = std::next(pending.begin()); it != pending.end(); ++it) {
      copies.push_back(it->getId());
      EXPECT_TRUE(it->isBroadcast());
      EXPECT_EQ(it->getType(), Message::kStatement);
    }
    EXPECT_EQ(copies, c.copies) << c.reply;
    ++requestId;
  }
  // The copies leave the main list as it was.
  EXPECT_EQ(hub->broadcastList().size(), 3u);
}

using testsupport::freePort;

// A box whose name maps to the same standard name as the broadcast's target
// name is given it by the per-box offer, without a pattern match.
TEST(BroadcastMapping, SameStandardNameReachesANewBox) {
  const std::string drive = relayhub_test::driveC();
  std::filesystem::remove_all(drive + "/bmap");
  std::filesystem::create_directories(drive + "/bmap/maps");
  std::ofstream(drive + "/bmap/maps/targetnames.mmap") << "*_$=$1\n";
  std::ofstream(drive + "/bmap/hub.conf")
      << "relayhub()=\"\"{ port(Integer)=" << freePort()
      << "{}\n max-connections(Integer)=2{}\n mappings(DirName)=\"C:/bmap/maps\"{}\n}\n"
         "Vemora()=\"\"{ directories()=\"\"{ temp(DirName)=\"C:/bmap/tmp\"{}\n"
         " bin(DirName)=\"C:/bmap/bin\"{}\n log(DirName)=\"C:/bmap/log\"{}\n}}\n";
  std::atomic<bool> stop{false};
  const char* argv[] = {"relayhub", "-c", "C:/bmap/hub.conf"};
  RelayHub hub(&stop, 3, const_cast<char**>(argv));
  ASSERT_TRUE(hub.configure());

  hub.getMessageBox(Address("h1_agent", "h"));
  Message m(40);
  m.setSource("sender", "h");
  m.setTargetExact(Address("h2_agent", "*"));
  hub.broadcast(m);
  // A new broadcast offered to existing boxes matches patterns only.
  EXPECT_TRUE(hub.messageBoxes().at(Address("h1_agent", "h")).pending().empty());
  hub.reBroadcast(Address("h1_agent", "h"));
  EXPECT_EQ(hub.messageBoxes().at(Address("h1_agent", "h")).pending().size(), 1u);
  hub.getMessageBox(Address("h3_agent", "h"));
  hub.getMessageBox(Address("h3_other", "h"));
  EXPECT_EQ(hub.messageBoxes().at(Address("h3_agent", "h")).pending().size(), 1u);
  EXPECT_TRUE(hub.messageBoxes().at(Address("h3_other", "h")).pending().empty());
}

}  // namespace

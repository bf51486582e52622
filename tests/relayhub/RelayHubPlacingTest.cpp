// Placing, extraction, the record of sent messages and the start-up restore,
// on a RelayHub that is built but not configured (no threads, no sockets).
#include <gtest/gtest.h>

#include <atomic>

#include "common/ObjectFiler.h"
#include "relayhub/RelayHub.h"
#include "relayhub/TestState.h"

using Vemora::Address;
using Vemora::Message;
using Vemora::MessageBox;
using Vemora::ObjectFiler;
using Vemora::RelayHub;
using relayhub_test::TestState;

namespace {

class RelayHubPlacingTest : public ::testing::Test {
 protected:
  RelayHubPlacingTest() : hub(std::make_unique<RelayHub>(&stop, 1, argv)) {
    hub->backup().setDirectory(state.windows);
  }

  static Message msg(uint32_t id, const std::string& from, const std::string& to) {
    Message m(id);
    m.setSource(from, "h");
    m.setTarget(Address(to, "h"));
    m.setData("data of " + std::to_string(id));
    return m;
  }
  std::string file(const std::string& box, const char* kind, uint32_t id) const {
    return "msgboxes/" + box + "__h/" + kind + "/" + std::to_string(id) + ".txt";
  }
  // EXTR for an agent: what it is handed (held unconfirmed in its box).
  std::list<Message> extract(const std::string& name, int32_t instance = 1) {
    std::list<Message> out;
    hub->extract(Address(name, "h"), out, 0, instance);
    return out;
  }
  void restart() {
    hub = std::make_unique<RelayHub>(&stop, 1, argv);
    hub->backup().setDirectory(state.windows);
    ASSERT_TRUE(hub->restoreBackup());
  }

  std::atomic<bool> stop{false};
  char name[9] = "relayhub";
  char* argv[2] = {name, nullptr};
  TestState state;
  std::unique_ptr<RelayHub> hub;
};

TEST_F(RelayHubPlacingTest, APlacedMessageCreatesAndStoresItsBox) {
  EXPECT_TRUE(hub->place(msg(1, "alice", "bob"), true));
  auto& boxes = hub->messageBoxes();
  ASSERT_EQ(boxes.count(Address("bob", "h")), 1u);
  const MessageBox& box = boxes.at(Address("bob", "h"));
  EXPECT_EQ(box.pending().size(), 1u);
  EXPECT_GT(box.getLastActivity(), 0u);
  EXPECT_TRUE(state.exists("msgboxes/bob__h/msgbox.txt"));
  EXPECT_TRUE(state.exists(file("bob", "unsent", 1)));
  EXPECT_EQ(hub->sentMessages().at(1).targets.count(Address("bob", "h")), 1u);
}

TEST_F(RelayHubPlacingTest, CentralAndWildcardTargetsDoNotReachABox) {
  Message central = msg(2, "alice", "b*b");
  central.setType(Message::kCentral);
  EXPECT_TRUE(hub->place(central, true));
  Message wide = msg(3, "alice", "bob");
  wide.setTarget(Address("bob", "*"));
  EXPECT_TRUE(hub->place(wide, true));
  Message single = msg(4, "alice", "b?b");
  EXPECT_TRUE(hub->place(single, true));
  EXPECT_TRUE(hub->messageBoxes().empty());
}

TEST_F(RelayHubPlacingTest, AFailedStoreIsReported) {
  state.write("msgboxes/bob__h/unsent", "a file where the folder should be");
  EXPECT_FALSE(hub->place(msg(5, "alice", "bob"), true));
  // The message is still queued in memory; a retry after the agent's resend
  // replaces it.
  EXPECT_EQ(hub->messageBoxes().at(Address("bob", "h")).pending().size(), 1u);
}

TEST_F(RelayHubPlacingTest, ExtractHoldsUnconfirmedAndAnotherSourceWithdrawsThem) {
  hub->place(msg(10, "alice", "bob"), true);
  ASSERT_EQ(extract("bob").size(), 1u);
  EXPECT_TRUE(state.exists(file("bob", "unconfirmed", 10)));
  // The same id from another source: the copy held for bob is withdrawn.
  hub->place(msg(10, "carol", "dave"), true);
  EXPECT_TRUE(hub->messageBoxes().at(Address("bob", "h")).unconfirmed().empty());
  EXPECT_FALSE(state.exists(file("bob", "unconfirmed", 10)));
  EXPECT_FALSE(state.exists(file("bob", "unsent", 10)));
  EXPECT_TRUE(state.exists(file("dave", "unsent", 10)));
}

TEST_F(RelayHubPlacingTest, HandledWithdrawsEverywhereAndTheBroadcast) {
  hub->place(msg(20, "alice", "bob"), true);
  hub->place(msg(20, "alice", "carol"), true);
  extract("bob");
  extract("carol");
  Message wide = msg(20, "alice", "*");
  hub->broadcastList().push_back(wide);
  ASSERT_TRUE(hub->backup().writeBroadcast(20, "x"));
  hub->unCache(20, true, false);
  for (const char* who : {"bob", "carol"}) {
    EXPECT_TRUE(hub->messageBoxes().at(Address(who, "h")).unconfirmed().empty()) << who;
    EXPECT_FALSE(state.exists(file(who, "unconfirmed", 20))) << who;
  }
  EXPECT_TRUE(hub->broadcastList().empty());
  EXPECT_FALSE(state.exists("broadcast/20.txt"));
  // No copy is held any more: the record goes with the last one.
  EXPECT_EQ(hub->sentMessages().count(20), 0u);
}

TEST_F(RelayHubPlacingTest, HandledLocalConfirmsOnlyTheSendersOwnBox) {
  hub->place(msg(30, "alice", "bob"), true);
  hub->place(msg(30, "alice", "carol"), true);
  extract("bob");
  extract("carol");
  Message confirm = msg(30, "bob", "relayhub");
  confirm.setSourceExact(Address("bob", "h"));
  hub->handledLocal(confirm);
  const MessageBox& bob = hub->messageBoxes().at(Address("bob", "h"));
  EXPECT_TRUE(bob.unconfirmed().empty());
  EXPECT_EQ(bob.noBroadcast().count(30), 1u);
  EXPECT_EQ(hub->messageBoxes().at(Address("carol", "h")).unconfirmed().size(), 1u);
  // A reused id handed in again clears the no-broadcast mark.
  hub->unCache(30, false, true);
  EXPECT_TRUE(hub->messageBoxes().at(Address("bob", "h")).noBroadcast().empty());
}

TEST_F(RelayHubPlacingTest, TimedOutMessagesAreDroppedWithTheirCopies) {
  for (uint32_t id : {40u, 41u, 42u}) {
    Message m = msg(id, "alice", "bob");
    if (id != 42) m.setTimeoutTicks(0);
    hub->place(m, true);
  }
  const auto out = extract("bob");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out.front().getId(), 42u);
  EXPECT_FALSE(state.exists(file("bob", "unsent", 40)));
  EXPECT_FALSE(state.exists(file("bob", "unsent", 41)));
  EXPECT_TRUE(state.exists(file("bob", "unsent", 42)));
}

TEST_F(RelayHubPlacingTest, SweepKeepsRecordsThatNeverExpire) {
  Message forever = msg(50, "alice", "bob");
  forever.setTimeout(0);
  Message gone = msg(51, "alice", "bob");
  gone.setCreationTicks(0);
  gone.setTimeoutTicks(1);
  hub->place(forever, true);
  hub->place(gone, true);
  hub->sweepSentMessages();
  EXPECT_EQ(hub->sentMessages().count(50), 1u);
  EXPECT_EQ(hub->sentMessages().count(51), 0u);
}

TEST_F(RelayHubPlacingTest, RestoreBringsBoxesMessagesAndBroadcastsBack) {
  hub->place(msg(60, "alice", "bob"), true);
  hub->place(msg(61, "alice", "bob"), true);
  extract("bob");
  hub->place(msg(62, "alice", "carol"), true);
  {
    Message wide = msg(63, "alice", "*");
    ObjectFiler filer;
    ASSERT_TRUE(wide.save(filer));
    ASSERT_TRUE(hub->backup().writeBroadcast(63, filer.toString()));
  }
  state.write("msgboxes/broken__h/msgbox.txt", "garbage");
  state.write("broadcast/64.txt", "garbage");
  restart();
  auto& boxes = hub->messageBoxes();
  // The damaged box comes back from its folder's name, its file untouched.
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_TRUE(boxes.at(Address("broken", "h")).hasDamagedFile());
  const MessageBox& bob = boxes.at(Address("bob", "h"));
  // Handed out but unconfirmed: queued again and still held.
  EXPECT_EQ(bob.pending().size(), 2u);
  EXPECT_EQ(bob.unconfirmed().size(), 2u);
  EXPECT_EQ(boxes.at(Address("carol", "h")).pending().size(), 1u);
  ASSERT_EQ(hub->broadcastList().size(), 1u);
  EXPECT_EQ(hub->broadcastList().front().getId(), 63u);
  // Unreadable items are left where they are.
  EXPECT_EQ(state.read("msgboxes/broken__h/msgbox.txt"), "garbage");
  EXPECT_TRUE(state.exists("broadcast/64.txt"));
}

TEST_F(RelayHubPlacingTest, RestoreMovesAnOldDirectoryNameToItsUniqueName) {
  MessageBox box(&hub->backup(), Address("a\\b", "h"));
  ObjectFiler filer;
  ASSERT_TRUE(box.save(filer));
  state.write("msgboxes/a%b__h/msgbox.txt", filer.toString());
  Message m = msg(70, "alice", "x");
  m.setTargetExact(Address("a\\b", "h"));
  ObjectFiler mf;
  ASSERT_TRUE(m.save(mf));
  state.write("msgboxes/a%b__h/unsent/70.txt", mf.toString());
  restart();
  const auto& boxes = hub->messageBoxes();
  ASSERT_EQ(boxes.count(Address("a\\b", "h")), 1u);
  EXPECT_EQ(boxes.at(Address("a\\b", "h")).pending().size(), 1u);
  EXPECT_FALSE(state.exists("msgboxes/a%b__h"));
  EXPECT_TRUE(state.exists("msgboxes/" + Vemora::RHBackup::boxDirName(Address("a\\b", "h")) +
                           "/unsent/70.txt"));
}

}  // namespace

namespace {

TEST_F(RelayHubPlacingTest, ARestoredBoxCountsItsIdleTimeFromTheRestore) {
  hub->place(msg(80, "alice", "bob"), true);
  // A box file last rewritten two days ago, as after a long quiet run.
  MessageBox old(&hub->backup(), Address("bob", "h"));
  old.setLastActivity(static_cast<uint32_t>(time(nullptr)) - 2 * 86400);
  ASSERT_TRUE(old.writeBoxFile());
  restart();
  ASSERT_TRUE(hub->notifyAgents());
  EXPECT_EQ(hub->agentsTimeout(), 86400);
  hub->sweepBoxes();
  ASSERT_EQ(hub->messageBoxes().count(Address("bob", "h")), 1u);
  EXPECT_EQ(hub->messageBoxes().at(Address("bob", "h")).pending().size(), 1u);
  EXPECT_TRUE(state.exists(file("bob", "unsent", 80)));
}

}  // namespace

namespace {

TEST_F(RelayHubPlacingTest, RecordsOfSentMessagesGoWithTheirLastCopy) {
  // Confirmed in every box: HANDLED_LOCAL in one, HANDLED for the rest.
  hub->place(msg(90, "alice", "bob"), true);
  hub->place(msg(90, "alice", "carol"), true);
  extract("bob");
  extract("carol");
  Message confirm = msg(90, "bob", "relayhub");
  hub->handledLocal(confirm);
  EXPECT_EQ(hub->sentMessages().count(90), 1u);  // carol still holds a copy
  hub->unCache(90, true, false);
  EXPECT_EQ(hub->sentMessages().count(90), 0u);
  // Delivered without being held (header "RAVEN"), or in a box that went:
  // the sweep drops them even though they never expire.
  Message admin = msg(91, "alice", "dave");
  admin.setHeader("RAVEN");
  admin.setTimeout(0);
  hub->place(admin, true);
  Message forever = msg(92, "alice", "erin");
  forever.setTimeout(0);
  hub->place(forever, true);
  hub->place(msg(93, "alice", "frank"), true);
  extract("dave");
  hub->messageBoxes().erase(Address("erin", "h"));
  hub->sweepSentMessages();
  EXPECT_EQ(hub->sentMessages().count(91), 0u);
  EXPECT_EQ(hub->sentMessages().count(92), 0u);
  EXPECT_EQ(hub->sentMessages().count(93), 1u);  // still pending
  // A withdrawal by a second source still reaches the copies held.
  hub->place(msg(94, "alice", "bob"), true);
  extract("bob");
  hub->place(msg(94, "mallory", "carol"), true);
  EXPECT_TRUE(hub->messageBoxes().at(Address("bob", "h")).unconfirmed().empty());
  EXPECT_EQ(hub->sentMessages().count(94), 1u);
}

TEST_F(RelayHubPlacingTest, BoxesStoredWithCapitalsAreMergedAtStart) {
  // An earlier run kept "Upper@HostX" apart from "upper@hostx".
  auto storeBox = [&](const Address& a, std::initializer_list<uint32_t> unsent,
                      const std::string& dir) {
    MessageBox box(&hub->backup(), a);
    ObjectFiler filer;
    ASSERT_TRUE(box.save(filer));
    state.write("msgboxes/" + dir + "/msgbox.txt", filer.toString());
    for (uint32_t id : unsent) {
      Message m(id);
      m.setSource("alice", "h");
      m.setTargetExact(a);
      m.setData(dir + " " + std::to_string(id));
      ObjectFiler mf;
      ASSERT_TRUE(m.save(mf));
      state.write("msgboxes/" + dir + "/unsent/" + std::to_string(id) + ".txt", mf.toString());
    }
  };
  storeBox(Address("Upper", "HostX"), {1, 2}, "Upper__HostX");
  storeBox(Address("upper", "hostx"), {2, 3}, "upper__hostx");
  storeBox(Address("Solo", "H"), {4}, "Solo__H");
  state.write("msgboxes/Upper__HostX/unsent/5.txt", "garbage");
  restart();
  auto& boxes = hub->messageBoxes();
  EXPECT_EQ(boxes.count(Address("Upper", "HostX")), 0u);
  ASSERT_EQ(boxes.count(Address("upper", "hostx")), 1u);
  std::vector<uint32_t> ids;
  for (const Message& m : boxes.at(Address("upper", "hostx")).pending()) ids.push_back(m.getId());
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3}));
  // The id both held stays in each place (the lower-case box's copy wins).
  EXPECT_TRUE(state.read("msgboxes/upper__hostx/unsent/2.txt").find("upper__hostx 2") !=
              std::string::npos);
  EXPECT_TRUE(state.exists("msgboxes/Upper__HostX/unsent/2.txt"));
  EXPECT_FALSE(state.exists("msgboxes/Upper__HostX/unsent/1.txt"));
  // What could not be read is not moved either.
  EXPECT_EQ(state.read("msgboxes/Upper__HostX/unsent/5.txt"), "garbage");
  EXPECT_FALSE(state.exists("msgboxes/upper__hostx/unsent/5.txt"));
  // A box with capitals and nothing in the way moves whole.
  ASSERT_EQ(boxes.count(Address("solo", "h")), 1u);
  EXPECT_EQ(boxes.at(Address("solo", "h")).pending().size(), 1u);
  EXPECT_FALSE(state.exists("msgboxes/Solo__H"));
  EXPECT_TRUE(state.exists("msgboxes/solo__h/msgbox.txt"));
}

}  // namespace

namespace {

TEST_F(RelayHubPlacingTest, AnUnreadableBoxFileIsNeverWrittenOver) {
  // A shortened folder name does not give the address back, so the box
  // cannot come back; its damaged file must still stay as it is.
  const std::string longName(300, 'l');
  const std::string dir = Vemora::RHBackup::boxDirName(Address(longName, "h"));
  state.write("msgboxes/" + dir + "/msgbox.txt", "MessageBox(object)\n{\n\tName(str");
  restart();
  EXPECT_TRUE(hub->messageBoxes().empty());
  EXPECT_FALSE(hub->place(msg(95, "alice", longName), true));
  EXPECT_EQ(state.read("msgboxes/" + dir + "/msgbox.txt"), "MessageBox(object)\n{\n\tName(str");
  // Other boxes are stored as ever.
  EXPECT_TRUE(hub->place(msg(96, "alice", "bob"), true));
}

}  // namespace

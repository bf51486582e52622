#include <gtest/gtest.h>

#include "common/ObjectFiler.h"
#include "relayhub/MessageBox.h"
#include "relayhub/RHBackup.h"
#include "relayhub/TestState.h"

using relayhub_test::TestState;
using Vemora::Address;
using Vemora::Message;
using Vemora::MessageBox;
using Vemora::ObjectFiler;
using Vemora::RHBackup;

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  MessageBoxTest() { store.setDirectory(state.windows); }

  static Message msg(uint32_t id, int priority = Message::kNormal) {
    Message m(id);
    m.setSource("sender", "h");
    m.setTarget(Address("bob", "pc"));
    m.setPriority(priority);
    return m;
  }
  bool unsent(uint32_t id) const {
    return state.exists("msgboxes/bob__pc/unsent/" + std::to_string(id) + ".txt");
  }
  bool unconfirmed(uint32_t id) const {
    return state.exists("msgboxes/bob__pc/unconfirmed/" + std::to_string(id) + ".txt");
  }

  TestState state;
  RHBackup store;
  Address bob{"bob", "pc"};
};

TEST_F(MessageBoxTest, AddReplacesTheSameIdAndKeepsTheHighCount) {
  MessageBox box(&store, bob);
  EXPECT_TRUE(box.addMessage(msg(1, Message::kHigh)));
  EXPECT_TRUE(box.addMessage(msg(2)));
  EXPECT_TRUE(box.addMessage(msg(1)));
  ASSERT_EQ(box.pending().size(), 2u);
  EXPECT_EQ(box.pending().back().getId(), 1u);
  EXPECT_EQ(box.highCount(), 0);
  EXPECT_TRUE(box.addMessage(msg(2, Message::kHigh)));
  EXPECT_EQ(box.highCount(), 1);
  EXPECT_TRUE(unsent(1));
  EXPECT_TRUE(unsent(2));
}

TEST_F(MessageBoxTest, MessagesKeepTheirTargetAsRead) {
  MessageBox box(&store, bob);
  Message m = msg(3);
  m.setTargetExact(Address("BOB", "PC"));
  box.addMessage(m);
  EXPECT_EQ(box.pending().front().getTarget(), Address("BOB", "PC"));
  EXPECT_TRUE(unsent(3));  // stored in the box's own folder
}

TEST_F(MessageBoxTest, NoUnsentCopyForNowhereOrBroadcast) {
  MessageBox box(&store, Address("x", "nowhere"));
  box.addMessage(msg(4));  // a box at host "nowhere" stores nothing
  EXPECT_FALSE(state.exists("msgboxes/x__nowhere/unsent/4.txt"));
  MessageBox other(&store, bob);
  Message b = msg(5);
  b.setBroadcast(true);
  other.addMessage(b);
  EXPECT_FALSE(unsent(5));
  EXPECT_EQ(other.pending().size(), 1u);
}

TEST_F(MessageBoxTest, ExtractHandsOutOldestFirst) {
  struct Case {
    int total, highAmongFirst, max;
    size_t expectOut, expectLeft;
    int expectHigh;
    bool notifiedAfter;
  };
  const Case cases[] = {
      {25, 3, 20, 20, 5, 0, false},
      {7, 2, 20, 7, 0, 0, false},
      {5, 1, 0, 0, 5, 1, true},
      {5, 0, 0, 0, 5, 0, false},
  };
  for (const Case& c : cases) {
    MessageBox box(nullptr, bob);
    for (int i = 1; i <= c.total; ++i) {
      box.addMessage(msg(static_cast<uint32_t>(i), i <= c.highAmongFirst ? Message::kHigh : 0));
    }
    box.setHaveNotified(true);
    box.setLastActivity(1);
    std::list<Message> out;
    box.extract(out, static_cast<uint32_t>(c.max));
    EXPECT_EQ(out.size(), c.expectOut);
    EXPECT_EQ(box.pending().size(), c.expectLeft);
    EXPECT_EQ(box.highCount(), c.expectHigh);
    EXPECT_EQ(box.haveNotified(), c.notifiedAfter) << c.total << "/" << c.max;
    EXPECT_GT(box.getLastActivity(), 1u);
    if (!out.empty()) {
      EXPECT_EQ(out.front().getId(), 1u);
    }
  }
}

TEST_F(MessageBoxTest, UnconfirmedCopiesAndTheirWithdrawal) {
  MessageBox box(&store, bob);
  box.addMessage(msg(10));
  std::list<Message> out;
  box.extract(out, 20);
  ASSERT_EQ(out.size(), 1u);
  // Extraction touches no file; holding unconfirmed writes the second copy.
  EXPECT_TRUE(unsent(10));
  EXPECT_TRUE(box.addUnconfirmed(out.front()));
  EXPECT_TRUE(unconfirmed(10));
  EXPECT_EQ(box.unconfirmed().size(), 1u);
  // A confirmation withdraws the copy and both stored files.
  box.removeUnconfirmed(10);
  EXPECT_TRUE(box.unconfirmed().empty());
  EXPECT_FALSE(unsent(10));
  EXPECT_FALSE(unconfirmed(10));
}

// A held message queued again (its delivery was not acknowledged, or the
// daemon restarted) is one message: its confirmation withdraws the queued
// copy too. A message of another sender under the same id stays.
TEST_F(MessageBoxTest, AConfirmationWithdrawsTheHeldMessageQueuedAgain) {
  struct Case {
    const char* source;
    bool stays;
  };
  for (const Case& c : {Case{"sender", false}, Case{"other", true}}) {
    SCOPED_TRACE(c.source);
    MessageBox box(&store, bob);
    box.addMessage(msg(10));
    std::list<Message> out;
    box.extract(out, 20);
    ASSERT_TRUE(box.addUnconfirmed(out.front()));
    Message again = msg(10);
    again.setSource(c.source, "h");
    box.addMessage(again);
    box.removeUnconfirmed(10);
    EXPECT_EQ(box.hasPending(10), c.stays);
    EXPECT_EQ(unsent(10), c.stays);
    EXPECT_FALSE(unconfirmed(10));
    box.clearMessages();
  }
  // Restored from disk with both copies: the same.
  {
    MessageBox box(&store, bob);
    box.addMessage(msg(11));
    std::list<Message> out;
    box.extract(out, 20);
    ASSERT_TRUE(box.addUnconfirmed(out.front()));
  }
  MessageBox restored(&store, bob);
  restored.loadUnsent();
  restored.loadUnconfirmed();
  ASSERT_TRUE(restored.hasPending(11));
  restored.removeUnconfirmed(11);
  EXPECT_FALSE(restored.hasPending(11));
  EXPECT_FALSE(unsent(11));
}

TEST_F(MessageBoxTest, RavenAndNocacheAreNotHeldButForgottenOnceDelivered) {
  MessageBox box(&store, bob);
  const char* headers[] = {"RAVEN", "xNOCACHEx", "raven"};
  uint32_t id = 20;
  for (const char* h : headers) {
    Message m = msg(id);
    m.setHeader(h);
    box.addMessage(m);
    std::list<Message> out;
    box.extract(out, 20);
    box.addUnconfirmed(out.front());
    const bool held = std::string(h) == "raven";
    EXPECT_EQ(box.unconfirmed().count(id) != 0, held) << h;
    box.forgetDelivered(id);
    // A message held unconfirmed keeps its copies until it is confirmed;
    // one that is not held is done with once delivered.
    EXPECT_EQ(unsent(id), held) << h;
    ++id;
  }
}

TEST_F(MessageBoxTest, ForgetDeliveredKeepsAPendingCopyOfTheSameId) {
  MessageBox box(&store, bob);
  box.addMessage(msg(30));
  box.forgetDelivered(30);
  EXPECT_TRUE(unsent(30));
}

TEST_F(MessageBoxTest, UpdateWritesOnlyOnChangeAndRequeuesForANewInstance) {
  MessageBox box(&store, bob);
  box.update(0, 0);
  EXPECT_FALSE(state.exists("msgboxes/bob__pc/msgbox.txt"));
  box.update(9000, 0);
  EXPECT_NE(state.read("msgboxes/bob__pc/msgbox.txt").find("Port(int){9000}"), std::string::npos);
  box.addMessage(msg(40));
  std::list<Message> out;
  box.extract(out, 20);
  box.addUnconfirmed(out.front());
  box.setHaveNotified(true);
  box.update(9000, 0);
  EXPECT_TRUE(box.pending().empty());
  box.update(9000, 7);
  EXPECT_EQ(box.getId(), 7);
  ASSERT_EQ(box.pending().size(), 1u);
  EXPECT_TRUE(box.unconfirmed().empty());
  EXPECT_FALSE(box.haveNotified());
  EXPECT_TRUE(unsent(40));
  EXPECT_TRUE(unconfirmed(40));
}

TEST_F(MessageBoxTest, StoredFormRoundTripsSignedIdsAndNoBroadcast) {
  MessageBox box(&store, bob);
  box.update(-5, -123456);
  box.addNoBroadcast(12);
  box.addNoBroadcast(7);
  const std::string text = state.read("msgboxes/bob__pc/msgbox.txt");
  EXPECT_NE(text.find("NoBroadcast(string){7,12}"), std::string::npos) << text;
  EXPECT_NE(text.find("ID(int){-123456}"), std::string::npos);
  ObjectFiler filer;
  ASSERT_TRUE(filer.parse(text));
  MessageBox back(&store);
  ASSERT_TRUE(back.load(filer));
  EXPECT_EQ(back.getAddress(), bob);
  EXPECT_EQ(back.getId(), -123456);
  EXPECT_EQ(back.getPort(), -5);
  EXPECT_EQ(back.noBroadcast(), (std::set<uint32_t>{7, 12}));

  box.removeNoBroadcast(7);
  box.removeNoBroadcast(12);
  EXPECT_NE(state.read("msgboxes/bob__pc/msgbox.txt").find("NoBroadcast(string){}"),
            std::string::npos);
  ObjectFiler none;
  ASSERT_TRUE(none.parse("Other(object){}\n"));
  EXPECT_FALSE(back.load(none));
}

TEST_F(MessageBoxTest, RestoreLoadsPendingAndUnconfirmedCopies) {
  {
    MessageBox box(&store, bob);
    box.addMessage(msg(1, Message::kHigh));
    box.addMessage(msg(2, Message::kHigh));
    box.addMessage(msg(3));
    std::list<Message> out;
    box.extract(out, 1);
    box.addUnconfirmed(out.front());
  }
  state.write("msgboxes/bob__pc/unsent/99.txt", "garbage");
  MessageBox restored(&store, bob);
  restored.loadUnsent();
  restored.loadUnconfirmed();
  EXPECT_EQ(restored.pending().size(), 3u);  // 1 (still unsent on disk), 2, 3
  EXPECT_EQ(restored.highCount(), 2);
  EXPECT_EQ(restored.unconfirmed().count(1), 1u);
  for (const Message& m : restored.pending()) EXPECT_EQ(m.getTarget(), bob);
}

TEST_F(MessageBoxTest, ClearRemovesEverythingStored) {
  MessageBox box(&store, bob);
  box.addMessage(msg(50, Message::kHigh));
  box.addMessage(msg(51));
  std::list<Message> out;
  box.extract(out, 1);
  box.addUnconfirmed(out.front());
  box.clearMessages();
  box.clearUnconfirmed();
  EXPECT_TRUE(box.pending().empty());
  EXPECT_EQ(box.highCount(), 0);
  EXPECT_FALSE(unsent(50));
  EXPECT_FALSE(unsent(51));
  EXPECT_FALSE(unconfirmed(50));
}

}  // namespace

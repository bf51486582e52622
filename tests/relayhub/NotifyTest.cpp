// The idle sweep on a RelayHub that is built but not configured: removal of
// inactive boxes and the call-backs with "UPDATE" to an agent's own port (a
// loopback listener of the test).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>

#include "platform/Clock.h"
#include "relayhub/RelayHub.h"
#include "relayhub/TestState.h"
#include "support/CallBackPort.h"

using relayhub_test::TestState;
using testsupport::CallBackPort;
using Vemora::Address;
using Vemora::Connection;
using Vemora::Message;
using Vemora::MessageBox;
using Vemora::RelayHub;

namespace {

class NotifyTest : public ::testing::Test {
 protected:
  NotifyTest() : hub(std::make_unique<RelayHub>(&stop, 1, argv)) {
    hub->backup().setDirectory(state.windows);
  }

  static int32_t now() { return static_cast<int32_t>(platform::unixTime()); }
  // A box of an agent at 127.0.0.1 with a call-back port and messages.
  MessageBox& box(const std::string& name, int port, int high, const std::string& host) {
    MessageBox& b = hub->getMessageBox(Address(name, host));
    b.update(port, 1);
    for (int i = 0; i < high; ++i) {
      Message m;
      m.setPriority(Message::kHigh);
      b.addMessage(m);
    }
    return b;
  }
  MessageBox& box(const std::string& name, int port, int high) {
    return box(name, port, high, "127.0.0.1");
  }

  std::atomic<bool> stop{false};
  char name[9] = "relayhub";
  char* argv[2] = {name, nullptr};
  TestState state{"notify"};
  std::unique_ptr<RelayHub> hub;
};

TEST_F(NotifyTest, InactiveBoxesGoAfterTheTimeOut) {
  MessageBox& b = box("idle", 0, 0);
  std::list<Address> removals;
  const int32_t t = now();
  b.setLastActivity(static_cast<uint32_t>(t - 86400));
  EXPECT_FALSE(hub->haveMsgBoxTimedOut(t, b, removals));
  b.setLastActivity(static_cast<uint32_t>(t - 86401));
  EXPECT_TRUE(hub->haveMsgBoxTimedOut(t, b, removals));
  EXPECT_EQ(removals.size(), 1u);
  b.setLastActivity(static_cast<uint32_t>(t + 1000));  // a clock set back keeps it
  EXPECT_FALSE(hub->haveMsgBoxTimedOut(t, b, removals));

  b.setLastActivity(static_cast<uint32_t>(t - 90000));
  box("fresh", 0, 0);
  Message m;
  hub->messageBoxes().at(Address("idle", "127.0.0.1")).addMessage(m);
  ASSERT_TRUE(state.exists("msgboxes/idle__127.0.0.1/msgbox.txt"));
  EXPECT_FALSE(hub->sweepBoxes());
  EXPECT_EQ(hub->messageBoxes().count(Address("idle", "127.0.0.1")), 0u);
  EXPECT_EQ(hub->messageBoxes().count(Address("fresh", "127.0.0.1")), 1u);
  EXPECT_FALSE(state.exists("msgboxes/idle__127.0.0.1"));
  EXPECT_TRUE(state.exists("msgboxes/fresh__127.0.0.1/msgbox.txt"));
}

TEST_F(NotifyTest, OnlyBoxesWithAPortHighMailAndNoCallBackYet) {
  CallBackPort agent;
  box("noport", 0, 2);
  box("nohigh", agent.port(), 0);
  MessageBox& done = box("done", agent.port(), 1);
  done.setHaveNotified(true);
  EXPECT_FALSE(hub->shouldNotify(hub->messageBoxes().at(Address("noport", "127.0.0.1"))));
  EXPECT_FALSE(hub->shouldNotify(hub->messageBoxes().at(Address("nohigh", "127.0.0.1"))));
  EXPECT_FALSE(hub->shouldNotify(done));
  EXPECT_FALSE(hub->sweepBoxes());
  EXPECT_EQ(agent.receive(0), "");
}

TEST_F(NotifyTest, CallBackSendsUpdateOnceUntilTheHighMailIsFetched) {
  CallBackPort agent;
  box("agent", agent.port(), 2);
  EXPECT_TRUE(hub->sweepBoxes());
  EXPECT_EQ(agent.receive(0), "STR" + Connection::lengthField(6) + "UPDATE");
  const MessageBox& b = hub->messageBoxes().at(Address("agent", "127.0.0.1"));
  EXPECT_TRUE(b.haveNotified());
  EXPECT_EQ(b.getLastNotifyAttempt(), 0);

  EXPECT_FALSE(hub->sweepBoxes());  // already called back
  EXPECT_EQ(agent.receive(0), "");

  std::list<Message> out;
  hub->extract(Address("agent", "127.0.0.1"), out, agent.port(), 1);
  EXPECT_FALSE(b.haveNotified());
  EXPECT_FALSE(hub->sweepBoxes());  // nothing HIGH waits any more
  Message high;
  high.setPriority(Message::kHigh);
  hub->addMessage(hub->messageBoxes().at(Address("agent", "127.0.0.1")), high);
  EXPECT_TRUE(hub->sweepBoxes());
  EXPECT_EQ(agent.receive(0), "STR" + Connection::lengthField(6) + "UPDATE");
}

TEST_F(NotifyTest, FailedCallBacksAreHeldBackFiveSeconds) {
  const int closedPort = [] {
    CallBackPort gone;
    return gone.port();
  }();
  struct Case {
    const char* name;
    const char* host;
    int port;
  };
  const std::vector<Case> cases = {
      {"unresolved", "no-such-host.invalid", 4000},
      {"refused", "127.0.0.1", closedPort},
  };
  for (const Case& c : cases) {
    MessageBox& b = box(c.name, c.port, 1, c.host);
    EXPECT_TRUE(hub->notify(b)) << c.name;
    EXPECT_FALSE(b.haveNotified()) << c.name;
    EXPECT_GT(b.getLastNotifyAttempt(), 0) << c.name;
    // Held back: no attempt, and the idle handler may pause again.
    EXPECT_FALSE(hub->notify(b)) << c.name;
    b.setLastNotifyAttempt(now() - 10);
    EXPECT_TRUE(hub->notify(b)) << c.name;
    hub->messageBoxes().erase(b.getAddress());
  }
  // A refused call-back does not keep the sweep from pausing.
  box("refused", closedPort, 1);
  EXPECT_TRUE(hub->sweepBoxes());
  EXPECT_FALSE(hub->sweepBoxes());
}

}  // namespace

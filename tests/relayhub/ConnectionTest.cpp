// The connection layer over real loopback sockets: the exact bytes of every
// item, staged receives fed whole, in pieces and malformed, the size cap on
// string items, and the send time limit.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "relayhub/Connection.h"
#include "support/FreePort.h"
#include "support/RawPeer.h"
#include "support/ScopeGuard.h"

namespace Vemora {
namespace {

using namespace std::string_literals;

using testsupport::freePort;

int connectTo(int port) {
  return testsupport::connectLoopback(port);
}

void sendAll(int fd, const std::string& bytes) {
  ASSERT_TRUE(testsupport::sendAllBytes(fd, bytes));
}

std::string readExact(int fd, size_t count) {
  return testsupport::readExactBytes(fd, count);
}

// An accepted connection (`server`) and the raw peer socket (`peer`).
class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener.setPort(freePort());
    ASSERT_EQ(listener.makeListener(), Connection::kOk);
    peer = connectTo(listener.getPort());
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(listener.listen(server));
  }
  void TearDown() override {
    if (peer >= 0) ::close(peer);
  }

  // Calls `step` until it answers something other than 1, waiting for data
  // between calls; gives up after a generous number of calls.
  template <typename Step>
  int until(Step step) {
    for (int i = 0; i < 2000; ++i) {
      const int r = step();
      if (r != 1) return r;
      server.haveData(20);
    }
    return 1;
  }

  Connection listener;
  Connection server;
  int peer = -1;
};

TEST_F(ConnectionTest, SentItemsHaveTheExactBytes) {
  ASSERT_TRUE(server.csend("BEGIN"s));
  EXPECT_EQ(readExact(peer, 18), "STR5"s + std::string(9, '\0') + "BEGIN");
  ASSERT_TRUE(server.csend(""s));
  EXPECT_EQ(readExact(peer, 13), "STR0"s + std::string(9, '\0'));
  ASSERT_TRUE(server.csend(20u));
  EXPECT_EQ(readExact(peer, 18), "U3220"s + std::string(13, '\0'));
  ASSERT_TRUE(server.csend(4294967295u));
  EXPECT_EQ(readExact(peer, 18), "U324294967295"s + std::string(5, '\0'));
  ASSERT_TRUE(server.sendAck());
  ASSERT_TRUE(server.sendNac());
  EXPECT_EQ(readExact(peer, 6), "ACKNAC");
  // A ten-digit length fills the field with no zero byte.
  EXPECT_EQ(Connection::lengthField(1234567890u), "1234567890");
}

TEST_F(ConnectionTest, ReceivesEveryItemKind) {
  sendAll(peer, "STR3"s + std::string(9, '\0') + "a\0b"s);
  RecvStaging st;
  std::string s;
  EXPECT_EQ(until([&] { return server.crecv(s, st); }), 2);
  EXPECT_EQ(s, "a\0b"s);
  EXPECT_EQ(st.stage, RecvStaging::kStringDone);

  st.reset();
  sendAll(peer, "U32"s + "77" + std::string(13, '\0'));
  unsigned int u = 0;
  EXPECT_EQ(until([&] { return server.crecv(u, st); }), 2);
  EXPECT_EQ(u, 77u);

  st.reset();
  sendAll(peer, "I32"s + "-5" + std::string(13, '\0'));
  int i = 0;
  EXPECT_EQ(until([&] { return server.crecv(i, st); }), 2);
  EXPECT_EQ(i, -5);

  st.reset();
  sendAll(peer, "ACK");
  EXPECT_EQ(until([&] { return server.crecvAck(st); }), 2);
  st.reset();
  sendAll(peer, "NAC");
  EXPECT_EQ(until([&] { return server.crecvAck(st); }), 0);
}

TEST_F(ConnectionTest, StringFedOneByteAtATimeCompletes) {
  const std::string item = "STR12"s + std::string(8, '\0') + "hello, world";
  RecvStaging st;
  std::string value;
  int r = 1;
  for (char c : item) {
    ASSERT_EQ(r, 1);
    sendAll(peer, std::string(1, c));
    ASSERT_TRUE(server.haveData(5000));
    // Each call takes the one byte there is; a stage that completes
    // answers 1 and the next stage runs on the next call.
    r = server.crecv(value, st);
  }
  EXPECT_EQ(r, 2);
  EXPECT_EQ(value, "hello, world");
}

TEST_F(ConnectionTest, EmptyStringCompletesWithoutReadingMore) {
  const std::string next = "U32"s + "9" + std::string(14, '\0');
  sendAll(peer, "STR0"s + std::string(9, '\0') + next);
  RecvStaging st;
  std::string value = "old";
  EXPECT_EQ(until([&] { return server.crecv(value, st); }), 2);
  EXPECT_EQ(value, "");
  // The following item is still whole in the socket.
  st.reset();
  unsigned int v = 0;
  EXPECT_EQ(until([&] { return server.crecv(v, st); }), 2);
  EXPECT_EQ(v, 9u);
}

TEST_F(ConnectionTest, NumberFieldsFollowThe32BitRuntimeRules) {
  struct Case {
    std::string tag;
    std::string field;
    int64_t expected;
  };
  const Case cases[] = {
      {"U32", "  42", 42},
      {"U32", "", 0},
      {"U32", "-1", 4294967295LL},
      {"U32", "9999999999", 4294967295LL},
      {"U32", "12abc", 12},
      {"I32", "-2147483648", -2147483648LL},
      {"I32", "9999999999", 2147483647LL},
      {"I32", "+7", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag + " '" + c.field + "'");
    std::string f = c.field;
    f.resize(15, '\0');
    sendAll(peer, c.tag + f);
    RecvStaging st;
    int64_t got = -99;
    if (c.tag == "U32") {
      unsigned int v = 0;
      ASSERT_EQ(until([&] { return server.crecv(v, st); }), 2);
      got = v;
    } else {
      int v = 0;
      ASSERT_EQ(until([&] { return server.crecv(v, st); }), 2);
      got = v;
    }
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(ConnectionTest, WrongTagsFail) {
  RecvStaging st;
  std::string s;
  sendAll(peer, "U32");
  EXPECT_EQ(until([&] { return server.crecv(s, st); }), 0);
  st.reset();
  sendAll(peer, "STR");
  unsigned int u = 0;
  EXPECT_EQ(until([&] { return server.crecv(u, st); }), 0);
  st.reset();
  sendAll(peer, "U32");
  int i = 0;
  EXPECT_EQ(until([&] { return server.crecv(i, st); }), 0);
}

TEST_F(ConnectionTest, OversizedStringIsRefusedBeforeAnyAllocation) {
  for (const std::string& length : {"16777217"s, "4294967295"s, "-1"s}) {
    SCOPED_TRACE(length);
    std::string f = length;
    f.resize(10, '\0');
    sendAll(peer, "STR" + f);
    RecvStaging st;
    std::string value;
    EXPECT_EQ(until([&] { return server.crecv(value, st); }), 0);
    EXPECT_LE(st.partial.capacity(), 64u);
  }
}

TEST_F(ConnectionTest, LargeStringArrivesInBoundedChunks) {
  const std::string payload(3 * Connection::kReadChunkBytes + 5, 'x');
  std::thread writer([&] {
    sendAll(peer, "STR" + Connection::lengthField(static_cast<uint32_t>(payload.size())) + payload);
  });
  RecvStaging st;
  std::string value;
  size_t largestStep = 0;
  int r = 1;
  for (int i = 0; i < 100000 && r == 1; ++i) {
    const size_t before = st.partial.size();
    r = server.crecv(value, st);
    if (st.stage == RecvStaging::kStringBytes || r == 2) {
      largestStep = std::max(largestStep, st.partial.size() - std::min(before, st.partial.size()));
    }
    if (r == 1) server.haveData(20);
  }
  writer.join();
  EXPECT_EQ(r, 2);
  EXPECT_EQ(value, payload);
  EXPECT_LE(largestStep, Connection::kReadChunkBytes);
}

TEST_F(ConnectionTest, PartlyReceivedItemsOfAllConnectionsShareOneBound) {
  const uint64_t base = RecvBudget::used();
  const auto bound =
      testsupport::setForScope(&RecvBudget::limit, &RecvBudget::setLimit, base + 512 * 1024);
  const std::string payload(300 * 1024, 'y');
  // The refused peer's sends may fail once its connection is closed.
  std::thread writer([&] {
    const std::string item =
        "STR" + Connection::lengthField(static_cast<uint32_t>(payload.size())) + payload;
    size_t sent = 0;
    while (sent < item.size()) {
      const ssize_t n = ::send(peer, item.data() + sent, item.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
  });
  std::string value;
  {
    // Another connection holds most of the bound with its own partial item.
    RecvStaging other;
    ASSERT_TRUE(other.reserve(400 * 1024));
    RecvStaging st;
    EXPECT_EQ(until([&] { return server.crecv(value, st); }), 0);
    EXPECT_LE(RecvBudget::used(), RecvBudget::limit());
  }
  server.close();  // as the protocol drops it
  writer.join();
  // Everything held was given back with the stagings.
  EXPECT_EQ(RecvBudget::used(), base);
  // Once the bound has room, the same item completes (and its charge goes
  // with the reset that follows every complete item).
  Connection second;
  const int other = connectTo(listener.getPort());
  ASSERT_GE(other, 0);
  ASSERT_TRUE(listener.listen(second));
  std::thread again([&] {
    sendAll(other,
            "STR" + Connection::lengthField(static_cast<uint32_t>(payload.size())) + payload);
  });
  RecvStaging st;
  int r = 1;
  for (int i = 0; i < 100000 && r == 1; ++i) {
    r = second.crecv(value, st);
    if (r == 1) second.haveData(20);
  }
  again.join();
  EXPECT_EQ(r, 2);
  EXPECT_EQ(value, payload);
  EXPECT_GT(RecvBudget::used(), base);
  st.reset();
  EXPECT_EQ(RecvBudget::used(), base);
  ::close(other);
}

TEST_F(ConnectionTest, CompleteItemIsNotReceivedAgainWithoutReset) {
  sendAll(peer, "U32"s + "5" + std::string(14, '\0') + "U32" + "6" + std::string(14, '\0'));
  RecvStaging st;
  unsigned int v = 0;
  ASSERT_EQ(until([&] { return server.crecv(v, st); }), 2);
  EXPECT_EQ(server.crecv(v, st), 1);
  EXPECT_EQ(v, 5u);
  st.reset();
  EXPECT_EQ(until([&] { return server.crecv(v, st); }), 2);
  EXPECT_EQ(v, 6u);
}

TEST_F(ConnectionTest, PeerThatClosesFailsTheNextReceive) {
  ::close(peer);
  peer = -1;
  RecvStaging st;
  std::string s;
  EXPECT_EQ(until([&] { return server.crecv(s, st); }), 0);
}

TEST_F(ConnectionTest, HostAndPortAreFixedWhileOpen) {
  const std::string host = server.getHost();
  EXPECT_FALSE(server.setHost("elsewhere"));
  EXPECT_FALSE(server.setPort(1));
  EXPECT_EQ(server.getHost(), host);
  EXPECT_NE(host.find("127.0.0.1"), std::string::npos);
  const int open = Connection::openSocketCount();
  server.close();
  EXPECT_EQ(Connection::openSocketCount(), open - 1);
  server.close();  // a closed connection is not touched
  EXPECT_EQ(Connection::openSocketCount(), open - 1);
  EXPECT_TRUE(server.setPort(1));
}

TEST_F(ConnectionTest, SendGivesUpWhenThePeerStopsReading) {
  const auto limit =
      testsupport::setForScope(&Connection::sendTimeLimitMs, &Connection::setSendTimeLimitMs, 300u);
  const std::string big(8u * 1024u * 1024u, 'y');
  // The peer never reads: the send fills both buffers and then gives up
  // instead of blocking the caller.
  EXPECT_FALSE(server.csend(big));
  EXPECT_TRUE(server.isOpen());
}

TEST(ConnectionConnect, BreakListenWakesABlockedAccept) {
  Connection listener;
  listener.setPort(freePort());
  ASSERT_EQ(listener.makeListener(), Connection::kOk);
  Connection accepted;
  bool got = false;
  std::thread waiter([&] { got = listener.listen(accepted); });
  EXPECT_TRUE(listener.breakListen());
  waiter.join();
  EXPECT_TRUE(got);
  EXPECT_TRUE(accepted.isOpen());
}

TEST(ConnectionConnect, OutgoingConnectionAndItsFailures) {
  Connection listener;
  listener.setPort(freePort());
  ASSERT_EQ(listener.makeListener(), Connection::kOk);
  Connection out;
  out.setHost("127.0.0.1");
  out.setPort(listener.getPort());
  EXPECT_EQ(out.connect(), Connection::kOk);
  EXPECT_EQ(out.connect(), Connection::kAlreadyOpen);
  EXPECT_EQ(listener.connect(), Connection::kAlreadyOpen);

  Connection refused;
  refused.setHost("127.0.0.1");
  refused.setPort(freePort());
  EXPECT_EQ(refused.connect(), Connection::kConnectFailed);
  EXPECT_FALSE(refused.isOpen());

  Connection notListening;
  EXPECT_FALSE(notListening.breakListen());
  Connection dummy;
  EXPECT_FALSE(notListening.listen(dummy));
}

TEST(ConnectionConnect, SecondListenerOnTheSamePortFailsToBind) {
  // Back to the daemon's own 2.5 s between binds afterwards.
  const testsupport::ScopeGuard retry([] { Connection::setBindRetryMs(2500); });
  Connection::setBindRetryMs(1);
  Connection first;
  first.setPort(freePort());
  ASSERT_EQ(first.makeListener(), Connection::kOk);
  Connection second;
  second.setPort(first.getPort());
  EXPECT_EQ(second.makeListener(), Connection::kBindFailed);
  EXPECT_FALSE(second.isOpen());
  EXPECT_EQ(second.lastSocketError(), platform::kWsaEaddrinuse);
  // A stop while the bind waits to be tried again ends the wait (else this
  // would wait for ten minutes).
  Connection::setBindRetryMs(600000);
  std::atomic<bool> abandon{true};
  EXPECT_EQ(second.makeListener(&abandon), Connection::kBindFailed);
  EXPECT_FALSE(second.isOpen());
}

}  // namespace
}  // namespace Vemora

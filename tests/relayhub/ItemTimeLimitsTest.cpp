// The time limits on what an agent sends, stepped pass by pass: the hub's
// waiting rule and protocol steps run over a loopback connection while the
// test keeps the wall clock's seconds. An item may take long overall (30 s
// plus 1 s for every 500 bytes it announces) as long as no silence lasts
// more than 3 s; beyond either bound the connection is dropped. The test's
// clock decides, never the machine's speed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "common/StringStream.h"
#include "platform/Clock.h"
#include "relayhub/ConnectionList.h"
#include "relayhub/RelayHub.h"
#include "support/FreePort.h"
#include "support/RawPeer.h"
#include "support/ScopeGuard.h"

namespace Vemora {
namespace {

constexpr int64_t kStart = 1800000000;

using testsupport::connectLoopback;

bool sendAll(int fd, const std::string& bytes) {
  return testsupport::sendAllBytes(fd, bytes);
}

std::string readExact(int fd, size_t count) {
  return testsupport::readExactBytes(fd, count);
}

std::string stringItem(const std::string& text) {
  return "STR" + Connection::lengthField(static_cast<uint32_t>(text.size())) + text;
}

// The text of a message from alice to bob with `dataBytes` bytes of data.
std::string messageText(uint32_t id, size_t dataBytes) {
  Message m(id);
  m.setSource("alice", "localhost");
  m.setTarget(Address("bob", "localhost"));
  m.setData(std::string(dataBytes, 'z'));
  StringStream stream;
  m.toStream(stream);
  std::string text;
  stream.toString(text, 1);
  return text;
}

// The test's wall clock, in whole seconds, for as long as it lives.
class FakeSeconds {
 public:
  FakeSeconds() {
    platform::setUnixTimeSource([this] { return seconds_.load(); });
  }
  int64_t now() const { return seconds_.load(); }
  void advance(int seconds) { seconds_ += seconds; }

 private:
  std::atomic<int64_t> seconds_{kStart};
  testsupport::ScopeGuard real_{[] { platform::setUnixTimeSource(nullptr); }};
};

// An agent past its handshake (state 12) on an accepted loopback
// connection of a hub that is built but not configured, stepped by hand.
class SteppedAgent {
 public:
  explicit SteppedAgent(const FakeSeconds& clock) : clock_(clock) {
    listener_.setPort(testsupport::freePort());
    if (listener_.makeListener() != Connection::kOk) return;
    peer = connectLoopback(listener_.getPort());
    SmartPointer<Connection> accepted(new Connection());
    if (peer < 0 || !listener_.listen(*accepted)) return;
    ConnectionEntry agent(accepted, now());
    agent.state = 12;
    agent.waiting = true;
    agent.address = Address("alice", "localhost");
    list_.entries.push_back(std::move(agent));
  }
  ~SteppedAgent() {
    if (peer >= 0) ::close(peer);
  }

  bool dropped() const { return list_.entries.empty(); }
  ConnectionEntry& entry() { return list_.entries.front(); }

  // One pass of the handler over the entry at the test's second, as the
  // handler thread makes it: the waiting rule, then one step.
  void pass() {
    if (dropped()) return;
    list_.current = list_.entries.begin();
    ConnectionEntry& e = entry();
    if (e.connection->hasUnsent() && e.connection->flush() != 2) return;
    if (!hub_->checkWaitingHaveData(now(), e, list_)) return;
    e.lastStep = now();
    hub_->handleConnection(e, list_);
  }
  // Passes at the same second until `done` holds or the hub drops the
  // connection, waiting for input between passes. The bound on passes is
  // far above what any item here needs.
  bool passUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 20000 && !dropped() && !done(); ++i) {
      pass();
      if (!dropped() && !done()) entry().connection->haveData(10);
    }
    return !dropped() && done();
  }
  // How many bytes of the message item (state 18) the hub holds.
  size_t heldOfItem() {
    if (dropped() || entry().state != 18) return 0;
    const RecvStaging& st = entry().staging;
    if (st.stage == 0) return st.partial.size();
    if (st.stage == 1) return 3 + st.partial.size();
    return 13 + st.partial.size();
  }
  // The task PLAC of one message, up to the start of the message's item.
  void startPlac() {
    ASSERT_FALSE(dropped());
    ASSERT_TRUE(sendAll(peer, stringItem("PLAC")));
    ASSERT_TRUE(passUntil([&] { return entry().state == 17; }));
    ASSERT_EQ(readExact(peer, 3), "ACK");
    ASSERT_TRUE(sendAll(peer, "U32" + Connection::numberField(1)));
    ASSERT_TRUE(passUntil([&] { return entry().state == 18; }));
  }

  int peer = -1;

 private:
  int32_t now() const { return static_cast<int32_t>(clock_.now()); }

  const FakeSeconds& clock_;
  std::atomic<bool> stop_{false};
  char name_[9] = "relayhub";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<RelayHub> hub_ = std::make_unique<RelayHub>(&stop_, 1, argv_);
  Connection listener_;
  ConnectionList list_;
};

// Each row sends one message's item in equal pieces, a fixed number of
// seconds apart, with at most one longer silence; it completes, or is
// dropped at the first pass past the bound it breaks.
TEST(ItemTimeLimits, AnItemMayTakeLongWhileBytesKeepComing) {
  struct Row {
    const char* what;
    size_t dataBytes;
    size_t piece;
    int gap;          // seconds between pieces
    int silentPiece;  // the piece before which the agent is silent longer, or -1
    int silence;      // seconds of that silence
    bool completes;
  };
  const Row rows[] = {
      {"21 KiB, 1 KiB every 3 s: over a minute in all", 21 * 1024, 1024, 3, -1, 0, true},
      {"21 KiB, 500 bytes a second: the minimum rate", 21 * 1024, 500, 1, -1, 0, true},
      {"21 KiB with one silence of 4 s", 21 * 1024, 1024, 3, 5, 4, false},
      {"600 bytes, 20 bytes every 3 s: beyond 30 s plus 1 s", 600, 20, 3, -1, 0, false},
      {"2 KiB, 20 bytes a second: beyond 30 s plus 4 s", 2000, 20, 1, -1, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeSeconds clock;
    SteppedAgent agent(clock);
    ASSERT_NO_FATAL_FAILURE(agent.startPlac());
    const int64_t started = clock.now();
    const std::string text = messageText(70, row.dataBytes);
    const std::string item = stringItem(text);
    const int64_t limit = 30 + static_cast<int64_t>(text.size()) / 500;
    bool silenceBroken = false;
    int index = 0;
    for (size_t sent = 0; sent < item.size() && !agent.dropped(); sent += row.piece, ++index) {
      const int wait = index == row.silentPiece ? row.silence : row.gap;
      if (sent > 0) {
        clock.advance(wait);
        // Nothing has come for `wait` seconds: the waiting rule looks.
        agent.pass();
        if (agent.dropped()) {
          silenceBroken = wait > 3;
          break;
        }
      }
      const size_t to = std::min(item.size(), sent + row.piece);
      ASSERT_TRUE(sendAll(agent.peer, item.substr(sent, to - sent)));
      agent.passUntil([&] { return agent.heldOfItem() >= to || agent.entry().state == 19; });
    }
    const int64_t elapsed = clock.now() - started;
    if (row.completes) {
      ASSERT_FALSE(agent.dropped()) << "after " << elapsed << " s";
      EXPECT_EQ(agent.entry().state, 19);
      EXPECT_EQ(agent.entry().message.getId(), 70u);
      EXPECT_EQ(agent.entry().message.getData(), std::string(row.dataBytes, 'z'));
      EXPECT_GT(elapsed, 30);
      EXPECT_LE(elapsed, limit);
    } else if (row.silentPiece >= 0) {
      EXPECT_TRUE(agent.dropped());
      EXPECT_TRUE(silenceBroken);
      EXPECT_LE(elapsed, limit);
    } else {
      // Dropped at the first pass beyond the item's bound, with bytes
      // still coming.
      EXPECT_TRUE(agent.dropped());
      EXPECT_GT(elapsed, limit);
      EXPECT_LE(elapsed - row.gap, limit);
    }
  }
}

}  // namespace
}  // namespace Vemora

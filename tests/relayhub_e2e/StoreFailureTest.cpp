// End-to-end tests of the state store when the disk fails: a sync, rename
// or unlink of the state folder made to fail once (the daemon's fault file)
// in the middle of a request. The request that meets the failure gets no
// "ACK"; what is acknowledged afterwards is delivered after a restart, and
// nothing that was confirmed or cleared comes back. Also: a confirmation
// after a restart withdraws what it withdraws without one.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "relayhub_e2e/AgentClient.h"
#include "relayhub_e2e/DaemonFixture.h"

using e2e::AgentClient;
using e2e::DaemonFixture;
using e2e::WireMessage;

namespace {

constexpr int32_t kCentral = 1;
const std::string kLongName(230, 'n');

// One daemon on its own folder, restarted on the same state.
class Hub {
 public:
  Hub() { EXPECT_TRUE(start()); }
  bool start() {
    daemon.writeConfig();
    return daemon.start({"-c", "C:/relayhub.conf"}) && daemon.waitForPort();
  }
  bool restart() { return daemon.stop() == 10 && start(); }
  void failNext(const std::string& op, const std::string& text) const {
    std::ofstream(daemon.faultFile(), std::ios::app) << op << ' ' << text << '\n';
  }
  bool faultUsed() const {
    std::ifstream in(daemon.faultFile());
    return in.peek() == std::ifstream::traits_type::eof();
  }
  // PLAC of the messages as `name`: true when every one was acknowledged.
  bool place(const std::string& name, const std::vector<WireMessage>& messages) {
    AgentClient agent;
    return agent.open(daemon.port(), name) && agent.place(messages);
  }
  bool send(uint32_t id, const std::string& from, const std::string& to, const std::string& data) {
    return place(from, {AgentClient::make(id, from, to, data)});
  }
  bool command(uint32_t id, const std::string& from, const std::string& to,
               const std::string& data) {
    WireMessage m = AgentClient::make(id, from, to, data);
    m.type = kCentral;
    return place(from, {m});
  }
  bool broadcast(uint32_t id, const std::string& data) {
    WireMessage m = AgentClient::make(id, "alice", "*", data);
    m.targetHost = "*";
    return place("alice", {m});
  }
  // Everything waiting for `name`, fetched by the given instance.
  std::vector<WireMessage> fetch(const std::string& name, int32_t instance) {
    AgentClient agent;
    EXPECT_TRUE(agent.open(daemon.port(), name, instance));
    auto got = agent.extractAll();
    EXPECT_TRUE(got.has_value());
    agent.end();
    return got.value_or(std::vector<WireMessage>());
  }
  // Waits until the log holds `needle` `count` times.
  bool waitForLogCount(const std::string& needle, size_t count) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      const std::string text = daemon.logText();
      size_t found = 0;
      for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++found;
      }
      if (found >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // A request acknowledged after the ones before it: everything they
  // prepared is on disk.
  void settle() { EXPECT_TRUE(send(1, "alice", "zed", "settle")); }

  DaemonFixture daemon;
};

bool holds(const std::vector<WireMessage>& got, uint32_t id, const std::string& data) {
  for (const WireMessage& m : got) {
    if (m.id == id && m.data == data) return true;
  }
  return false;
}

using Step = std::function<bool(Hub&)>;
using Item = std::pair<uint32_t, std::string>;

struct Case {
  const char* name;
  Step before;  // acknowledged traffic before the fault
  std::string op, path;
  Step request;  // the request that meets the fault
  Step after;    // acknowledged traffic after it
  std::string fetcher;
  std::vector<Item> delivered;
  std::vector<Item> never;
};

bool nothing(Hub&) {
  return true;
}

// carol's 600 handed out to bob's first instance and not confirmed.
bool handedOut600(Hub& hub) {
  if (!hub.send(600, "carol", "bob", "from carol")) return false;
  if (hub.fetch("bob", 1).size() != 1) return false;
  hub.settle();
  return true;
}

std::vector<Case> cases() {
  return {
      {"first PLAC to a new box",
       nothing,
       "sync",
       "newbox__localhost",
       [](Hub& h) { return h.send(70, "alice", "newbox", "seventy"); },
       [](Hub& h) { return h.send(71, "carol", "newbox", "seventy-one"); },
       "newbox",
       {{71, "seventy-one"}},
       {}},
      {"first PLAC to a new box with a long address",
       nothing,
       "sync",
       "msgboxes/~_",
       [](Hub& h) { return h.send(70, "alice", kLongName, "seventy"); },
       [](Hub& h) { return h.send(71, "carol", kLongName, "seventy-one"); },
       kLongName,
       {{71, "seventy-one"}},
       {}},
      {"first PLAC whose box file cannot be renamed",
       nothing,
       "rename",
       "newbox__localhost/msgbox",
       [](Hub& h) { return h.send(70, "alice", "newbox", "seventy"); },
       [](Hub& h) { return h.send(71, "carol", "newbox", "seventy-one"); },
       "newbox",
       {{71, "seventy-one"}},
       {}},
      {"HANDLED",
       handedOut600,
       "sync",
       "bob__localhost/unconfirmed",
       [](Hub& h) { return h.command(600, "alice", "relayhub", "HANDLED"); },
       [](Hub& h) {
         return h.command(600, "alice", "relayhub", "HANDLED") &&
                h.send(600, "dave", "bob", "from dave");
       },
       "bob",
       {{600, "from dave"}},
       {{600, "from carol"}}},
      {"HANDLED whose removal fails",
       handedOut600,
       "unlink",
       "bob__localhost/unconfirmed/600",
       [](Hub& h) { return h.command(600, "alice", "relayhub", "HANDLED"); },
       [](Hub& h) { return h.send(601, "dave", "bob", "from dave"); },
       "bob",
       {{601, "from dave"}},
       {{600, "from carol"}}},
      {"HANDLED_LOCAL",
       handedOut600,
       "sync",
       "bob__localhost",
       [](Hub& h) { return h.command(600, "bob", "relayhub", "HANDLED_LOCAL"); },
       [](Hub& h) { return h.send(601, "carol", "bob", "next"); },
       "bob",
       {{601, "next"}},
       {{600, "from carol"}}},
      // What survives a restart of a broadcast is its file: a box made
      // after the restart gets it.
      {"a broadcast store",
       nothing,
       "sync",
       "broadcast/",
       [](Hub& h) { return h.broadcast(800, "wide"); },
       [](Hub& h) { return h.broadcast(801, "wider"); },
       "erin",
       {{801, "wider"}},
       {}},
      {"CLEAR",
       [](Hub& h) {
         return h.send(900, "carol", "bob", "old") && h.send(901, "carol", "bob", "older");
       },
       "unlink",
       "bob__localhost/unsent/900",
       [](Hub& h) { return h.command(950, "alice", "bob", "CLEAR"); },
       [](Hub& h) { return h.send(902, "carol", "bob", "new"); },
       "bob",
       {{902, "new"}},
       {{900, "old"}, {901, "older"}}},
  };
}

}  // namespace

TEST(StoreFailureTest, AFailedStoreStepLosesNothingAcknowledgedAndBringsNothingBack) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    auto hub = std::make_unique<Hub>();
    ASSERT_TRUE(c.before(*hub));
    hub->failNext(c.op, c.path);
    EXPECT_FALSE(c.request(*hub)) << "acknowledged although its store failed";
    EXPECT_TRUE(hub->faultUsed());
    const std::string verb = c.op == "unlink" ? "remove" : c.op;
    EXPECT_TRUE(hub->daemon.waitForLog("The state store could not " + verb));
    ASSERT_TRUE(c.after(*hub));
    ASSERT_TRUE(hub->restart());
    // The restore is over (and its reports written) when the second run's
    // workers have started.
    ASSERT_TRUE(hub->waitForLogCount("Worker threads started", 2));
    EXPECT_EQ(hub->daemon.logText().find("could not be read"), std::string::npos);
    const std::vector<WireMessage> got = hub->fetch(c.fetcher, 2);
    for (const Item& item : c.delivered) {
      EXPECT_TRUE(holds(got, item.first, item.second)) << item.first << " " << item.second;
    }
    for (const Item& item : c.never) {
      EXPECT_FALSE(holds(got, item.first, item.second)) << item.first << " " << item.second;
    }
  }
}

TEST(StoreFailureTest, HandledAfterARestartWithdrawsTheMessage) {
  Hub hub;
  ASSERT_TRUE(hub.send(700, "carol", "bob", "seven hundred"));
  ASSERT_TRUE(hub.send(701, "carol", "bob", "unconfirmed"));
  ASSERT_EQ(hub.fetch("bob", 1).size(), 2u);
  hub.settle();
  ASSERT_TRUE(hub.restart());
  ASSERT_TRUE(hub.command(700, "alice", "relayhub", "HANDLED"));
  const std::vector<WireMessage> again = hub.fetch("bob", 2);
  EXPECT_FALSE(holds(again, 700, "seven hundred"));
  EXPECT_TRUE(holds(again, 701, "unconfirmed"));
  // And the withdrawal reached the disk.
  ASSERT_TRUE(hub.restart());
  const std::vector<WireMessage> later = hub.fetch("bob", 3);
  EXPECT_FALSE(holds(later, 700, "seven hundred"));
  EXPECT_TRUE(holds(later, 701, "unconfirmed"));
}

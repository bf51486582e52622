#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "corelib/Ims.h"
#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"
#include "corelib/Logger.h"

namespace {

using VemoraCorelib::Exception;
using VemoraCorelib::Ims;
using VemoraCorelib::ImsAgent;
using VemoraCorelib::ImsMessage;

// A logger that lives until static destruction, when it removes its hook:
// the service must still be there then.
VemoraCorelib::Logger staticLogger;

// Answers hook messages with a fixed result and counts them.
class Probe : public ImsAgent {
 public:
  explicit Probe(const std::string& name, int answer = kHandled) : ImsAgent(name), answer(answer) {}
  int handleHookMessage(uint64_t id, ImsMessage&) override {
    ++calls;
    lastId = id;
    if (onCall) onCall(id);
    return answer;
  }
  int handleMessage(ImsMessage&) override {
    ++direct;
    return answer;
  }
  int answer;
  std::atomic<int> calls{0};
  std::atomic<int> direct{0};
  std::atomic<uint64_t> lastId{0};
  std::function<void(uint64_t)> onCall;
};

class Sender : public ImsAgent {
 public:
  Sender() : ImsAgent("ims-test-sender") {}
  bool send(const std::string& g, const std::string& gr, const std::string& m) {
    ImsMessage message(g, gr, m);
    return sendMessage(message);
  }
};

TEST(ImsTest, DuplicateHooksOfOneAgentAreRefused) {
  Probe a("ims-dup-a");
  Probe b("ims-dup-b");
  const uint64_t first = a.setMessageHook(false, "dup", "x", "", 2);
  try {
    a.setMessageHook(false, "dup", "x", "", 2);
    FAIL() << "no exception";
  } catch (const ImsAgent::Hook_Duplicate& e) {
    EXPECT_EQ(e.name(), "Hook_Duplicate");
    EXPECT_EQ(e.message(), "");
    ASSERT_EQ(e.nested().size(), 1u);
    EXPECT_EQ(e.nested().front().text(true),
              "Hook_Duplicate: Trying to set a hook identical to a hook already set");
    EXPECT_EQ(
        e.text(true),
        "Hook_Duplicate:\nHook_Duplicate: Trying to set a hook identical to a hook already set");
  }
  const uint64_t other = b.setMessageHook(false, "dup", "x", "", 2);
  EXPECT_NE(first, other);
  EXPECT_TRUE(a.removeMessageHook(first));
  EXPECT_TRUE(b.removeMessageHook(other));
  EXPECT_FALSE(b.removeMessageHook(other));
}

TEST(ImsTest, GlobsSelectTheHooks) {
  Probe exact("ims-glob-exact");
  Probe pattern("ims-glob-pattern");
  Probe wrongGroup("ims-glob-wrong");
  const uint64_t h1 = exact.setMessageHook(false, "system", "", "", 2);
  const uint64_t h2 = pattern.setMessageHook(false, "sys*", "q?ery", "", 2);
  const uint64_t h3 = wrongGroup.setMessageHook(false, "system", "set", "", 2);
  Sender sender;
  EXPECT_TRUE(sender.send("system", "query", "cpu"));
  EXPECT_EQ(exact.calls, 1);
  EXPECT_EQ(pattern.calls, 1);
  EXPECT_EQ(wrongGroup.calls, 0);
  EXPECT_FALSE(sender.send("other", "query", "cpu"));
  for (uint64_t id : {h1, h2, h3}) Ims::instance()->removeHook(id);
}

TEST(ImsTest, TiersStopAtAnswerThree) {
  Probe first("ims-tier0", ImsAgent::kHandledStop);
  Probe second("ims-tier1");
  Probe third("ims-tier2");
  const uint64_t h0 = first.setMessageHook(false, "tiers", "", "", 0);
  const uint64_t h1 = second.setMessageHook(false, "tiers", "", "", 1);
  const uint64_t h2 = third.setMessageHook(false, "tiers", "", "", 7);  // any other tier is 2
  Sender sender;
  EXPECT_TRUE(sender.send("tiers", "g", "m"));
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(second.calls, 0);
  EXPECT_EQ(third.calls, 0);
  first.answer = ImsAgent::kHandled;
  EXPECT_TRUE(sender.send("tiers", "g", "m"));
  EXPECT_EQ(second.calls, 1);
  EXPECT_EQ(third.calls, 1);
  first.answer = ImsAgent::kNotHandled;
  second.answer = ImsAgent::kNotHandled;
  third.answer = ImsAgent::kNotHandled;
  EXPECT_FALSE(sender.send("tiers", "g", "m"));
  for (uint64_t id : {h0, h1, h2}) Ims::instance()->removeHook(id);
}

TEST(ImsTest, OnlyOnceHooks) {
  Probe handled("ims-once-handled");
  Probe ignoring("ims-once-ignoring", ImsAgent::kNotHandled);
  const uint64_t once = handled.setMessageHook(true, "once", "a", "", 2);
  const uint64_t stays = ignoring.setMessageHook(true, "once", "b", "", 2);
  Sender sender;
  EXPECT_TRUE(sender.send("once", "a", ""));
  EXPECT_FALSE(Ims::instance()->hasHook(once));
  EXPECT_TRUE(sender.send("once", "a", "") == false);
  EXPECT_EQ(handled.calls, 1);
  EXPECT_FALSE(sender.send("once", "b", ""));
  EXPECT_TRUE(Ims::instance()->hasHook(stays));
  EXPECT_TRUE(Ims::instance()->removeHook(stays));
}

TEST(ImsTest, NewIdsFollowTheLargestInUse) {
  Probe agent("ims-ids");
  const uint64_t a = agent.setMessageHook(false, "ids", "1", "", 2);
  const uint64_t b = agent.setMessageHook(false, "ids", "2", "", 2);
  const uint64_t c = agent.setMessageHook(false, "ids", "3", "", 2);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(c, a + 2);
  agent.removeMessageHook(c);
  const uint64_t again = agent.setMessageHook(false, "ids", "4", "", 2);
  EXPECT_EQ(again, c);
  agent.removeMessageHook(b);
  const uint64_t next = agent.setMessageHook(false, "ids", "5", "", 2);
  EXPECT_EQ(next, c + 1);
  for (uint64_t id : {a, again, next}) agent.removeMessageHook(id);
}

// The same globs hooked in two tiers: removing the tier-2 hook must clear
// its own tier, so that a later hook that gets the same id inherits nothing.
TEST(ImsTest, RemovedHookLeavesNoStaleIdInItsTier) {
  Probe early("ims-stale-tier0", ImsAgent::kNotHandled);
  Probe late("ims-stale-tier2");
  Probe heir("ims-stale-heir");
  const uint64_t h0 = early.setMessageHook(false, "stale", "g", "", 0);
  const uint64_t h2 = late.setMessageHook(false, "stale", "g", "", 2);
  ASSERT_TRUE(late.removeMessageHook(h2));
  const uint64_t inherited = heir.setMessageHook(false, "unrelated", "", "", 2);
  ASSERT_EQ(inherited, h2);  // the id comes back
  Sender sender;
  EXPECT_FALSE(sender.send("stale", "g", ""));
  EXPECT_EQ(heir.calls, 0);
  EXPECT_EQ(early.calls, 1);
  heir.removeMessageHook(inherited);
  early.removeMessageHook(h0);
}

TEST(ImsTest, SenderFilter) {
  Probe agent("ims-filter");
  Sender wanted;
  Sender other;
  const uint64_t id = Ims::instance()->setHook(&agent, false, "filter", "", "", &wanted, 2);
  EXPECT_FALSE(other.send("filter", "", ""));
  EXPECT_TRUE(wanted.send("filter", "", ""));
  EXPECT_EQ(agent.calls, 1);
  Ims::instance()->removeHook(id);
}

TEST(ImsTest, DirectSendBypassesTheHooks) {
  Probe target("ims-direct");
  Sender sender;
  ImsMessage message("nobody", "hooks", "this");
  EXPECT_TRUE(sender.sendMessage(&target, message));
  EXPECT_EQ(message.sender, &sender);
  EXPECT_EQ(target.direct, 1);
  target.answer = ImsAgent::kNotHandled;
  EXPECT_FALSE(sender.sendMessage(&target, message));
  EXPECT_FALSE(sender.sendMessage(nullptr, message));
}

TEST(ImsTest, HandlersMayChangeHooksWhileDelivering) {
  Probe self("ims-self-removing");
  Probe added("ims-added-late");
  uint64_t addedId = 0;
  const uint64_t id = self.setMessageHook(false, "change", "", "", 0);
  self.onCall = [&](uint64_t hookId) {
    self.removeMessageHook(hookId);
    addedId = added.setMessageHook(false, "change", "", "", 0);
  };
  Sender sender;
  EXPECT_TRUE(sender.send("change", "", ""));
  EXPECT_EQ(added.calls, 0);  // takes effect from the next delivery
  self.onCall = nullptr;
  EXPECT_TRUE(sender.send("change", "", ""));
  EXPECT_EQ(self.calls, 1);
  EXPECT_EQ(added.calls, 1);
  EXPECT_EQ(addedId, id);  // the freed largest id comes back
  added.removeMessageHook(addedId);
}

TEST(ImsTest, ConcurrentDeliveryAndHookChanges) {
  Probe receiver("ims-concurrent");
  const uint64_t id = receiver.setMessageHook(false, "conc", "", "", 1);
  std::atomic<bool> stop{false};
  std::thread changer([&] {
    Probe churn("ims-churn");
    while (!stop) {
      const uint64_t h = churn.setMessageHook(false, "conc", "churn", "", 2);
      churn.removeMessageHook(h);
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([] {
      Sender sender;
      for (int i = 0; i < 500; ++i) sender.send("conc", "x", "");
    });
  }
  for (auto& s : senders) s.join();
  stop = true;
  changer.join();
  EXPECT_EQ(receiver.calls, 2000);
  receiver.removeMessageHook(id);
}

TEST(ImsTest, MessageDump) {
  ImsMessage message("g", "gr", "m");
  EXPECT_EQ(message.dump(), "\tGeneral type: g\n\tGroup type  : gr\n\tMessage type: m");
  EXPECT_EQ(message.parameter, nullptr);
  EXPECT_FALSE(message.ownsParameter);
}

class CountedParameter : public VemoraCorelib::ImsMessageParameter {
 public:
  explicit CountedParameter(int& deleted) : deleted_(deleted) {}
  ~CountedParameter() override { ++deleted_; }

 private:
  int& deleted_;
};

TEST(ImsTest, OwnedParameterIsDeletedWithTheMessage) {
  int deleted = 0;
  {
    ImsMessage message("g", "", "", new CountedParameter(deleted));
    message.ownsParameter = true;
  }
  EXPECT_EQ(deleted, 1);
  CountedParameter kept(deleted);
  { ImsMessage message("g", "", "", &kept); }
  EXPECT_EQ(deleted, 1);
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corelib/DateTime.h"
#include "corelib/Exception.h"
#include "corelib/Ims.h"
#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"
#include "corelib/Logger.h"
#include "corelib/ParamStream.h"

namespace {

using VemoraCorelib::Exception;
using VemoraCorelib::ImsAgent;
using VemoraCorelib::ImsMessage;
using VemoraCorelib::Logger;
using VemoraCorelib::ParamStream;

struct Seen {
  std::string group;
  std::string type;
  int32_t level;
  std::string source;
  std::string text;
  std::string filled;
  int64_t time;
};

// Hooks the log records ("debug", not the level messages) and keeps them.
class Collector : public ImsAgent {
 public:
  Collector() : ImsAgent("collector") { id_ = setMessageHook(false, "debug", "*", "", 0); }
  ~Collector() override { removeMessageHook(id_); }

  int handleHookMessage(uint64_t, ImsMessage& message) override { return record(message); }
  int handleMessage(ImsMessage& message) override { return record(message); }

  std::vector<Seen> seen;

 private:
  int record(ImsMessage& message) {
    auto* p = dynamic_cast<Logger::LogMessageParameter*>(message.parameter);
    if (p == nullptr) return kNotHandled;  // level messages pass on
    ParamStream arguments = p->arguments;
    seen.push_back({message.groupType, message.messageType, p->level, p->source, p->text,
                    arguments.fill(p->text), p->time});
    return kHandled;
  }
  uint64_t id_ = 0;
};

// Sends level messages the way any agent would.
class Sender : public ImsAgent {
 public:
  Sender() : ImsAgent("sender") {}
  bool level(const std::string& number) {
    ImsMessage message("debug", "level", number);
    return sendMessage(message);
  }
};

class LoggerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Logger::setMaximumLevel(7);
    sender_.level("7");
  }
  // Records with this text (the library's own loggers may log as well).
  int countText(const std::string& text) const {
    int n = 0;
    for (const Seen& s : collector_.seen) n += s.text == text ? 1 : 0;
    return n;
  }
  Collector collector_;
  Sender sender_;
};

TEST_F(LoggerTest, LevelsCapAtTheProcessMaximum) {
  Logger logger;
  EXPECT_EQ(logger.level(), 7);
  EXPECT_EQ(logger.source(), "anonymous");
  logger.trace("t", ParamStream());
  logger.flood("f");
  ASSERT_EQ(collector_.seen.size(), 1u);
  EXPECT_EQ(collector_.seen[0].text, "t");
  EXPECT_TRUE(sender_.level("8"));  // handled (2), but 8 is above the maximum
  EXPECT_EQ(logger.level(), 7);
  Logger::setMaximumLevel(8);
  EXPECT_TRUE(sender_.level("8"));
  EXPECT_EQ(logger.level(), 8);
  logger.flood("f");
  EXPECT_EQ(countText("f"), 1);
  Logger::setMaximumLevel(3);
  logger.info("dropped by the maximum");
  EXPECT_EQ(countText("dropped by the maximum"), 0);
}

TEST_F(LoggerTest, LevelMessages) {
  Logger logger;
  const struct {
    const char* number;
    int32_t level;
  } cases[] = {{"3", 3}, {"-1", 3}, {"6", 6}, {"x", 0}, {"7", 7}, {"99", 7}};
  for (const auto& k : cases) {
    ImsMessage message("debug", "level", k.number);
    EXPECT_EQ(logger.handleMessage(message), 2) << k.number;
    EXPECT_EQ(logger.level(), k.level) << k.number;
  }
  ImsMessage other("debug", "other", "3");
  EXPECT_EQ(logger.handleMessage(other), 1);
  ImsMessage viaHook("debug", "level", "2");
  EXPECT_EQ(logger.handleHookMessage(logger.levelHookId() + 1000, viaHook), 1);
  EXPECT_EQ(logger.handleHookMessage(logger.levelHookId(), viaHook), 2);
  EXPECT_EQ(logger.level(), 2);
}

TEST_F(LoggerTest, EveryLoggerFollowsTheLevelMessage) {
  Logger a;
  Logger b;
  EXPECT_TRUE(sender_.level("4"));
  EXPECT_EQ(a.level(), 4);
  EXPECT_EQ(b.level(), 4);
  a.verbose("v", ParamStream());
  a.info("i");
  ASSERT_EQ(collector_.seen.size(), 1u);
  EXPECT_EQ(collector_.seen[0].text, "i");
}

TEST_F(LoggerTest, RecordsCarryTheirFields) {
  Logger logger;
  logger.setSource("application");
  EXPECT_EQ(logger.source(), "applicatio");
  ParamStream arguments;
  arguments << int32_t(3) << std::string("x");
  const int64_t before = VemoraCorelib::currentTimeValue();
  logger.send(3, "a % b %", arguments);
  logger.send(4, "info", ParamStream());
  logger.verbose("v %", arguments);
  ASSERT_EQ(collector_.seen.size(), 3u);
  EXPECT_EQ(collector_.seen[0].group, "functional");
  EXPECT_EQ(collector_.seen[0].type, "3");
  EXPECT_EQ(collector_.seen[0].level, 3);
  EXPECT_EQ(collector_.seen[0].source, "applicatio");
  EXPECT_EQ(collector_.seen[0].text, "a % b %");  // the template travels unfilled
  EXPECT_EQ(collector_.seen[0].filled, "a 3 b x");
  EXPECT_GE(collector_.seen[0].time, before);
  EXPECT_EQ(collector_.seen[1].group, "debug");
  EXPECT_EQ(collector_.seen[1].type, "4");
  EXPECT_EQ(collector_.seen[2].filled, "v 3");
}

TEST_F(LoggerTest, TargetGetsRecordsDirectly) {
  Logger logger;
  Collector target;
  logger.setTarget(&target);
  logger.info("direct");
  EXPECT_EQ(target.seen.size(), 1u);
  // The hooks are bypassed: the other collector (and the target's own hook) see nothing.
  EXPECT_EQ(collector_.seen.size(), 0u);
}

TEST_F(LoggerTest, LevelNames) {
  const struct {
    const char* name;
    int32_t level;
  } cases[] = {{"none", 0},  {"fatal", 1},   {"error", 2}, {"WARNING", 3},
               {"Info", 4},  {"verbose", 5}, {"debug", 6}, {"trace", 7},
               {"flood", 8}, {"warn", 0},    {"", 0},      {"flood ", 0}};
  for (const auto& k : cases) EXPECT_EQ(Logger::levelFromName(k.name), k.level) << k.name;
}

class Failure : public Exception {
 public:
  Failure(const std::string& message, const std::string& name)
      : Exception(message, "", ParamStream()) {
    setName(name);
  }
  Failure(const std::string& name, const Exception& nested) : Exception("@ctx{};", nested) {
    setName(name);
  }
};

TEST_F(LoggerTest, ExceptionChainsInnermostFirst) {
  Logger logger;
  const Failure bare("", "Bare");
  logger.logException(Failure("Outer", bare));
  ASSERT_EQ(collector_.seen.size(), 2u);
  EXPECT_EQ(collector_.seen[0].text, "Bare: <NO MESSAGE>");
  EXPECT_EQ(collector_.seen[1].text, "Outer: Container for above exceptions");
  EXPECT_EQ(collector_.seen[1].level, 1);

  collector_.seen.clear();
  ParamStream arguments;
  arguments << int32_t(7);
  Exception withMessage("@m{got %};", " @logsrc{file=\"f.cpp\" line=3};", arguments);
  logger.logException(Failure("Top", Failure("Middle", withMessage)));
  ASSERT_EQ(collector_.seen.size(), 3u);
  EXPECT_EQ(collector_.seen[0].text, "Exception: @m{got %}; @logsrc{file=\"f.cpp\" line=3};");
  EXPECT_EQ(collector_.seen[0].filled.substr(0, 20), "Exception: @m{got 7}");
  EXPECT_EQ(collector_.seen[1].text, "Middle: Container for above exceptions");
  EXPECT_EQ(collector_.seen[2].text, "Top: Container for above exceptions");

  collector_.seen.clear();
  Logger::setMaximumLevel(0);
  logger.logException(bare);
  EXPECT_EQ(collector_.seen.size(), 0u);
}

TEST_F(LoggerTest, RemovesItsHookWhenDestroyed) {
  uint64_t id = 0;
  {
    Logger logger;
    id = logger.levelHookId();
    EXPECT_NE(id, 0u);
  }
  EXPECT_FALSE(VemoraCorelib::Ims::instance()->hasHook(id));
  Logger later;
  EXPECT_EQ(later.level(), 7);
}

}  // namespace

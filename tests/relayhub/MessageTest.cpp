#include "relayhub/Message.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "common/ObjectFiler.h"
#include "common/StringStream.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "support/ScopeGuard.h"

using Vemora::Address;
using Vemora::Message;
using Vemora::ObjectFiler;
using Vemora::StringStream;

namespace {

int64_t now() { return platform::unixTime(); }

// The item codes and value texts of a stream text, in order.
std::vector<std::pair<int, std::string>> items(const std::string& text) {
  std::vector<std::pair<int, std::string>> out;
  const size_t eol = text.find('\n');
  size_t start = eol + 1;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] != '\0') continue;
    out.emplace_back(text[start], text.substr(start + 1, i - start - 1));
    start = i + 1;
  }
  return out;
}

Message sample() {
  Message m(77);
  m.setSource("Sender", "HostA");
  m.setTarget(Address("Target", "HostB"));
  m.setType(Message::kData);
  m.setPriority(Message::kHigh);
  m.setHeader("hdr");
  m.setData("payload");
  return m;
}

TEST(MessageIds, NeverZeroAndSpacedBySeedEvenWithoutHostName) {
  // An empty host name hashes to 0; the seed must still give distinct ids.
  const auto hostName = testsupport::setEnvForScope("vemora_hostname", std::string());
  std::set<uint32_t> seen;
  uint32_t previous = Message::makeId();
  const uint32_t step = Message::makeId() - previous;
  previous += step;
  EXPECT_NE(step, 0u);
  for (int i = 0; i < 10000; ++i) {
    const uint32_t id = Message::makeId();
    EXPECT_NE(id, 0u);
    EXPECT_EQ(id - previous, step);
    EXPECT_TRUE(seen.insert(id).second);
    previous = id;
  }
  EXPECT_NE(Message().getId(), Message().getId());
  EXPECT_EQ(Message(5).getId(), 5u);
  EXPECT_NE(Message(0).getId(), 0u);
}

TEST(MessageFields, DefaultsAndSetters) {
  Message m;
  EXPECT_EQ(m.getType(), 0);
  EXPECT_EQ(m.getPriority(), 0);
  EXPECT_EQ(m.getTimeoutTicks(), 3600000u);
  EXPECT_NEAR(m.getTimeout() - m.getCreationTime(), 3600, 1);
  EXPECT_NEAR(m.getCreationTime(), now(), 2);
  EXPECT_FALSE(m.hasTimedOut());
  m.setTarget(Address("UPPER", "Case.Host"));
  EXPECT_EQ(m.getTarget(), Address("upper", "case.host"));
  m.setSource("A", "B");
  EXPECT_EQ(m.getSource(), Address("a", "b"));
}

TEST(MessageFields, Timeouts) {
  Message m;
  m.setTimeout(0);
  EXPECT_EQ(m.getTimeout(), Message::kNeverSeconds);
  EXPECT_EQ(m.getTimeoutTicks(), Message::kNeverTicks);
  EXPECT_FALSE(m.hasTimedOut());
  EXPECT_EQ(m.deadlineTicks(), Message::kNeverTicks);
  m.setTimeout(1200);
  EXPECT_NEAR(m.getTimeout(), now() + 1200, 2);
  EXPECT_EQ(m.getTimeoutTicks(), 1200000u);
  // Beyond 2,147,483 seconds the milliseconds no longer fit in 32 bits.
  m.setTimeout(3000000);
  EXPECT_EQ(m.getTimeoutTicks(), 3000000000ull);
  m.setTimeout(4000000000u);
  EXPECT_LT(m.getTimeout(), Message::kNeverSeconds);
  EXPECT_EQ(m.getTimeoutTicks(), 4000000000000ull);
  // A deadline saturates instead of wrapping.
  m.setCreationTicks(UINT64_MAX - 5);
  m.setTimeoutTicks(100);
  EXPECT_EQ(m.deadlineTicks(), UINT64_MAX - 1);
  m.setTimeoutTicks(0);
  m.setCreationTicks(0);
  EXPECT_TRUE(m.hasTimedOut());
}

TEST(MessageWire, FieldsInTheirOrder) {
  Message m = sample();
  m.setCreationTime(static_cast<int32_t>(now() - 10));
  StringStream stream;
  m.toStream(stream);
  std::string text;
  stream.toString(text, 1);
  ASSERT_EQ(text.substr(0, 12), "method=none\n");
  const auto got = items(text);
  const std::vector<int> codes = {9, 1, 1, 1, 1, 8, 8, 1, 1, 10, 10, 5, 5, 13};
  ASSERT_EQ(got.size(), codes.size());
  for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(got[i].first, codes[i]) << i;
  EXPECT_EQ(got[0].second, "77");
  EXPECT_EQ(got[1].second, "sender");
  EXPECT_EQ(got[2].second, "hosta");
  EXPECT_EQ(got[3].second, "target");
  EXPECT_EQ(got[4].second, "hostb");
  EXPECT_EQ(got[5].second, "3");
  EXPECT_EQ(got[6].second, "1");
  EXPECT_EQ(got[7].second, "hdr");
  EXPECT_EQ(got[8].second, "payload");
  EXPECT_NEAR(std::stoi(got[9].second), -10, 2);
  EXPECT_NEAR(std::stoi(got[10].second), 3600, 2);
  EXPECT_EQ(got[11].second, "0");
  EXPECT_EQ(got[12].second, "0");
  EXPECT_NEAR(std::stod(got[13].second), 3600000, 2000);
}

TEST(MessageWire, RoundTripKeepsFieldsAndRemainingTime) {
  Message m = sample();
  m.setBroadcast(true);
  m.setTimeoutTicks(5000);
  StringStream out;
  m.toStream(out);
  std::string text;
  out.toString(text, 1);
  StringStream in;
  ASSERT_TRUE(in.fromString(text));
  Message back(1);
  EXPECT_EQ(back.fromStream(in), 14);
  EXPECT_EQ(back.getId(), 77u);
  EXPECT_EQ(back.getSource(), m.getSource());
  EXPECT_EQ(back.getTarget(), m.getTarget());
  EXPECT_EQ(back.getType(), Message::kData);
  EXPECT_EQ(back.getPriority(), Message::kHigh);
  EXPECT_EQ(back.getHeader(), "hdr");
  EXPECT_EQ(back.getData(), "payload");
  EXPECT_TRUE(back.isBroadcast());
  EXPECT_LE(back.getTimeoutTicks(), 5000u);
  EXPECT_GT(back.getTimeoutTicks(), 3000u);
}

// A stream built item by item, as a peer might send it.
struct Peer {
  StringStream s;
  Peer& head(uint32_t id) {
    s.putUInt(id).putString("src").putString("SrcHost").putString("Dst").putString("DstHost");
    s.putInt(2).putInt(0).putString("h").putString("d");
    return *this;
  }
};

TEST(MessageWire, TimeoutsFromAPeer) {
  struct Case {
    int32_t created, timeout;
    bool withRemaining;
    uint64_t remaining;
    uint64_t expectTicks;  // UINT64_MAX: never
    bool timedOut;
  };
  const Case cases[] = {
      {0, Message::kNeverSeconds, false, 0, Message::kNeverTicks, false},
      {0, 100, false, 0, 100000, false},
      {0, -100, false, 0, 0, true},
      {0, 100, true, Message::kNeverTicks, Message::kNeverTicks, false},
      {0, 100, true, 0, 0, true},
      {0, 100, true, 7000, 7000, false},
      // Values that would overflow 32-bit arithmetic on the clock.
      {INT32_MAX - 1, INT32_MAX - 1, false, 0, 0, false},
      {INT32_MIN + 1, INT32_MIN + 1, false, 0, 0, true},
  };
  for (const Case& c : cases) {
    Peer p;
    p.head(9);
    p.s.putLong(c.created).putLong(c.timeout).putBool(false).putBool(false);
    if (c.withRemaining) p.s.putUInt64(c.remaining);
    Message m;
    m.fromStream(p.s);
    if (c.expectTicks == 0 && !c.timedOut) {
      EXPECT_GT(m.getTimeoutTicks(), 0u);  // far ahead, clamped
      EXPECT_LT(m.getTimeout(), Message::kNeverSeconds);
    } else {
      EXPECT_EQ(m.getTimeoutTicks(), c.expectTicks) << c.timeout;
    }
    EXPECT_EQ(m.hasTimedOut(), c.timedOut) << c.timeout;
    EXPECT_GE(m.getCreationTime(), 0);
    // Names from the wire keep their case.
    EXPECT_EQ(m.getSource(), Address("src", "SrcHost"));
    EXPECT_EQ(m.getTarget(), Address("Dst", "DstHost"));
  }
}

TEST(MessageWire, MissingItemsKeepTheFieldsAndAreCounted) {
  StringStream s;
  s.putUInt(5).putString("only").putString("two");
  Message m = sample();
  EXPECT_EQ(m.fromStream(s), 3);
  EXPECT_EQ(m.getId(), 5u);
  EXPECT_EQ(m.getSource(), Address("only", "two"));
  EXPECT_EQ(m.getData(), "payload");

  StringStream empty;
  Message none;
  EXPECT_EQ(none.fromStream(empty), 0);
}

TEST(MessageStore, SaveAndLoad) {
  Message m = sample();
  m.setTimeout(0);
  m.setNotify(true);
  m.setHeader(" leading blank");
  m.setData("line1\nline2 {x} & \t");
  ObjectFiler out;
  ASSERT_TRUE(m.save(out));
  std::string text;
  out.toString(text);
  EXPECT_NE(text.find("Message(object)"), std::string::npos);
  EXPECT_NE(text.find("TimeoutTicks(uint){18446744073709551615}"), std::string::npos);
  ObjectFiler in;
  ASSERT_TRUE(in.parse(text));
  Message back(1);
  ASSERT_TRUE(back.load(in));
  EXPECT_EQ(back.getId(), 77u);
  EXPECT_EQ(back.getSource(), m.getSource());
  EXPECT_EQ(back.getTarget(), m.getTarget());
  EXPECT_EQ(back.getHeader(), m.getHeader());
  EXPECT_EQ(back.getData(), m.getData());
  EXPECT_EQ(back.getTimeout(), Message::kNeverSeconds);
  EXPECT_EQ(back.getTimeoutTicks(), Message::kNeverTicks);
  EXPECT_TRUE(back.isNotify());
  EXPECT_FALSE(back.hasTimedOut());

  ObjectFiler other;
  ASSERT_TRUE(other.parse("Other(object){}\n"));
  EXPECT_FALSE(back.load(other));
}

TEST(MessageStore, PassedTimeoutIsStoredAsZero) {
  Message m = sample();
  m.setCreationTicks(0);
  m.setTimeoutTicks(10);
  ObjectFiler out;
  ASSERT_TRUE(m.save(out));
  EXPECT_NE(out.toString().find("TimeoutTicks(uint){0}"), std::string::npos);
  ObjectFiler in;
  ASSERT_TRUE(in.parse(out.toString()));
  Message back;
  ASSERT_TRUE(back.load(in));
  EXPECT_TRUE(back.hasTimedOut());
}

TEST(MessageDump, LinesAndEscapes) {
  Message m = sample();
  m.setTimeout(0);
  m.setBroadcast(true);
  m.setData(std::string("a\rb\xE9\tz"));
  const std::string d = m.dump("   ");
  EXPECT_EQ(d.substr(0, d.find("   Created : ")),
            "   ID      : 77\n   Type    : DATA\n   Priority: HIGH\n"
            "   Source  : sender@hosta\n   Target  : target@hostb\n");
  EXPECT_NE(d.find("   Timeout : Never\n   Header  : hdr\n   (Broadcast message)\n   Data:\n"),
            std::string::npos);
  EXPECT_EQ(d.substr(d.size() - 15), "a&#13;b&#-23;\tz");
  m.setTimeout(100);
  const std::string in = m.dump("");
  EXPECT_TRUE(in.find("Timeout : In 99 seconds\n") != std::string::npos ||
              in.find("Timeout : In 100 seconds\n") != std::string::npos)
      << in;
  m.setTimeoutTicks(0);
  EXPECT_NE(m.dump("").find("Timeout : TIMED OUT!\n"), std::string::npos);
  EXPECT_EQ(Message::typeName(9), "UNDEF");
  EXPECT_EQ(Message::priorityName(2), "LOW");
  EXPECT_EQ(Message::idToText(4294967295u), "4294967295");
}

TEST(MessageHeaders, WhichAreNeverHeldUnconfirmed) {
  const std::pair<std::string, bool> cases[] = {
      {"RAVEN", true}, {"raven", false}, {"NOCACHE", true}, {"xNOCACHEy", true}, {"RAVEN2", false}};
  for (const auto& [header, uncached] : cases) {
    Message m;
    m.setHeader(header);
    EXPECT_EQ(m.isUncached(), uncached) << header;
  }
}

}  // namespace

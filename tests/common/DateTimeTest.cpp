#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/DateTime.h"
#include "platform/Clock.h"
#include "platform/Env.h"

using Vemora::DateTime;
using Vemora::DateTimeParts;
using Vemora::TimeSpan;
using Vemora::ZoneInfo;

namespace {

constexpr const char* kCentral = "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)";

// Runs a test under a VEMORA_TZ descriptor, restoring the old one after.
class DateTimeTest : public ::testing::Test {
 protected:
  void useZone(const std::string& descriptor) {
    platform::setEnv("VEMORA_TZ", descriptor);
    ZoneInfo::reexamineEnvironment();
  }
  void SetUp() override {
    old_ = platform::getEnv("VEMORA_TZ");
    useZone(kCentral);
  }
  void TearDown() override {
    platform::setEnv("VEMORA_TZ", old_);
    ZoneInfo::reexamineEnvironment();
  }

 private:
  std::optional<std::string> old_;
};

DateTime utcSet(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi, int32_t s) {
  DateTime t(0);
  t.set(y, mo, d, h, mi, s, ZoneInfo(), false);
  return t;
}

}  // namespace

TEST_F(DateTimeTest, SetClampsEveryField) {
  const struct {
    int32_t y, mo, d, h, mi, s;
    const char* expected;
  } cases[] = {
      {2024, 2, 30, 25, 61, 61, "2024-02-29T23:59:59Z"},
      {2023, 2, 29, 0, 0, 0, "2023-02-28T00:00:00Z"},
      {1965, 1, 1, 0, 0, 0, "1970-01-01T00:00:00Z"},
      {2024, 0, 0, -1, -1, -1, "2024-01-01T00:00:00Z"},
      {2045, 6, 30, 12, 0, 0, "2038-01-19T03:00:00Z"},
      {2045, 1, 19, 3, 14, 59, "2038-01-19T03:14:07Z"},
      {2045, 1, 30, 3, 10, 59, "2038-01-19T03:10:59Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utcSet(c.y, c.mo, c.d, c.h, c.mi, c.s).toUtcString(), c.expected) << c.expected;
  }
  // Past the bound inside 2038 the value stays unchanged.
  DateTime t(12345);
  t.set(2038, 6, 1, 0, 0, 0, ZoneInfo(), false);
  EXPECT_EQ(t.seconds(), 12345);
}

TEST_F(DateTimeTest, PartsAndWeekdays) {
  EXPECT_EQ(DateTime(0).parts().weekday, 3);
  EXPECT_EQ(DateTime(-5).seconds(), 0);
  const DateTimeParts p = DateTime(2147483647).parts();
  EXPECT_EQ(p.year, 2038);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 19);
  EXPECT_EQ(p.weekday, 1);
  EXPECT_EQ(p.hour, 3);
  EXPECT_EQ(p.minute, 14);
  EXPECT_EQ(p.second, 7);
  EXPECT_EQ(p.zone.set, 0);
  EXPECT_EQ(p.zone.standardOffset, 3600);
  EXPECT_EQ(DateTime(1705314645).parts().weekday, 0);  // Monday 2024-01-15
}

TEST_F(DateTimeTest, LocalTextWithAndWithoutDaylightSaving) {
  const struct {
    int32_t seconds;
    bool compact;
    bool offset;
    const char* local;
  } cases[] = {
      {1704362400, false, true, "2024-01-04T11:00:00+01:00"},
      {1720087200, false, true, "2024-07-04T12:00:00+02:00"},
      {1720087200, true, true, "20240704T120000+0200"},
      {1720087200, false, false, "2024-07-04T12:00:00"},
      {1705314645, true, false, "20240115T113045"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateTime(c.seconds).toString(c.compact, c.offset), c.local) << c.local;
  }
  EXPECT_EQ(DateTime(1705314645).toUtcString(), "2024-01-15T10:30:45Z");
  EXPECT_EQ(DateTime(1705314645).toUtcString(true, false), "20240115T103045Z");
  // The UTC form's offset is that of the DateTime's own zone only.
  EXPECT_EQ(DateTime(1705314645).toUtcString(false, true), "2024-01-15T10:30:45Z+00:00");
  DateTime zoned(0);
  zoned.set(2024, 7, 4, 12, 0, 0, ZoneInfo::parseDescriptor(kCentral), true);
  EXPECT_EQ(zoned.toUtcString(false, true), "2024-07-04T10:00:00Z+02:00");
  EXPECT_EQ(zoned.toUtcString(true, true), "20240704T100000Z+0200");
}

TEST_F(DateTimeTest, ParsesEveryTextForm) {
  const struct {
    const char* text;
    const char* utc;
  } cases[] = {
      {"20240115T103045Z", "2024-01-15T10:30:45Z"},
      {"2024-01-15T10:30:45Z", "2024-01-15T10:30:45Z"},
      {"2024-01-15", "2024-01-14T23:00:00Z"},  // local midnight
      {"2024-07-15", "2024-07-14T22:00:00Z"},
      {"2024-01-15T11:30:00", "2024-01-15T10:30:00Z"},
      {"2024-07-04T12:00:00", "2024-07-04T10:00:00Z"},
      {"2024-07-04 12:00:00", "2024-07-04T10:00:00Z"},
      {"2024-01-15T10:30:00+02:00", "2024-01-15T08:30:00Z"},
      {"2024-01-15T10:30:00-0500", "2024-01-15T15:30:00Z"},
      {"2024-07-04T12:00:00+02:00", "2024-07-04T10:00:00Z"},
      {"2024-01-15T10:30:00Z+01:00", "2024-01-15T09:30:00Z"},
      {"2024-01", "2023-12-31T23:00:00Z"},
      {"garbage", "1970-01-01T00:00:00Z"},  // local midnight, held at the start
      {"2024-03-31T01:59:59+01:00", "2024-03-31T00:59:59Z"},
      {"2024-03-31T03:00:00+02:00", "2024-03-31T01:00:00Z"},
      {"2024-10-27T02:30:00+02:00", "2024-10-27T00:30:00Z"},
      {"2024-10-27T02:30:00+01:00", "2024-10-27T01:30:00Z"},
      {"2024-13-45T99:99:99Z", "2024-12-31T23:59:59Z"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DateTime(std::string(c.text)).toUtcString(), c.utc) << c.text;
  EXPECT_EQ(DateTime(std::string("")).seconds(), 0);
}

TEST_F(DateTimeTest, WrittenTextsReadBackAsTheSameInstant) {
  // Every instant but the last hour of the range, whose local time would lie
  // past 2038-01-19T03:14:07.
  const int32_t instants[] = {0,          86399,      1704362400, 1711846799, 1711846800,
                              1720087200, 1729990799, 1729994400, 2147480047};
  for (int32_t s : instants) {
    const DateTime t(s);
    for (bool compact : {false, true}) {
      for (bool offset : {false, true}) {
        EXPECT_EQ(DateTime(t.toString(compact, offset)).seconds(), s)
            << t.toString(compact, offset);
      }
      EXPECT_EQ(DateTime(t.toUtcString(compact, false)).seconds(), s) << t.toUtcString();
    }
  }
}

// Around both transitions of a northern and a southern zone (daylight saving
// across the year's end), every second's texts read back as that second. A
// local text without offset in the repeated hour's second pass names the
// first pass too, and reads back as that.
TEST_F(DateTimeTest, TextsAroundTransitionsReadBackAsTheSameInstant) {
  for (const char* descriptor :
       {kCentral, "+10:00 (+01:00 10M1W6D2H-4M1W6D3H)", "-03:00 (+01:00 10M1W6D0H-2M3W6D0H)"}) {
    useZone(descriptor);
    const ZoneInfo zone = ZoneInfo::local();
    const int32_t d = zone.dstOffset;
    ASSERT_GT(d, 0) << descriptor;
    const int32_t s = ZoneInfo::startTime(zone, 2024);
    const int32_t e = ZoneInfo::endTime(zone, 2024);
    int failures = 0;
    // Every second from before the states near a transition begin (within d
    // of s, within 2d before e) to past them; the compact forms every minute.
    const std::pair<int32_t, int32_t> windows[] = {{s - d - 2, s + d + 2},
                                                   {e - 2 * d - 2, e + d + 2}};
    for (const auto& [from, to] : windows) {
      for (int32_t t = from; t <= to && failures < 5; ++t) {
        const DateTime instant(t);
        const bool secondPass = t >= e && t < e + d;
        for (bool compact : {false, true}) {
          if (compact && t % 60 != 0) continue;
          const std::string plain = instant.toString(compact, false);
          const std::string withOffset = instant.toString(compact, true);
          if (DateTime(plain).seconds() != (secondPass ? t - d : t)) {
            ADD_FAILURE() << descriptor << ": " << t << " wrote " << plain << ", read "
                          << DateTime(plain).seconds();
            ++failures;
          }
          if (DateTime(withOffset).seconds() != t) {
            ADD_FAILURE() << descriptor << ": " << t << " wrote " << withOffset << ", read "
                          << DateTime(withOffset).seconds();
            ++failures;
          }
        }
      }
    }
  }
}

TEST_F(DateTimeTest, FixedOffsetZone) {
  useZone("-0500");
  EXPECT_EQ(DateTime(1720087200).toString(false, true), "2024-07-04T05:00:00-05:00");
  EXPECT_EQ(DateTime(std::string("2024-07-04T05:00:00")).seconds(), 1720087200);
  useZone("+01:00");
  EXPECT_EQ(DateTime(std::string("2024-01-15T10:30:00+02:00")).toUtcString(),
            "2024-01-15T08:30:00Z");
}

TEST_F(DateTimeTest, ArithmeticStaysInRange) {
  DateTime t(2147483000);
  t += TimeSpan(100000);
  EXPECT_EQ(t.seconds(), 2147483647);
  EXPECT_EQ(DateTime(10).minus(TimeSpan(100)).seconds(), 0);
  EXPECT_EQ(DateTime(10).plus(TimeSpan(-100)).seconds(), 0);
  EXPECT_EQ(DateTime(10).plus(TimeSpan(5)).seconds(), 15);
  EXPECT_EQ(DateTime(2147483000).minus(TimeSpan(-2147483647)).seconds(), 2147483647);
  EXPECT_TRUE(DateTime(1) < DateTime(2));
}

TEST_F(DateTimeTest, RoundsDownInLocalTime) {
  const struct {
    const char* local;
    int32_t span;
    const char* expected;
  } cases[] = {
      {"2024-01-17T13:45:10", 604800, "2024-01-15T00:00:00"},
      {"2024-01-17T13:45:10", 3600, "2024-01-17T13:00:00"},
      {"2024-01-17T13:45:10", 86400, "2024-01-17T00:00:00"},
      {"2024-07-17T13:45:10", 86400, "2024-07-17T00:00:00"},
      {"2024-07-21T23:59:59", 604800, "2024-07-15T00:00:00"},
      {"2024-01-17T13:45:10", 1, "2024-01-17T13:45:10"},
      {"2024-01-17T13:45:10", 900, "2024-01-17T13:45:00"},
  };
  for (const auto& c : cases) {
    DateTime t{std::string(c.local)};
    t.roundDownLocal(TimeSpan(c.span));
    EXPECT_EQ(t.toString(), c.expected) << c.local << " / " << c.span;
  }
}

TEST_F(DateTimeTest, ConversionsOnManyThreadsAgree) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([i, &failures] {
      const int32_t base = 1704362400 + i * 86400 * 40;
      const std::string expected = DateTime(base).toUtcString();
      for (int n = 0; n < 2000; ++n) {
        if (DateTime(base).toUtcString() != expected) ++failures[i];
        if (DateTime(expected).seconds() != base) ++failures[i];
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST_F(DateTimeTest, WaitSecondsReturnsOnceTheClockHasReachedTheTarget) {
  const int64_t start = platform::unixTime();
  DateTime::waitSeconds(1);
  EXPECT_GE(platform::unixTime(), start + 1);
  DateTime::waitSeconds(0);
  DateTime::waitSeconds(-3);
}

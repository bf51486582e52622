#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "corelib/DateTime.h"
#include "corelib/TimeZone.h"

namespace {

using VemoraCorelib::DateTime;
using VemoraCorelib::kUnixEpochValue;
using VemoraCorelib::TimeZone;

constexpr int64_t kHour = 3600000;

int64_t fromUnix(int64_t seconds) {
  return seconds * 1000 + kUnixEpochValue;
}

const char* const kEurope = "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)";

TEST(TimeZoneTest, ParseOffset) {
  const struct {
    const char* text;
    int64_t ms;
  } cases[] = {
      {"+05:30", 19800000},
      {"+0530", 19800000},
      {"-0500", -18000000},
      {"-05:00", -18000000},
      {"+00:00", 0},
      {"+5:30", 0},
      {"+05:3x", 0},
      {"05:30", 0},
      {"+05:300", 0},
      {"+05-30", 0},
      {"", 0},
      {"+99:59", 359940000},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeZone::parseOffset(c.text), c.ms) << c.text;
}

TEST(TimeZoneTest, ParseRule) {
  const TimeZone::Rule rule = TimeZone::parseRule("10M5W6D3H");
  EXPECT_EQ(rule.month, 10);
  EXPECT_EQ(rule.week, 5);
  EXPECT_EQ(rule.weekday, 6);
  EXPECT_EQ(rule.hour, 3);
  const TimeZone::Rule odd = TimeZone::parseRule("xM9W");
  EXPECT_EQ(odd.month, 0);
  EXPECT_EQ(odd.week, 9);
  EXPECT_EQ(odd.hour, 0);
}

TEST(TimeZoneTest, DescriptorWithDaylightSaving) {
  const TimeZone zone(kEurope);
  EXPECT_TRUE(zone.isSet());
  EXPECT_EQ(zone.standardOffset(), kHour);
  EXPECT_EQ(zone.dstOffset(), kHour);
  // March 2024 has five Sundays, but the week count of the rule gives the
  // fourth: Sunday 24 March; the end is Sunday 27 October.
  EXPECT_EQ(zone.startTime(2024), fromUnix(1711242000));  // 2024-03-24T01:00Z
  EXPECT_EQ(zone.endTime(2024), fromUnix(1729990800));    // 2024-10-27T01:00Z
  const int64_t july = fromUnix(1719792000);
  EXPECT_TRUE(zone.isDst(july));
  EXPECT_EQ(zone.offsetAt(july), 2 * kHour);
  EXPECT_EQ(zone.offsetText(july, false), "+02:00");
  EXPECT_EQ(zone.offsetText(DateTime(july, zone), true), "+0200");
  const int64_t january = fromUnix(1705314645);
  EXPECT_FALSE(zone.isDst(january));
  EXPECT_EQ(zone.offsetText(january, false), "+01:00");
  EXPECT_EQ(zone.dstState(july), 1);
  EXPECT_EQ(zone.dstState(january), 2);
  EXPECT_EQ(zone.dstState(zone.startTime(2024) - 1000), 3);
  EXPECT_EQ(zone.dstState(zone.endTime(2024) + 1000), 1);  // within an hour after the end
  EXPECT_EQ(zone.dstState(zone.endTime(2024) + kHour), 2);
}

TEST(TimeZoneTest, RuleNumbersAreStoredUntested) {
  const TimeZone week9("+01:00 (+01:00 3M9W6D2H-10M5W6D3H)");
  EXPECT_EQ(week9.startRule().week, 9);
  EXPECT_EQ(week9.startTime(2024), fromUnix(1711242000));  // the week is capped by the count
  const TimeZone hour24("+01:00 (+01:00 3M5W6D24H-10M5W6D3H)");
  EXPECT_EQ(hour24.startTime(2024), fromUnix(1711242000) + 22 * kHour);
}

TEST(TimeZoneTest, RuleFieldsOutOfRangeGiveNoTransition) {
  for (const char* text :
       {"+01:00 (+01:00 13M5W6D2H-10M5W6D3H)", "+01:00 (+01:00 3M5W9D2H-10M5W6D3H)",
        "+01:00 (+01:00 3M0W6D2H-10M5W6D3H)", "+01:00 (+01:00 3M5W6D2H-0M5W6D3H)",
        "+01:00 (+01:00 3M5W6D2H-200M5W6D3H)"}) {
    const TimeZone zone(text);
    const int64_t july = fromUnix(1719792000);
    EXPECT_FALSE(zone.isDst(july)) << text;
    EXPECT_EQ(zone.offsetAt(july), kHour) << text;
    EXPECT_EQ(zone.dstState(july), 2) << text;
  }
  EXPECT_EQ(TimeZone("+01:00 (+01:00 13M5W6D2H-10M5W6D3H)").startTime(2024), 0);
}

TEST(TimeZoneTest, WalkPastTheMonthEndLandsInTheNextMonth) {
  // December 2024 begins on a Sunday: five Sundays, four Saturdays; the
  // fifth Saturday is 4 January 2025.
  const TimeZone zone("+00:00 (+01:00 12M5W5D0H-2M1W6D0H)");
  EXPECT_EQ(zone.startTime(2024), fromUnix(1735948800));
}

TEST(TimeZoneTest, SouthernHemisphere) {
  const TimeZone zone("-03:00 (+01:00 10M1W6D0H-2M3W6D0H)");
  EXPECT_TRUE(zone.isDst(fromUnix(1705314645)));   // January
  EXPECT_FALSE(zone.isDst(fromUnix(1719792000)));  // July
  EXPECT_EQ(zone.offsetAt(fromUnix(1719792000)), -3 * kHour);
  EXPECT_EQ(zone.offsetText(fromUnix(1705314645), false), "-02:00");
  // The first instant after the repeated hour is standard time, in either
  // hemisphere.
  for (const char* text : {"-03:00 (+01:00 10M1W6D0H-2M3W6D0H)", kEurope}) {
    const TimeZone z(text);
    const int64_t e = z.endTime(2024);
    EXPECT_EQ(z.dstState(e + z.dstOffset()), 2) << text;
    EXPECT_NE(z.dstState(e + z.dstOffset() - 1), 2) << text;
  }
}

TEST(TimeZoneTest, FixedOffsetsAndNumbers) {
  const struct {
    const char* text;
    int64_t standard;
  } cases[] = {
      {"-0500", -5 * kHour}, {"+05:30", 19800000}, {"+0530xyz", 0},
      {"60", kHour},         {"-90", -5400000},    {"1000000", 60000000000},
      {"3600000", kHour},    {"abc", 0},           {"", 0},
  };
  for (const auto& c : cases) {
    const TimeZone zone(c.text);
    EXPECT_TRUE(zone.isSet());
    EXPECT_EQ(zone.standardOffset(), c.standard) << c.text;
  }
  // Milliseconds beyond what the minute form can give are cut to it, so that
  // offsets added to times never overflow.
  for (const char* huge : {"60000000001", "9223372036854775807", "99999999999999999999999"}) {
    const TimeZone zone(huge);
    EXPECT_EQ(zone.standardOffset(), 60000000000) << huge;
    EXPECT_EQ(zone.offsetAt(fromUnix(0)), 60000000000) << huge;
    EXPECT_EQ(zone.offsetText(fromUnix(0), false), "+16666:40") << huge;
  }
  EXPECT_EQ(TimeZone("1000001").standardOffset(), 1000001);
  EXPECT_EQ(TimeZone("-0500").dstOffset(), 0);
  EXPECT_EQ(TimeZone("-0500").offsetText(fromUnix(0), false), "-05:00");
}

TEST(TimeZoneTest, CopiesCountAsSet) {
  const TimeZone empty;
  EXPECT_FALSE(empty.isSet());
  EXPECT_EQ(empty.offsetAt(fromUnix(0)), 0);
  const TimeZone copy(empty);
  EXPECT_TRUE(copy.isSet());
  TimeZone assigned;
  assigned = TimeZone(kEurope);
  EXPECT_EQ(assigned.endRule().month, 10);
}

// The environment is examined once per process: these run in a fresh child.
void expectInFreshProcess(void (*body)()) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        body();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(TimeZoneTest, DescriptorFromTheEnvironment) {
  expectInFreshProcess([] {
    setenv("VEMORA_TZ", kEurope, 1);
    TimeZone zone;
    zone.local(false);
    EXPECT_EQ(zone.standardOffset(), kHour);
    EXPECT_EQ(zone.dstOffset(), kHour);
    EXPECT_EQ(zone.startRule().month, 3);
    setenv("VEMORA_TZ", "+05:00", 1);  // read once: a change is not seen
    EXPECT_EQ(TimeZone().local(true).standardOffset(), kHour);
    EXPECT_EQ(DateTime(0).zone().dstOffset(), kHour);
  });
}

TEST(TimeZoneTest, NumberFromTheEnvironment) {
  expectInFreshProcess([] {
    setenv("TZ", "UTC0", 1);
    setenv("VEMORA_TZ", "60", 1);
    EXPECT_EQ(TimeZone().local(false).standardOffset(), kHour);
  });
}

TEST(TimeZoneTest, EmptyVariableMeansTheRuntimeZone) {
  expectInFreshProcess([] {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    setenv("VEMORA_TZ", "", 1);
    TimeZone zone;
    zone.local(true);
    EXPECT_EQ(zone.standardOffset(), kHour);
    EXPECT_EQ(zone.dstOffset(), kHour);
    EXPECT_EQ(zone.startRule().month, 3);
    EXPECT_EQ(zone.startRule().week, 5);
    EXPECT_EQ(zone.startRule().weekday, 6);
    EXPECT_EQ(zone.startRule().hour, 2);
    EXPECT_EQ(zone.endRule().month, 10);
    EXPECT_EQ(zone.endRule().week, 5);
    EXPECT_EQ(zone.endRule().weekday, 6);
    EXPECT_EQ(zone.endRule().hour, 3);
  });
}

TEST(TimeZoneTest, RuntimeZoneWithoutDaylightSaving) {
  expectInFreshProcess([] {
    unsetenv("VEMORA_TZ");
    setenv("TZ", "EST5", 1);
    TimeZone zone;
    zone.local(true);
    EXPECT_EQ(zone.standardOffset(), -5 * kHour);
    EXPECT_EQ(zone.dstOffset(), 0);
    EXPECT_EQ(zone.startRule().month, 0);
    // A number in the descriptor form takes the local rules: none here.
    EXPECT_EQ(TimeZone("-300").standardOffset(), -5 * kHour);
  });
}

}  // namespace

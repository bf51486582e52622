#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/DateTime.h"
#include "common/ZoneInfo.h"
#include "platform/Env.h"
#include "platform/RuntimeZone.h"

using Vemora::DateTime;
using Vemora::ZoneInfo;

namespace {

constexpr const char* kCentral = "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)";

int32_t utc(const std::string& text) {
  return DateTime(text).seconds();
}

// Sets VEMORA_TZ (or removes it) and TZ, and makes the zone code read them
// again; restores both afterwards.
class ZoneEnvironment {
 public:
  ZoneEnvironment(std::optional<std::string> vemoraTz, std::optional<std::string> tz)
      : oldVemora_(platform::getEnv("VEMORA_TZ")), oldTz_(platform::getEnv("TZ")) {
    platform::setEnv("VEMORA_TZ", vemoraTz);
    platform::setEnv("TZ", tz);
    ZoneInfo::reexamineEnvironment();
  }
  ~ZoneEnvironment() {
    platform::setEnv("VEMORA_TZ", oldVemora_);
    platform::setEnv("TZ", oldTz_);
    ZoneInfo::reexamineEnvironment();
  }

 private:
  std::optional<std::string> oldVemora_;
  std::optional<std::string> oldTz_;
};

}  // namespace

TEST(ZoneInfoTest, ParsesOffsets) {
  const struct {
    const char* text;
    int32_t seconds;
  } cases[] = {
      {"+05:30", 19800}, {"+0530", 19800},  {"+5:30", 0},      {"-01:00", -3600}, {"-0500", -18000},
      {"+00:00", 0},     {"05:30", 0},      {"+05:3", 0},      {"", 0},           {"+05:300", 0},
      {"+ab:cd", 0},     {"+12:45", 45900}, {"-1200", -43200},
  };
  for (const auto& c : cases) EXPECT_EQ(ZoneInfo::parseOffset(c.text), c.seconds) << c.text;
}

TEST(ZoneInfoTest, ParsesDescriptors) {
  const ZoneInfo z = ZoneInfo::parseDescriptor(kCentral);
  EXPECT_EQ(z.set, 1);
  EXPECT_EQ(z.standardOffset, 3600);
  EXPECT_EQ(z.dstOffset, 3600);
  EXPECT_EQ(z.start.month, 3);
  EXPECT_EQ(z.start.week, 5);
  EXPECT_EQ(z.start.weekday, 6);
  EXPECT_EQ(z.start.hour, 2);
  EXPECT_EQ(z.end.month, 10);
  EXPECT_EQ(z.end.hour, 3);
  EXPECT_EQ(ZoneInfo::toString(z), kCentral);

  // A fixed offset, an invalid rule and no offset at all have no daylight
  // saving; every descriptor gives a set zone.
  const struct {
    const char* text;
    int32_t standard;
  } fixed[] = {
      {"-0500", -18000},
      {"+05:30", 19800},
      {"+01:00 (+01:00 3M6W6D2H-10M5W6D3H)", 3600},
      {"+01:00 (+01:00 3M5W6D24H-10M5W6D3H)", 3600},
      {"+01:00 (+01:00 13M5W6D2H-10M5W6D3H)", 3600},
      {"+01:00 (+01:00 3M5W7D2H-10M5W6D3H)", 3600},
      {"+01:00 (+01:00 3M5W6D2H)", 3600},
      {"nonsense", 0},
  };
  for (const auto& c : fixed) {
    const ZoneInfo f = ZoneInfo::parseDescriptor(c.text);
    EXPECT_EQ(f.set, 1) << c.text;
    EXPECT_EQ(f.standardOffset, c.standard) << c.text;
    EXPECT_EQ(f.dstOffset, 0) << c.text;
    EXPECT_EQ(f.start.month, 0) << c.text;
    EXPECT_FALSE(ZoneInfo::isDst(f, utc("2024-07-01T00:00:00Z"))) << c.text;
  }
  EXPECT_EQ(ZoneInfo::toString(ZoneInfo::parseDescriptor("-0500")), "-05:00");
}

TEST(ZoneInfoTest, TransitionsAndOffsetsOfARule) {
  const ZoneInfo z = ZoneInfo::parseDescriptor(kCentral);
  EXPECT_EQ(ZoneInfo::startTime(z, 2024), utc("2024-03-31T01:00:00Z"));
  EXPECT_EQ(ZoneInfo::endTime(z, 2024), utc("2024-10-27T01:00:00Z"));
  EXPECT_EQ(ZoneInfo::startTime(z, 2025), utc("2025-03-30T01:00:00Z"));
  EXPECT_EQ(ZoneInfo::endTime(z, 2025), utc("2025-10-26T01:00:00Z"));
  const struct {
    const char* at;
    int32_t offset;
    int state;
  } cases[] = {
      {"2024-01-15T12:00:00Z", 3600, 2}, {"2024-07-01T00:00:00Z", 7200, 1},
      {"2024-03-31T00:59:59Z", 3600, 3}, {"2024-03-31T01:00:00Z", 7200, 1},
      {"2024-03-31T00:00:00Z", 3600, 3}, {"2024-03-30T23:59:59Z", 3600, 2},
      {"2024-10-27T00:59:59Z", 7200, 1}, {"2024-10-27T01:59:59Z", 3600, 1},
      {"2024-10-27T02:00:00Z", 3600, 2}, {"2024-12-31T23:00:00Z", 3600, 2},
  };
  // dstState reads its instant as local standard time taken as UTC: the hour
  // before the start is state 3, the repeated hour counts as daylight time.
  for (const auto& c : cases) {
    EXPECT_EQ(ZoneInfo::offsetAt(z, utc(c.at)), c.offset) << c.at;
    EXPECT_EQ(ZoneInfo::dstState(z, utc(c.at)), c.state) << c.at;
  }
  const ZoneInfo none;
  EXPECT_EQ(ZoneInfo::startTime(none, 2024), 0);
  EXPECT_EQ(ZoneInfo::offsetAt(none, utc("2024-07-01T00:00:00Z")), 0);
}

TEST(ZoneInfoTest, SouthernRuleIsInForceAcrossTheTurnOfTheYear) {
  const ZoneInfo z = ZoneInfo::parseDescriptor("+10:00 (+01:00 10M1W6D2H-4M1W6D3H)");
  EXPECT_EQ(ZoneInfo::offsetAt(z, utc("2024-01-10T00:00:00Z")), 39600);
  EXPECT_EQ(ZoneInfo::offsetAt(z, utc("2024-07-10T00:00:00Z")), 36000);
  EXPECT_EQ(ZoneInfo::offsetAt(z, utc("2024-12-10T00:00:00Z")), 39600);
}

TEST(ZoneInfoTest, RuleCountsItsOwnWeekday) {
  // December 2024 begins on a Sunday and has 31 days: five Sundays but four
  // Saturdays, so the last Saturday is the 28th (not the 31st, a Tuesday).
  const ZoneInfo lastSaturday = ZoneInfo::parseDescriptor("+00:00 (+01:00 12M5W5D0H-1M1W0D0H)");
  EXPECT_EQ(ZoneInfo::startTime(lastSaturday, 2024), utc("2024-12-28T00:00:00Z"));
  const ZoneInfo firstMonday = ZoneInfo::parseDescriptor("+00:00 (+01:00 12M1W0D0H-1M1W0D0H)");
  EXPECT_EQ(ZoneInfo::startTime(firstMonday, 2024), utc("2024-12-02T00:00:00Z"));
  const ZoneInfo secondWednesday = ZoneInfo::parseDescriptor("+00:00 (+01:00 12M2W2D5H-1M1W0D0H)");
  EXPECT_EQ(ZoneInfo::startTime(secondWednesday, 2024), utc("2024-12-11T05:00:00Z"));
}

TEST(ZoneInfoTest, ObservedOffsetsAndMinutes) {
  ZoneEnvironment env(std::string(kCentral), std::nullopt);
  const int32_t summer = utc("2024-07-04T10:00:00Z");
  const int32_t winter = utc("2024-01-04T10:00:00Z");
  // The observed +02:00 in summer is standard time +01:00 plus daylight saving.
  EXPECT_EQ(ZoneInfo::fromText("+02:00", summer).standardOffset, 3600);
  EXPECT_EQ(ZoneInfo::fromText("+0200", winter).standardOffset, 7200);
  EXPECT_EQ(ZoneInfo::fromText("120", winter).standardOffset, 7200);
  EXPECT_EQ(ZoneInfo::fromText("99999999", winter).standardOffset, 86400);
  const ZoneInfo d = ZoneInfo::fromText("-05:00 (+01:00 4M1W6D2H-10M5W6D2H)", winter);
  EXPECT_EQ(d.standardOffset, -18000);
  EXPECT_EQ(d.start.month, 4);
}

TEST(ZoneInfoTest, LocalZoneFromTheDescriptor) {
  {
    ZoneEnvironment env(std::string("-0500"), std::nullopt);
    const ZoneInfo z = ZoneInfo::local();
    EXPECT_EQ(z.set, 1);
    EXPECT_EQ(z.standardOffset, -18000);
    EXPECT_EQ(ZoneInfo::offsetAt(z, utc("2024-07-01T00:00:00Z")), -18000);
  }
  {
    // An empty descriptor is no descriptor: the runtime's zone is used.
    ZoneEnvironment env(std::string(""), std::string("UTC0"));
    const ZoneInfo z = ZoneInfo::local();
    EXPECT_EQ(z.set, 1);
    EXPECT_EQ(z.standardOffset, 0);
    EXPECT_EQ(z.dstOffset, 0);
  }
}

TEST(ZoneInfoTest, LocalZoneDerivedFromTheRuntime) {
  {
    ZoneEnvironment env(std::nullopt, std::string("CET-1CEST,M3.5.0,M10.5.0/3"));
    EXPECT_EQ(ZoneInfo::toString(ZoneInfo::local()), kCentral);
  }
  {
    ZoneEnvironment env(std::nullopt, std::string("AEST-10AEDT,M10.1.0,M4.1.0/3"));
    EXPECT_EQ(ZoneInfo::toString(ZoneInfo::local()), "+10:00 (+01:00 10M1W6D2H-4M1W6D3H)");
  }
  {
    ZoneEnvironment env(std::nullopt, std::string("EST5"));
    EXPECT_EQ(ZoneInfo::toString(ZoneInfo::local()), "-05:00");
  }
}

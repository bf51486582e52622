#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "corelib/DateTime.h"
#include "corelib/DateTimeDetails.h"

namespace {

using VemoraCorelib::DateTimeDetails;
using VemoraCorelib::kUnixEpochValue;
using VemoraCorelib::TimeZone;

int64_t fromUnix(int64_t seconds, int64_t ms = 0) {
  return seconds * 1000 + ms + kUnixEpochValue;
}

std::string text(int64_t value, bool ms = false, bool compact = false) {
  std::string out;
  DateTimeDetails(value).toString(out, ms, compact, false);
  return out;
}

DateTimeDetails fields(int64_t y, int64_t mo, int64_t d, int64_t h = 0, int64_t mi = 0,
                       int64_t s = 0, int64_t ms = 0) {
  DateTimeDetails details;
  details.year = y;
  details.month = mo;
  details.day = d;
  details.hour = h;
  details.minute = mi;
  details.second = s;
  details.millisecond = ms;
  details.normalized = false;
  return details;
}

TEST(DateTimeDetailsTest, ValuesToText) {
  const struct {
    int64_t value;
    bool ms;
    bool compact;
    const char* text;
  } cases[] = {
      {0, false, false, "1900-01-01T00:00:00Z"},
      {-5, true, false, "1900-01-01T00:00:00.000Z"},
      {86400000, false, false, "1900-01-01T00:00:00Z"},
      {86400000 + 1, true, false, "1900-01-01T00:00:00.001Z"},
      {kUnixEpochValue, true, false, "1970-01-01T00:00:00.000Z"},
      {fromUnix(1705314645, 123), true, false, "2024-01-15T10:30:45.123Z"},
      {fromUnix(1705314645, 123), false, true, "20240115T103045Z"},
      {fromUnix(1705314645, 7), true, true, "20240115T103045.007Z"},
      {fromUnix(951782400), false, false, "2000-02-29T00:00:00Z"},
      {fromUnix(4102444799), false, false, "2099-12-31T23:59:59Z"},
      {fromUnix(253402300799), false, false, "9999-12-31T23:59:59Z"},
      {fromUnix(253402300800), false, false, "10000-01-01T00:00:00Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(text(c.value, c.ms, c.compact), c.text) << c.value;
}

TEST(DateTimeDetailsTest, ValueRoundTrip) {
  for (int64_t seconds : {int64_t{-2208988800}, int64_t{0}, int64_t{951782399}, int64_t{951868800},
                          int64_t{1705314645}, int64_t{4102444800}, int64_t{32503680000}}) {
    const int64_t value = fromUnix(seconds, 999);
    EXPECT_EQ(DateTimeDetails(value).toValue(), value) << seconds;
  }
  EXPECT_EQ(fields(1900, 1, 1).toValue(), 86400000);
  EXPECT_EQ(fields(1970, 1, 1).toValue(), kUnixEpochValue);
}

TEST(DateTimeDetailsTest, DerivedFields) {
  const struct {
    int64_t seconds;
    int64_t weekday;
    int64_t week;
    int64_t dayOfYear;
  } cases[] = {
      {1705314645, 0, 3, 15},    // 2024-01-15, Monday
      {1609459200, 4, 53, 1},    // 2021-01-01, Friday, last week of 2020
      {1735516800, 0, 1, 365},   // 2024-12-30, Monday, week 1 of 2025
      {1798675200, 3, 53, 365},  // 2026-12-31, Thursday
  };
  for (const auto& c : cases) {
    const DateTimeDetails d(fromUnix(c.seconds));
    EXPECT_EQ(d.weekday, c.weekday) << c.seconds;
    EXPECT_EQ(d.week, c.week) << c.seconds;
    EXPECT_EQ(d.dayOfYear, c.dayOfYear) << c.seconds;
    EXPECT_TRUE(d.normalized);
    EXPECT_FALSE(d.local);
  }
  const DateTimeDetails first;
  EXPECT_EQ(first.weekday, 0);  // 1900-01-01 was a Monday
  EXPECT_EQ(first.week, 1);
  EXPECT_FALSE(first.zone.isSet());
}

TEST(DateTimeDetailsTest, Normalisation) {
  const struct {
    DateTimeDetails in;
    const char* text;
  } cases[] = {
      {fields(2024, 2, 30), "2024-03-01T00:00:00.000Z"},
      {fields(2023, 2, 29), "2023-03-01T00:00:00.000Z"},
      {fields(2024, 13, 5), "2025-01-05T00:00:00.000Z"},
      {fields(2024, 0, 5), "2023-12-05T00:00:00.000Z"},
      {fields(2024, 3, 1, -1), "2024-02-29T23:00:00.000Z"},
      {fields(2024, 3, 0), "2024-02-29T00:00:00.000Z"},
      {fields(2024, 1, 1, 0, 0, 0, -1), "2023-12-31T23:59:59.999Z"},
      {fields(2024, 12, 31, 23, 59, 59, 1000), "2025-01-01T00:00:00.000Z"},
      {fields(2024, 1, 1, 0, 0, 3600), "2024-01-01T01:00:00.000Z"},
      {fields(2024, 1, 400), "2025-02-03T00:00:00.000Z"},
      {fields(2024, 25, 1), "2026-01-01T00:00:00.000Z"},
      {fields(1899, 12, 31), "1900-01-01T00:00:00.000Z"},
      {fields(1900, 1, 0), "1900-01-01T00:00:00.000Z"},
      {fields(1900, 1, 1, 0, 0, 0, -1), "1900-01-01T00:00:00.000Z"},
      {fields(std::numeric_limits<int64_t>::max(), 1, 1), "1900-01-01T00:00:00.000Z"},
      {fields(2024, 1, std::numeric_limits<int64_t>::min()), "1900-01-01T00:00:00.000Z"},
  };
  for (const auto& c : cases) {
    DateTimeDetails d = c.in;
    d.normalize();
    std::string out;
    d.toString(out, true, false, false);
    EXPECT_EQ(out, c.text) << c.in.year << "-" << c.in.month << "-" << c.in.day;
    EXPECT_TRUE(d.normalized);
  }
}

TEST(DateTimeDetailsTest, NormalizedFlagStopsNormalisation) {
  DateTimeDetails d = fields(2024, 2, 30);
  d.normalized = true;
  d.normalize();
  EXPECT_EQ(d.day, 30);
  // toString and toValue work on a normalised copy when the flag is clear.
  d.normalized = false;
  std::string out;
  d.toString(out, false, false, false);
  EXPECT_EQ(out, "2024-03-01T00:00:00Z");
  EXPECT_EQ(d.day, 30);
  EXPECT_EQ(d.toValue(), fromUnix(1709251200));
}

TEST(DateTimeDetailsTest, ZoneTextIsAppended) {
  DateTimeDetails d(fromUnix(1705314645));
  d.zone = TimeZone("+05:30");
  std::string out;
  d.toString(out, false, false, true);
  EXPECT_EQ(out, "2024-01-15T10:30:45Z+05:30");
  d.toString(out, false, true, true);
  EXPECT_EQ(out, "20240115T103045Z+0530");
}

TEST(DateTimeDetailsTest, LocalDetailsSubtractTheOffsets) {
  DateTimeDetails d = fields(2024, 7, 1, 2);
  d.local = true;
  d.zone = TimeZone("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
  EXPECT_EQ(d.toValue(), fromUnix(1719792000));  // 02:00 summer time is 00:00Z
  d.month = 1;
  EXPECT_EQ(d.toValue(), fromUnix(1704070800));  // 02:00 winter time is 01:00Z
}

TEST(DateTimeDetailsTest, NowKeepsTheZoneAndTheLocalFlag) {
  DateTimeDetails d;
  d.zone = VemoraCorelib::TimeZone("+05:30");
  d.now();
  EXPECT_EQ(d.zone.standardOffset(), 19800000);
  EXPECT_TRUE(d.zone.isSet());
  DateTimeDetails fresh;
  fresh.now();
  EXPECT_FALSE(fresh.zone.isSet());  // an empty zone stays empty
}

TEST(DateTimeDetailsTest, NowIsCurrentTime) {
  const int64_t before = VemoraCorelib::currentTimeValue();
  DateTimeDetails d;
  d.now();
  const int64_t after = VemoraCorelib::currentTimeValue();
  EXPECT_GE(d.toValue(), before - before % 1000 - 1000);
  EXPECT_LE(d.toValue(), after);
  EXPECT_GE(d.year, 2024);
}

}  // namespace

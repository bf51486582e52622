#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corelib/DateTime.h"
#include "platform/Clock.h"

namespace {

using VemoraCorelib::DateTime;
using VemoraCorelib::DateTimeDetails;
using VemoraCorelib::TimeZone;

TEST(DateTimeTest, CurrentValueCountsFrom1899) {
  EXPECT_EQ(VemoraCorelib::kUnixEpochValue, 2209075200000);
  const int64_t before = platform::unixTimeMs();
  const int64_t value = VemoraCorelib::currentTimeValue();
  const int64_t after = platform::unixTimeMs();
  EXPECT_GE(value, before + 2209075200000);
  EXPECT_LE(value, after + 2209075200000);
}

TEST(DateTimeTest, ConstructionAndDetails) {
  const DateTime zero;
  EXPECT_EQ(zero.value(), 0);
  EXPECT_TRUE(zero.zone().isSet());  // the local zone
  const TimeZone plus2("+02:00");
  const DateTime time(VemoraCorelib::kUnixEpochValue + 61000, plus2);
  DateTimeDetails details;
  time.details(details);
  EXPECT_EQ(details.year, 1970);
  EXPECT_EQ(details.minute, 1);
  EXPECT_EQ(details.second, 1);
  EXPECT_EQ(details.hour, 0);  // UTC fields
  EXPECT_EQ(details.zone.standardOffset(), 7200000);
  const DateTime back(details);
  EXPECT_EQ(back.value(), time.value());
  EXPECT_EQ(back.zone().standardOffset(), 7200000);
  std::string out;
  details.toString(out, false, false, true);
  EXPECT_EQ(out, "1970-01-01T00:01:01Z+02:00");
}

TEST(DateTimeTest, EnvironmentReader) {
  std::string value = "unchanged";
  EXPECT_FALSE(VemoraCorelib::getEnvironmentVariable("VEMORA_SURELY_NOT_SET_G", value));
  EXPECT_EQ(value, "unchanged");
  ASSERT_EQ(setenv("VEMORA_G_EMPTY", "", 1), 0);
  EXPECT_TRUE(VemoraCorelib::getEnvironmentVariable("VEMORA_G_EMPTY", value));
  EXPECT_EQ(value, "");
  ASSERT_EQ(setenv("VEMORA_G_VALUE", "x y", 1), 0);
  EXPECT_TRUE(VemoraCorelib::getEnvironmentVariable("VEMORA_G_VALUE", value));
  EXPECT_EQ(value, "x y");
}

}  // namespace

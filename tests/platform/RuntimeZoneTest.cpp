#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/RuntimeZone.h"

using platform::RuntimeZone;

namespace {

RuntimeZone::Civil civil(int y, int mo, int d, int h) {
  RuntimeZone::Civil c;
  c.year = y;
  c.month = mo;
  c.day = d;
  c.hour = h;
  return c;
}

void useTz(const char* tz) {
  setenv("TZ", tz, 1);
  RuntimeZone::tzset();
}

}  // namespace

TEST(RuntimeZoneTest, ConvertsWithThePosixZone) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  useTz("CET-1CEST,M3.5.0,M10.5.0/3");
  const struct {
    int y, mo, d, h;
    int64_t seconds;
    int localHour;
    int isDst;
  } cases[] = {
      {2024, 1, 15, 12, 1705316400, 12, 0},
      {2024, 7, 4, 12, 1720087200, 12, 1},
      {1970, 1, 1, 1, 0, 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RuntimeZone::mktimeLocal(civil(c.y, c.mo, c.d, c.h)), c.seconds);
    RuntimeZone::Civil local;
    ASSERT_TRUE(RuntimeZone::localParts(c.seconds, &local));
    EXPECT_EQ(local.hour, c.localHour);
    EXPECT_EQ(local.isDst, c.isDst);
  }
  RuntimeZone::Civil utc;
  ASSERT_TRUE(RuntimeZone::utcParts(1720087200, &utc));
  EXPECT_EQ(utc.hour, 10);
  EXPECT_EQ(utc.weekday, 4);  // Thursday, counted from Sunday
  EXPECT_FALSE(RuntimeZone::localParts(-1, &utc));
  // Before 1970 and past 2038 do not fit the 32-bit result.
  EXPECT_EQ(RuntimeZone::mktimeLocal(civil(1969, 12, 31, 0)), -1);
  EXPECT_EQ(RuntimeZone::mktimeLocal(civil(2040, 1, 1, 0)), -1);
  if (old) {
    useTz(saved.c_str());
  } else {
    unsetenv("TZ");
    RuntimeZone::tzset();
  }
}

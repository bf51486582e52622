#include <gtest/gtest.h>

#include <cstdint>

#include "platform/Numbers.h"

namespace {

struct Case32 {
  const char* text;
  int base;
  int64_t expected;
  int consumed;
};

TEST(NumbersTest, Strtol32SaturatesAndScansAsTheRuntime) {
  const Case32 cases[] = {
      {"123", 10, 123, 3},
      {"  -42xyz", 10, -42, 5},
      {"+7", 10, 7, 2},
      {"2147483647", 10, INT32_MAX, 10},
      {"2147483648", 10, INT32_MAX, 10},
      {"-2147483648", 10, INT32_MIN, 11},
      {"-2147483649", 10, INT32_MIN, 11},
      {"99999999999999999999999", 10, INT32_MAX, 23},
      {"0x1F", 0, 31, 4},
      {"0x1F", 16, 31, 4},
      {"1F", 16, 31, 2},
      {"017", 0, 15, 3},
      {"0x", 0, 0, 1},
      {"0xg", 16, 0, 1},
      {"", 10, 0, 0},
      {"  -", 10, 0, 0},
      {"abc", 10, 0, 0},
      {"z", 36, 35, 1},
      {"12", 1, 0, 0},
      {"12", 37, 0, 0},
  };
  for (const Case32& c : cases) {
    char* end = nullptr;
    EXPECT_EQ(platform::strtol32(c.text, &end, c.base), c.expected) << c.text;
    EXPECT_EQ(end - c.text, c.consumed) << c.text;
  }
}

TEST(NumbersTest, Strtoul32WrapsNegativesAndSaturates) {
  const Case32 cases[] = {
      {"4294967295", 10, UINT32_MAX, 10},
      {"4294967296", 10, UINT32_MAX, 10},
      {"-1", 10, 4294967295LL, 2},
      {"-4294967295", 10, 1, 11},
      {"-4294967296", 10, UINT32_MAX, 11},
      {"0xFFFFFFFF", 0, UINT32_MAX, 10},
      {" 10", 10, 10, 3},
  };
  for (const Case32& c : cases) {
    char* end = nullptr;
    EXPECT_EQ(platform::strtoul32(c.text, &end, c.base), static_cast<uint32_t>(c.expected))
        << c.text;
    EXPECT_EQ(end - c.text, c.consumed) << c.text;
  }
}

TEST(NumbersTest, AtoiAndAtolUseThirtyTwoBits) {
  EXPECT_EQ(platform::atoi32("5000000000"), INT32_MAX);
  EXPECT_EQ(platform::atol32("-5000000000"), INT32_MIN);
  EXPECT_EQ(platform::atoi32(" 12abc"), 12);
  EXPECT_EQ(platform::atoi32("0x10"), 0);
  EXPECT_EQ(platform::atoi32(nullptr), 0);
}

TEST(NumbersTest, SixtyFourBitReadersSaturate) {
  EXPECT_EQ(platform::strtoi64("9223372036854775807", nullptr, 10), INT64_MAX);
  EXPECT_EQ(platform::strtoi64("9223372036854775808", nullptr, 10), INT64_MAX);
  EXPECT_EQ(platform::strtoi64("-9223372036854775808", nullptr, 10), INT64_MIN);
  EXPECT_EQ(platform::strtoi64("-99999999999999999999", nullptr, 10), INT64_MIN);
  EXPECT_EQ(platform::strtoui64("18446744073709551615", nullptr, 10), UINT64_MAX);
  EXPECT_EQ(platform::strtoui64("18446744073709551616", nullptr, 10), UINT64_MAX);
  EXPECT_EQ(platform::strtoui64("-1", nullptr, 10), UINT64_MAX);
  EXPECT_EQ(platform::strtoi64("5000000000", nullptr, 10), 5000000000LL);
}

}  // namespace

#include <gtest/gtest.h>

#include "common/TimeException.h"
#include "common/TimeSpan.h"

namespace {

using Vemora::TimeBase;
using Vemora::TimeException;
using Vemora::TimeSpan;

int codeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const TimeException& e) {
    return e.code();
  }
  return -1;
}

TEST(TimeSpanTest, ParsesTheTextForm) {
  const struct {
    const char* text;
    int32_t days, hours, minutes, seconds;
    bool negative;
    int32_t total;
  } cases[] = {
      {"P1D2H3M4S", 1, 2, 3, 4, false, 93784},
      {"P-1D", 1, 0, 0, 0, true, -86400},
      {"P-2H30M", 0, 2, 30, 0, true, -9000},
      {"P4S3M", 0, 0, 3, 4, false, 184},
      {"PD", 0, 0, 0, 0, false, 0},
      {"P", 0, 0, 0, 0, false, 0},
      {"", 0, 0, 0, 0, false, 0},
      {"P100H", 0, 100, 0, 0, false, 360000},
      {"PT1H 5m 2M", 0, 1, 2, 0, false, 3720},
      {"P30S", 0, 0, 0, 30, false, 30},
  };
  for (const auto& c : cases) {
    const TimeSpan::Parts parts = TimeSpan::parse(c.text);
    EXPECT_EQ(parts.days, c.days) << c.text;
    EXPECT_EQ(parts.hours, c.hours) << c.text;
    EXPECT_EQ(parts.minutes, c.minutes) << c.text;
    EXPECT_EQ(parts.seconds, c.seconds) << c.text;
    EXPECT_EQ(parts.negative, c.negative) << c.text;
    EXPECT_EQ(TimeSpan(parts).seconds(), c.total) << c.text;
  }
}

TEST(TimeSpanTest, TextWithoutLeadingPIsRefused) {
  for (const char* text : {"1D", "p1D", " P1D"}) {
    try {
      TimeSpan::parse(text);
      ADD_FAILURE() << text;
    } catch (const TimeException& e) {
      EXPECT_EQ(e.code(), TimeException::TM_INPUT);
      EXPECT_EQ(e.message(), "Expected 'P' in beginning of time span.");
    }
  }
}

TEST(TimeSpanTest, SpansBeyondThirtyTwoBitsAreInputErrors) {
  // Computed in 64 bits: a total that does not fit is refused, never wrapped.
  EXPECT_EQ(codeOf([] { TimeSpan(TimeSpan::parse("P24856D")); }), TimeException::TM_INPUT);
  EXPECT_EQ(codeOf([] { TimeSpan(TimeSpan::parse("P99999999999999H")); }), TimeException::TM_INPUT);
  EXPECT_EQ(codeOf([] { TimeSpan(TimeSpan::parse("P-24855D23H")); }), TimeException::TM_INPUT);
  EXPECT_EQ(TimeSpan(TimeSpan::parse("P24855D3H14M7S")).seconds(), INT32_MAX);
  TimeSpan span(5);
  EXPECT_EQ(codeOf([&] { span.set(24855, 4, 0, 0); }), TimeException::TM_INPUT);
  EXPECT_EQ(span.seconds(), 5);
}

TEST(TimeSpanTest, SetValidatesInOrder) {
  const struct {
    int32_t days;
    uint32_t hours, minutes, seconds;
    int code;
  } failures[] = {
      {0, 24, 0, 0, TimeException::TM_HOURS},
      {24856, 0, 0, 0, TimeException::TM_DAYS},
      {-24856, 99, 0, 0, TimeException::TM_DAYS},
      {0, static_cast<uint32_t>(-1), 0, 0, TimeException::TM_HOURS},
      {0, 0, 60, 0, TimeException::TM_MINUTES},
      {0, 0, 0, 60, TimeException::TM_SECONDS},
  };
  for (const auto& f : failures) {
    TimeSpan span(9);
    EXPECT_EQ(codeOf([&] { span.set(f.days, f.hours, f.minutes, f.seconds); }), f.code);
    EXPECT_EQ(span.seconds(), 9);
  }
  TimeSpan span;
  span.set(-1, 0, 0, 0);
  EXPECT_EQ(span.seconds(), -86400);
  span.set(0, 0, 0, 30);
  EXPECT_EQ(span.seconds(), 30);
}

TEST(TimeSpanTest, ComparisonsAndBase) {
  EXPECT_TRUE(TimeSpan(-5) <= TimeSpan(3));
  EXPECT_FALSE(TimeSpan(4) <= TimeSpan(3));
  EXPECT_TRUE(TimeSpan(4) != TimeSpan(3));
  TimeSpan a(1);
  a = TimeSpan(-7);
  EXPECT_EQ(a.seconds(), -7);
  TimeBase base;
  EXPECT_TRUE(base.isZero());
  base.setSeconds(-5);
  EXPECT_EQ(base.seconds(), 0);
  base.setSeconds(12);
  EXPECT_EQ(base.seconds(), 12);
}

}  // namespace

// A time zone of the core library: a standard offset and a yearly
// daylight-saving rule, in milliseconds. The first zone built reads the
// descriptor in "VEMORA_TZ" once per process (thread-safe); without it the
// local zone is worked out from the runtime library, at most once an hour.
#pragma once

#include <cstdint>
#include <string>

namespace VemoraCorelib {

class DateTime;

class TimeZone {
 public:
  // One transition rule, each field a byte as stored: month (1-12, 0 = no
  // rule), week (5 = last), weekday (0 = Monday), hour (start: local
  // standard time; end: local daylight-saving time).
  struct Rule {
    uint8_t month = 0;
    uint8_t week = 0;
    uint8_t weekday = 0;
    uint8_t hour = 0;
  };

  // Not set, all zero.
  TimeZone();
  // A copy; the copy counts as set.
  TimeZone(const TimeZone& other);
  TimeZone& operator=(const TimeZone& other);
  // A descriptor "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)", a fixed offset
  // "-0500" / "+05:30", or a number (minutes up to 1000000 in magnitude, else
  // milliseconds) taken as the offset observed now in the local zone.
  explicit TimeZone(const std::string& text);
  virtual ~TimeZone();

  // Becomes the process's local zone (the descriptor zone when there is
  // one); `force` works the runtime-derived zone out again. Returns *this.
  TimeZone& local(bool force = false);

  // Transition instants (DateTime values) of a year; 0 without a
  // daylight-saving offset or for a rule outside its ranges.
  int64_t startTime(int64_t year) const;
  int64_t endTime(int64_t year) const;
  bool isDst(const DateTime& time) const;
  bool isDst(int64_t value) const;
  // 1 in daylight saving, 2 not, 3 near the start, 4 near the end.
  int dstState(const DateTime& time) const;
  int dstState(int64_t value) const;
  // Milliseconds east of UTC in force at the instant.
  int64_t offsetAt(const DateTime& time) const;
  int64_t offsetAt(int64_t value) const;
  // "+01:00" ("+0100" compact) of offsetAt.
  std::string offsetText(const DateTime& time, bool compact) const;
  std::string offsetText(int64_t value, bool compact) const;

  // Exactly a sign, two hour digits, an optional ':' and two minute digits;
  // milliseconds, 0 for any other text.
  static int64_t parseOffset(const std::string& text);
  // Digits before 'M', 'W', 'D' and 'H' ("3M5W6D2H").
  static Rule parseRule(const std::string& text);

  bool isSet() const { return set_; }
  int64_t standardOffset() const { return standardOffset_; }
  int64_t dstOffset() const { return dstOffset_; }
  const Rule& startRule() const { return start_; }
  const Rule& endRule() const { return end_; }

 private:
  struct Internal {};
  struct State;
  static State& state();
  // Not set, all zero, without examining the environment.
  explicit TimeZone(Internal);
  // Parses `text` at the instant `now` with `localZone` as the zone whose
  // rules a plain number takes; does not examine the environment.
  TimeZone(Internal, const std::string& text, int64_t now, const TimeZone& localZone);
  static void examineEnvironment();
  static TimeZone runtimeZone(int64_t nowUnixSeconds);
  static TimeZone runtimeLocal(bool force);
  int64_t transition(const Rule& rule, int64_t year, bool isEnd) const;

  bool set_ = false;
  int64_t standardOffset_ = 0;
  int64_t dstOffset_ = 0;
  Rule start_;
  Rule end_;
};

}  // namespace VemoraCorelib

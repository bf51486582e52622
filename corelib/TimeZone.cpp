#include "corelib/TimeZone.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "corelib/DateTime.h"
#include "corelib/Environment.h"
#include "corelib/StringTools.h"
#include "corelib/WildcardMatch.h"
#include "platform/Clock.h"
#include "platform/CriticalSection.h"
#include "platform/Numbers.h"
#include "platform/RuntimeZone.h"

namespace VemoraCorelib {

namespace {

constexpr int64_t kMsPerHour = 3600000;
// Numbers up to this many (either sign) are minutes, larger ones milliseconds.
constexpr int64_t kMaxOffsetMinutes = 1000000;
constexpr int64_t kMsPerDay = 86400000;

// Set while this thread examines the environment: zones built meanwhile
// (copies, details) must not wait for the examination they are part of.
thread_local bool examining = false;

class Hold {
 public:
  explicit Hold(platform::CriticalSection& section) : section_(section) { section_.enter(); }
  ~Hold() { section_.leave(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  platform::CriticalSection& section_;
};

// Seconds since 1970 of civil parts taken as UTC (fields may be out of range).
int64_t civilToUnix(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                    int64_t second) {
  year += (month - 1) / 12;
  month = (month - 1) % 12 + 1;
  if (month < 1) {
    month += 12;
    --year;
  }
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe - 719468;
  return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

int64_t civilToUnix(const platform::RuntimeZone::Civil& c) {
  return civilToUnix(c.year, c.month, c.day, c.hour, c.minute, c.second);
}

int64_t yearOfValue(int64_t value) {
  if (value < kMsPerDay) return 1900;
  int64_t year, month, day;
  DateTimeDetails::dateOfDayCount(value / kMsPerDay, year, month, day);
  return year;
}

// A rule whose fields are stored untested; one outside its ranges gives no
// transition, and a zone with such a rule no daylight saving.
bool ruleInRange(const TimeZone::Rule& rule) {
  return rule.month >= 1 && rule.month <= 12 && rule.week >= 1 && rule.weekday <= 6;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

TimeZone::Rule ruleAt(const platform::RuntimeZone::Civil& step, int hour) {
  TimeZone::Rule rule;
  int week = (step.day - 1) / 7 + 1;
  if (week == 4) week = 5;
  rule.month = static_cast<uint8_t>(step.month);
  rule.week = static_cast<uint8_t>(week);
  rule.weekday = static_cast<uint8_t>((step.weekday + 6) % 7);
  rule.hour = static_cast<uint8_t>(hour);
  return rule;
}

}  // namespace

struct TimeZone::State {
  std::once_flag examined;
  bool hasDescriptor = false;
  TimeZone descriptor{Internal{}};
  platform::CriticalSection runtimeLock;
  bool runtimeValid = false;
  int64_t runtimeHour = 0;
  TimeZone runtime{Internal{}};
};

TimeZone::State& TimeZone::state() {
  // Never destroyed: zones in static objects may still be used at exit.
  static State* shared = new State();
  return *shared;
}

TimeZone::TimeZone(Internal) {}

TimeZone::TimeZone() {
  examineEnvironment();
}

TimeZone::TimeZone(const TimeZone& other)
    : set_(true),
      standardOffset_(other.standardOffset_),
      dstOffset_(other.dstOffset_),
      start_(other.start_),
      end_(other.end_) {
  examineEnvironment();
}

TimeZone& TimeZone::operator=(const TimeZone& other) {
  set_ = other.set_;
  standardOffset_ = other.standardOffset_;
  dstOffset_ = other.dstOffset_;
  start_ = other.start_;
  end_ = other.end_;
  return *this;
}

TimeZone::TimeZone(const std::string& text) {
  examineEnvironment();
  TimeZone localZone{Internal{}};
  localZone.local(false);
  *this = TimeZone(Internal{}, text, currentTimeValue(), localZone);
}

TimeZone::~TimeZone() = default;

TimeZone::TimeZone(Internal, const std::string& text, int64_t now, const TimeZone& localZone) {
  set_ = true;
  if (WildcardMatch(text, "???:?? (???:?? *M*W*D*H-*M*W*D*H)", 0, std::string::npos)) {
    std::string rest = text;
    standardOffset_ = parseOffset(StringTools::cutFirstToken(rest, ' '));
    StringTools::cutFirstToken(rest, '(');
    dstOffset_ = parseOffset(StringTools::cutFirstToken(rest, ' '));
    start_ = parseRule(StringTools::cutFirstToken(rest, '-'));
    end_ = parseRule(StringTools::cutFirstToken(rest, ')'));
    return;
  }
  if (WildcardMatch(text, "+????*", 0, std::string::npos) ||
      WildcardMatch(text, "-????*", 0, std::string::npos)) {
    standardOffset_ = parseOffset(text);
    return;
  }
  // A plain number: the offset observed at `now` in the local zone.
  const int64_t number = StringTools::toInt64(text);
  // A larger number of milliseconds than the minute form can give is cut to
  // that bound, so that adding the offset to a time never overflows.
  constexpr int64_t kMaxOffset = kMaxOffsetMinutes * 60000;
  const int64_t offset = (number >= -kMaxOffsetMinutes && number <= kMaxOffsetMinutes)
                             ? number * 60000
                             : std::clamp(number, -kMaxOffset, kMaxOffset);
  dstOffset_ = localZone.dstOffset_;
  start_ = localZone.start_;
  end_ = localZone.end_;
  standardOffset_ = offset;
  if (isDst(now)) standardOffset_ -= dstOffset_;
}

void TimeZone::examineEnvironment() {
  if (examining) return;
  State& shared = state();
  std::call_once(shared.examined, [&shared] {
    examining = true;
    platform::RuntimeZone::tzset();
    std::string text;
    if (getEnvironmentVariable("VEMORA_TZ", text) && !text.empty()) {
      const TimeZone localZone = runtimeLocal(false);
      shared.descriptor = TimeZone(Internal{}, text, currentTimeValue(), localZone);
      shared.hasDescriptor = true;
    }
    examining = false;
  });
}

TimeZone TimeZone::runtimeLocal(bool force) {
  State& shared = state();
  Hold hold(shared.runtimeLock);
  const int64_t now = platform::unixTime();
  if (force || !shared.runtimeValid || now - shared.runtimeHour >= 3600) {
    shared.runtime = runtimeZone(now);
    shared.runtimeHour = now - ((now % 3600) + 3600) % 3600;
    shared.runtimeValid = true;
  }
  TimeZone copy{Internal{}};
  copy = shared.runtime;
  return copy;
}

TimeZone& TimeZone::local(bool force) {
  examineEnvironment();
  State& shared = state();
  if (shared.hasDescriptor) {
    *this = shared.descriptor;
  } else {
    *this = runtimeLocal(force);
  }
  set_ = true;
  return *this;
}

// Scans the current local year hour by hour for the clock jumps of the
// runtime's zone, then measures the standard offset before the start rule.
TimeZone TimeZone::runtimeZone(int64_t nowUnixSeconds) {
  using Civil = platform::RuntimeZone::Civil;
  TimeZone zone{Internal{}};
  zone.set_ = true;
  Civil nowLocal;
  if (platform::RuntimeZone::localParts(nowUnixSeconds, &nowLocal)) {
    Civil first;
    first.year = nowLocal.year;
    Civil last;
    last.year = nowLocal.year;
    last.month = 12;
    last.day = 31;
    last.hour = 23;
    const int64_t begin = platform::RuntimeZone::mktimeLocal(first);
    const int64_t end = platform::RuntimeZone::mktimeLocal(last);
    Civil previous;
    if (begin >= 0 && end >= 0 && platform::RuntimeZone::localParts(begin, &previous)) {
      for (int64_t t = begin + 3600; t <= end; t += 3600) {
        Civil current;
        if (!platform::RuntimeZone::localParts(t, &current)) break;
        const int oldHour = previous.hour;
        const int newHour = current.hour == 0 ? 24 : current.hour;
        int difference = newHour - oldHour;
        if (difference < -4) difference += 24;
        if (difference == 1) {
          previous = current;
          continue;
        }
        if (difference < 1) {
          const int hours =
              (newHour - oldHour < 20) ? oldHour - newHour + 1 : oldHour - newHour + 25;
          zone.dstOffset_ = hours * kMsPerHour;
          zone.end_ = ruleAt(previous, oldHour + 1);
        } else {
          const int hours =
              (oldHour - newHour < 19) ? newHour - oldHour - 1 : newHour - oldHour + 23;
          zone.dstOffset_ = hours * kMsPerHour;
          zone.start_ = ruleAt(previous, oldHour + 1);
        }
        if (previous.month - 1 > 8) break;
        t += 7776000;
        if (!platform::RuntimeZone::localParts(t, &previous)) break;
      }
    }
  }
  // The standard offset, measured in the month before daylight saving starts.
  const int64_t hour = nowUnixSeconds - ((nowUnixSeconds % 3600) + 3600) % 3600;
  Civil utc;
  if (platform::RuntimeZone::utcParts(hour, &utc)) {
    const int startMonth = zone.start_.month;
    utc.month = startMonth == 0 ? 1 : (startMonth == 1 ? 12 : startMonth - 1);
    const int64_t instant = civilToUnix(utc);
    Civil localParts;
    if (platform::RuntimeZone::localParts(instant, &localParts)) {
      zone.standardOffset_ = (civilToUnix(localParts) - instant) * 1000;
    }
  }
  return zone;
}

int64_t TimeZone::transition(const Rule& rule, int64_t year, bool isEnd) const {
  if (dstOffset_ == 0) return 0;
  // Fields outside their ranges give no transition (never a table index).
  if (!ruleInRange(rule)) return 0;
  const int64_t firstDay = DateTimeDetails::dayCount(year, rule.month, 1);
  const int64_t firstWeekday = (firstDay + 6) % 7;  // 0 = Monday
  const int64_t firstSunday = 1 + (6 - firstWeekday + 7) % 7;
  const int64_t days = DateTimeDetails::daysInMonth(year, rule.month);
  const int64_t occurrence = std::min<int64_t>(rule.week, (days - firstSunday + 6) / 7);
  const int64_t firstMatch = 1 + (rule.weekday - firstWeekday + 7) % 7;
  // A day past the month's end lies in the next month.
  const int64_t day = firstMatch + 7 * (occurrence - 1);
  int64_t value = (firstDay + day - 1) * kMsPerDay + rule.hour * kMsPerHour - standardOffset_;
  if (isEnd) value -= dstOffset_;
  return value;
}

int64_t TimeZone::startTime(int64_t year) const {
  return transition(start_, year, false);
}
int64_t TimeZone::endTime(int64_t year) const {
  return transition(end_, year, true);
}

bool TimeZone::isDst(const DateTime& time) const {
  return isDst(time.value());
}

bool TimeZone::isDst(int64_t value) const {
  if (start_.month == 0 || end_.month == 0 || dstOffset_ == 0) return false;
  if (!ruleInRange(start_) || !ruleInRange(end_)) return false;
  const int64_t year = yearOfValue(value);
  const int64_t s = startTime(year);
  const int64_t e = endTime(year);
  if (s == e) return false;
  if (e > s) return s <= value && value < e;
  return !(e <= value && value < s);
}

int TimeZone::dstState(const DateTime& time) const {
  return dstState(time.value());
}

int TimeZone::dstState(int64_t t) const {
  if (start_.month == 0 || end_.month == 0) return 2;
  if (!ruleInRange(start_) || !ruleInRange(end_)) return 2;
  const int64_t year = yearOfValue(t);
  const int64_t s = startTime(year);
  const int64_t e = endTime(year);
  const int64_t d = dstOffset_;
  if (s == e) return 2;
  if (s < e) {
    if (t + d < s) return 2;
    if (s <= t && t - d < e) return 1;
    if (t - d >= e) return 2;
  } else {
    if (t >= s) return 1;
    if (t + d < e) return 1;
    // ">=" as in the northern branch: the first second after the repeated
    // hour is standard time.
    if (t - d >= e && t + d < s) return 2;
  }
  const int64_t toStart = t > s ? t - s : s - t;
  const int64_t toEnd = t > e ? t - e : e - t;
  return toStart < toEnd ? 3 : 4;
}

int64_t TimeZone::offsetAt(const DateTime& time) const {
  return offsetAt(time.value());
}

int64_t TimeZone::offsetAt(int64_t value) const {
  if (standardOffset_ == 0 && dstOffset_ == 0) return 0;
  return standardOffset_ + (isDst(value) ? dstOffset_ : 0);
}

std::string TimeZone::offsetText(const DateTime& time, bool compact) const {
  return offsetText(time.value(), compact);
}

std::string TimeZone::offsetText(int64_t value, bool compact) const {
  const int64_t offset = offsetAt(value);
  const int64_t minutes = (offset < 0 ? -offset : offset) / 60000;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%c%02lld%s%02lld", offset < 0 ? '-' : '+',
                static_cast<long long>(minutes / 60), compact ? "" : ":",
                static_cast<long long>(minutes % 60));
  return buffer;
}

int64_t TimeZone::parseOffset(const std::string& text) {
  const bool withColon = text.size() == 6 && text[3] == ':';
  if (!(text.size() == 5 || withColon)) return 0;
  if (text[0] != '+' && text[0] != '-') return 0;
  const std::size_t minutesAt = withColon ? 4 : 3;
  if (!isDigit(text[1]) || !isDigit(text[2]) || !isDigit(text[minutesAt]) ||
      !isDigit(text[minutesAt + 1])) {
    return 0;
  }
  const int64_t hours = (text[1] - '0') * 10 + (text[2] - '0');
  const int64_t minutes = (text[minutesAt] - '0') * 10 + (text[minutesAt + 1] - '0');
  const int64_t value = (hours * 3600 + minutes * 60) * 1000;
  return text[0] == '-' ? -value : value;
}

TimeZone::Rule TimeZone::parseRule(const std::string& text) {
  Rule rule;
  std::string collected;
  for (char c : text) {
    if (c != 'M' && c != 'W' && c != 'D' && c != 'H') {
      collected += c;
      continue;
    }
    const auto number = static_cast<uint8_t>(platform::atoi32(collected.c_str()));
    if (c == 'M') rule.month = number;
    if (c == 'W') rule.week = number;
    if (c == 'D') rule.weekday = number;
    if (c == 'H') rule.hour = number;
    collected.clear();
  }
  return rule;
}

}  // namespace VemoraCorelib

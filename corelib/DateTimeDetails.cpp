#include "corelib/DateTimeDetails.h"

#include <cstdio>
#include <limits>

#include "corelib/DateTime.h"

namespace VemoraCorelib {

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kDaysPer400Years = 146097;

int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Moves whole units of `low` (base `base`) into `high`, leaving 0 <= low < base.
void carry(int64_t& low, int64_t& high, int64_t base) {
  const int64_t q = floorDiv(low, base);
  low -= q * base;
  high += q;
}

// Leap years before `year` counted from 1900 (exclusive of `year`).
int64_t leapYearsBefore(int64_t year) {
  const int64_t y = year - 1;
  const auto count = [](int64_t v) { return floorDiv(v, 4) - floorDiv(v, 100) + floorDiv(v, 400); };
  return count(y) - count(1899);
}

}  // namespace

void DateTimeDetails::dateOfDayCount(int64_t dayCount, int64_t& year, int64_t& month,
                                     int64_t& day) {
  int64_t rest = dayCount - 1;  // days since 1900-01-01
  year = 1900;
  // 1900 is not on a 400-year boundary; step to 2000-01-01 (day 36525).
  if (rest >= 36524) {
    rest -= 36524;
    year = 2000;
    year += 400 * (rest / kDaysPer400Years);
    rest %= kDaysPer400Years;
  }
  while (true) {
    const int64_t length = DateTimeDetails::isLeapYear(year) ? 366 : 365;
    if (rest < length) break;
    rest -= length;
    ++year;
  }
  month = 1;
  while (true) {
    const int64_t length = DateTimeDetails::daysInMonth(year, month);
    if (rest < length) break;
    rest -= length;
    ++month;
  }
  day = rest + 1;
}

namespace {

// ISO-style week: weeks start on Monday, week 1 holds 4 January.
int64_t weekOf(int64_t year, int64_t dayCount) {
  const auto week1Monday = [](int64_t y) {
    const int64_t jan4 = DateTimeDetails::dayCount(y, 1, 4);
    return jan4 - (jan4 + 6) % 7;
  };
  int64_t start = week1Monday(year);
  if (dayCount < start) {
    start = week1Monday(year - 1);
  } else if (dayCount >= week1Monday(year + 1)) {
    start = week1Monday(year + 1);
  }
  return (dayCount - start) / 7 + 1;
}

bool addOverflows(int64_t a, int64_t b, int64_t& out) {
  return __builtin_add_overflow(a, b, &out);
}
bool mulOverflows(int64_t a, int64_t b, int64_t& out) {
  return __builtin_mul_overflow(a, b, &out);
}

}  // namespace

DateTimeDetails::DateTimeDetails() = default;

DateTimeDetails::DateTimeDetails(const DateTime& time) {
  setFromValue(time.value());
  zone = time.zone();
}

DateTimeDetails::DateTimeDetails(int64_t value) {
  setFromValue(value);
}

DateTimeDetails::~DateTimeDetails() = default;

bool DateTimeDetails::isLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int64_t DateTimeDetails::daysInMonth(int64_t year, int64_t month) {
  static constexpr int64_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return (month == 2 && isLeapYear(year)) ? 29 : kDays[month - 1];
}

int64_t DateTimeDetails::dayCount(int64_t year, int64_t month, int64_t day) {
  int64_t days = (year - 1900) * 365 + leapYearsBefore(year);
  for (int64_t m = 1; m < month && m <= 12; ++m) days += daysInMonth(year, m);
  return days + day;
}

void DateTimeDetails::setFromValue(int64_t value) {
  // The fields change; the flag and the zone they are read in stay.
  const bool keepLocal = local;
  TimeZone keepZone;
  keepZone = zone;  // an assignment keeps the set flag, a copy would set it
  *this = DateTimeDetails();
  local = keepLocal;
  zone = keepZone;
  if (value < kMsPerDay) return;  // before 1900-01-01: the first instant
  const int64_t days = value / kMsPerDay;
  int64_t rest = value % kMsPerDay;
  dateOfDayCount(days, year, month, day);
  millisecond = rest % 1000;
  rest /= 1000;
  second = rest % 60;
  rest /= 60;
  minute = rest % 60;
  hour = rest / 60;
  fillDerived();
}

void DateTimeDetails::fillDerived() {
  const int64_t count = dayCount(year, month, day);
  weekday = (count + 6) % 7;
  dayOfYear = count - dayCount(year, 1, 1) + 1;
  week = weekOf(year, count);
  normalized = true;
}

void DateTimeDetails::normalize() {
  if (normalized) return;
  const bool keepLocal = local;
  TimeZone keepZone;
  keepZone = zone;  // an assignment keeps the set flag, a copy would set it
  const auto reset = [&] {
    *this = DateTimeDetails();
    local = keepLocal;
    zone = keepZone;
  };
  // Far beyond any representable instant; carrying them could overflow.
  constexpr int64_t kLimit = 1000000000000000;
  for (int64_t field : {year, month, day, hour, minute, second, millisecond}) {
    if (field > kLimit || field < -kLimit) return reset();
  }
  carry(millisecond, second, 1000);
  carry(second, minute, 60);
  carry(minute, hour, 60);
  carry(hour, day, 24);
  // Months into 1..12, the rest into the year.
  int64_t monthIndex = month - 1;
  carry(monthIndex, year, 12);
  month = monthIndex + 1;
  if (year < 1900 || year > 292277000) return reset();
  const int64_t count = dayCount(year, month, 1) + day - 1;
  if (count < 1) return reset();
  dateOfDayCount(count, year, month, day);
  fillDerived();
}

int64_t DateTimeDetails::toValue() const {
  if (!normalized) {
    DateTimeDetails copy(*this);
    copy.normalize();
    return copy.toValue();
  }
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = dayCount(year, month, day);
  if (mulOverflows(value, 24, value) || addOverflows(value, hour, value) ||
      mulOverflows(value, 60, value) || addOverflows(value, minute, value) ||
      mulOverflows(value, 60, value) || addOverflows(value, second, value) ||
      mulOverflows(value, 1000, value) || addOverflows(value, millisecond, value)) {
    return kMax;
  }
  if (local) {
    value -= zone.standardOffset();
    const int state = zone.dstState(value);
    if (state == 1 || state == 4) value -= zone.dstOffset();
  }
  return value;
}

void DateTimeDetails::now() {
  setFromValue(currentTimeValue());
}

void DateTimeDetails::toString(std::string& out, bool withMilliseconds, bool compact,
                               bool withZone) const {
  DateTimeDetails d(*this);
  d.normalize();
  char buffer[96];
  const char* dateSep = compact ? "" : "-";
  const char* timeSep = compact ? "" : ":";
  std::snprintf(buffer, sizeof buffer, "%04lld%s%02lld%s%02lldT%02lld%s%02lld%s%02lld",
                static_cast<long long>(d.year), dateSep, static_cast<long long>(d.month), dateSep,
                static_cast<long long>(d.day), static_cast<long long>(d.hour), timeSep,
                static_cast<long long>(d.minute), timeSep, static_cast<long long>(d.second));
  out = buffer;
  if (withMilliseconds) {
    std::snprintf(buffer, sizeof buffer, ".%03lld", static_cast<long long>(d.millisecond));
    out += buffer;
  }
  if (!d.local) out += "Z";
  if (withZone) out += d.zone.offsetText(d.toValue(), compact);
}

}  // namespace VemoraCorelib

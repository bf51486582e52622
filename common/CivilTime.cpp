#include "common/CivilTime.h"

namespace Vemora {

namespace {

bool isLeap(int32_t year) {
  return (year - 1968) % 4 == 0;
}

// Days from 1970-01-01 to the first of the month, for any year from 1970.
int64_t daysBefore(int32_t year, int32_t month) {
  int64_t days = 0;
  for (int32_t y = 1970; y < year; ++y) days += isLeap(y) ? 366 : 365;
  for (int32_t m = 1; m < month; ++m) days += CivilTime::daysInMonth(year, m);
  return days;
}

}  // namespace

int32_t CivilTime::daysInMonth(int32_t year, int32_t month) {
  switch (month) {
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    case 2:
      return isLeap(year) ? 29 : 28;
    default:
      return 31;
  }
}

int64_t CivilTime::seconds(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                           int32_t second) {
  if (year < 1970 || year > 2038 || month < 1 || month > 12) return -1;
  uint32_t days = static_cast<uint32_t>((year - 1970) * 365 + (year - 1968) / 4);
  if (isLeap(year)) days -= 1;
  for (int32_t m = 1; m < month; ++m) days += static_cast<uint32_t>(daysInMonth(year, m));
  days += static_cast<uint32_t>(day - 1);
  const uint32_t total =
      ((days * 24u + static_cast<uint32_t>(hour)) * 60u + static_cast<uint32_t>(minute)) * 60u +
      static_cast<uint32_t>(second);
  return static_cast<int64_t>(total);
}

int32_t CivilTime::weekday(int32_t year, int32_t month, int32_t day) {
  if (year < 1970 || month < 1 || month > 12) return 0;
  const int64_t days = daysBefore(year, month) + day - 1;
  return static_cast<int32_t>(((days + 3) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
}

DateTimeParts CivilTime::utcParts(int64_t seconds) {
  const int64_t s = clamp(seconds);
  DateTimeParts p;
  int64_t days = s / 86400;
  const int64_t rest = s % 86400;
  p.hour = static_cast<int32_t>(rest / 3600);
  p.minute = static_cast<int32_t>(rest % 3600 / 60);
  p.second = static_cast<int32_t>(rest % 60);
  p.weekday = static_cast<int32_t>((days + 3) % 7);
  int32_t year = 1970;
  while (days >= (isLeap(year) ? 366 : 365)) days -= isLeap(year++) ? 366 : 365;
  int32_t month = 1;
  while (days >= daysInMonth(year, month)) days -= daysInMonth(year, month++);
  p.year = year;
  p.month = month;
  p.day = static_cast<int32_t>(days) + 1;
  return p;
}

int32_t CivilTime::clamp(int64_t seconds) {
  if (seconds < 0) return 0;
  if (seconds > kMaxSeconds) return kMaxSeconds;
  return static_cast<int32_t>(seconds);
}

}  // namespace Vemora

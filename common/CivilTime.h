// Calendar arithmetic of the shared library's instants: UTC civil parts to
// seconds since 1970 and back, for the range 1970-01-01 .. 2038-01-19.
#pragma once
#include <cstdint>

#include "common/DateTimeParts.h"

namespace Vemora {

class CivilTime {
 public:
  static constexpr int32_t kMaxSeconds = 2147483647;

  // Seconds of UTC civil parts for the years 1970 to 2038, with a year leap
  // when (year - 1968) is divisible by 4; -1 for another year or a month
  // outside 1-12. The other fields are not range-tested.
  static int64_t seconds(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                         int32_t second);
  // The UTC parts of an instant (clamped to 0..kMaxSeconds); zone not set.
  static DateTimeParts utcParts(int64_t seconds);
  // Days of a month (1-12): February has 29 when (year - 1968) % 4 == 0.
  static int32_t daysInMonth(int32_t year, int32_t month);
  // The weekday of a date, 0 = Monday ... 6 = Sunday (any year from 1970).
  static int32_t weekday(int32_t year, int32_t month, int32_t day);
  // A 64-bit count held within 0..kMaxSeconds.
  static int32_t clamp(int64_t seconds);
};

}  // namespace Vemora

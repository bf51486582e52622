// The broken-down form of a DateTime.
#pragma once
#include <cstdint>

#include "common/ZoneInfo.h"

namespace Vemora {

struct DateTimeParts {
  int32_t year = 1970;
  int32_t month = 1;    // 1-12
  int32_t day = 1;      // 1-31
  int32_t weekday = 3;  // 0 = Monday ... 6 = Sunday
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  // The zone of the parts; its set byte says the fields are local time of it
  // (0: the fields are UTC).
  ZoneInfo zone;

  // Turns UTC fields into local time of `zone` (the offset in force at that
  // instant) and sets the set byte; does nothing when it is already set.
  void toLocal();
};

}  // namespace Vemora

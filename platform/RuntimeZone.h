// The C runtime's local zone and calendar conversions (_tzset, _mktime32,
// _localtime32_s, _gmtime32_s). The zone comes from the runtime's own rules,
// which read a POSIX TZ variable when it is set, else the system zone.
#pragma once
#include <cstdint>

namespace platform {

class RuntimeZone {
 public:
  // Broken-down time as struct tm has it, with the year in full and the
  // month from 1: month 1-12, day 1-31, weekday 0 = Sunday ... 6 = Saturday.
  struct Civil {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0;
    int isDst = 0;
  };

  // _tzset: (re)reads the runtime's zone. Thread-safe.
  static void tzset();

  // _mktime32: seconds since 1970 of local civil parts, daylight saving
  // decided by the runtime (fields out of range are normalised). -1 when the
  // result does not fit 0..2147483647.
  static int64_t mktimeLocal(const Civil& local);

  // _localtime32_s / _gmtime32_s: the local or UTC parts of an instant; false
  // for an instant before 1970 or that the runtime cannot convert.
  static bool localParts(int64_t seconds, Civil* out);
  static bool utcParts(int64_t seconds, Civil* out);
};

}  // namespace platform

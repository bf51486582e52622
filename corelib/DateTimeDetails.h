// The broken-down form of a DateTime value with its ISO-style text. The
// fields are UTC (nothing in the library sets `local`). After changing a
// field, clear `normalized` so that normalize() carries it.
#pragma once

#include <cstdint>
#include <string>

#include "corelib/TimeZone.h"

namespace VemoraCorelib {

class DateTime;

class DateTimeDetails {
 public:
  // 1900-01-01T00:00:00.000, week 1, weekday 0, day 1, normalised, UTC,
  // empty zone.
  DateTimeDetails();
  DateTimeDetails(const DateTimeDetails& other) = default;
  DateTimeDetails& operator=(const DateTimeDetails& other) = default;
  explicit DateTimeDetails(const DateTime& time);
  // Values before 1900-01-01 give 1900-01-01T00:00:00.000.
  explicit DateTimeDetails(int64_t value);
  virtual ~DateTimeDetails();

  // The current UTC time.
  void now();
  // Borrows and carries out-of-range fields; a date before 1900 becomes
  // 1900-01-01T00:00:00.000. Nothing when already normalised.
  void normalize();
  // Milliseconds since 1899-12-31T00:00:00Z (saturating on overflow).
  int64_t toValue() const;
  // "2024-01-15T10:30:45.123Z" / compact "20240115T103045.123Z", with the
  // zone's offset text appended when withZone.
  void toString(std::string& out, bool withMilliseconds, bool compact, bool withZone) const;

  // Day count of a date: 1900-01-01 is day 1.
  static int64_t dayCount(int64_t year, int64_t month, int64_t day);
  static bool isLeapYear(int64_t year);
  static int64_t daysInMonth(int64_t year, int64_t month);
  // The date of a day count of at least 1.
  static void dateOfDayCount(int64_t dayCount, int64_t& year, int64_t& month, int64_t& day);

  int64_t year = 1900;
  int64_t month = 1;
  int64_t day = 1;
  int64_t hour = 0;
  int64_t minute = 0;
  int64_t second = 0;
  int64_t millisecond = 0;
  int64_t week = 1;
  int64_t weekday = 0;    // 0 = Monday
  int64_t dayOfYear = 1;  // 1-based
  bool normalized = true;
  bool local = false;
  TimeZone zone;

 private:
  void setFromValue(int64_t value);
  void fillDerived();
};

}  // namespace VemoraCorelib

// A time value of the core library: signed 64-bit milliseconds since
// 1899-12-31T00:00:00 UTC (1970-01-01T00:00:00Z is 2209075200000), with a
// time zone.
#pragma once

#include <cstdint>

#include "corelib/DateTimeDetails.h"
#include "corelib/Environment.h"
#include "corelib/TimeZone.h"

namespace VemoraCorelib {

// The value of 1970-01-01T00:00:00Z.
constexpr int64_t kUnixEpochValue = 2209075200000;

// The current UTC time (with milliseconds) as a DateTime value.
int64_t currentTimeValue();

class DateTime {
 public:
  // Value 0 / `value`, with the local zone.
  DateTime();
  explicit DateTime(int64_t value);
  DateTime(int64_t value, const TimeZone& zone);
  DateTime(const DateTime& other) = default;
  DateTime& operator=(const DateTime& other) = default;
  // The details' zone and value.
  explicit DateTime(const DateTimeDetails& details);
  virtual ~DateTime();

  int64_t value() const { return value_; }
  void setValue(int64_t value) { value_ = value; }
  const TimeZone& zone() const { return zone_; }
  void setZone(const TimeZone& zone) { zone_ = zone; }
  // The UTC details of the value, carrying this DateTime's zone.
  void details(DateTimeDetails& out) const;

 private:
  int64_t value_ = 0;
  TimeZone zone_;
};

}  // namespace VemoraCorelib

// A duration in whole seconds, negative for a negative span. Text form:
// "P", an optional "-", then numbers each followed by 'D', 'H', 'M' or 'S'
// in any order ("P1D2H3M4S", "P-2H30M"). Totals are computed in 64 bits; a
// span that does not fit in 32 bits is refused (TimeException TM_INPUT).
#pragma once

#include <cstdint>
#include <string>

#include "common/TimeBase.h"

namespace Vemora {

class TimeSpan : public TimeBase {
 public:
  // The broken-down form the text parser gives.
  struct Parts {
    int32_t days = 0;
    int32_t hours = 0;
    int32_t minutes = 0;
    int32_t seconds = 0;
    bool negative = false;
  };

  TimeSpan() = default;
  explicit TimeSpan(int32_t seconds);
  // ((days * 24 + hours) * 60 + minutes) * 60 + seconds, negated when
  // negative is set; no range test of the fields. Throws TimeException
  // TM_INPUT when the total leaves the signed 32-bit range.
  explicit TimeSpan(const Parts& parts);
  TimeSpan(const TimeSpan& other) = default;
  ~TimeSpan() override;

  TimeSpan& operator=(const TimeSpan& other) = default;

  // Validating setter: days -24855..24855 (TM_DAYS), hours 0..23 (TM_HOURS),
  // minutes 0..59 (TM_MINUTES), seconds 0..59 (TM_SECONDS), tested in this
  // order; a total outside 32 bits gives TM_INPUT. On a throw the value stays.
  void set(int32_t days, uint32_t hours, uint32_t minutes, uint32_t seconds);

  bool operator<=(const TimeSpan& other) const { return seconds_ <= other.seconds_; }
  bool operator!=(const TimeSpan& other) const { return seconds_ != other.seconds_; }
  bool operator==(const TimeSpan& other) const { return seconds_ == other.seconds_; }
  bool operator<(const TimeSpan& other) const { return seconds_ < other.seconds_; }

  // Reads the text form (see above); an empty text gives zeros. Throws
  // TimeException TM_INPUT when the text does not begin with 'P'.
  static Parts parse(const std::string& text);
};

}  // namespace Vemora

// One signed 32-bit count of seconds: the base of TimeSpan (a duration) and
// DateTime (an instant since 1970-01-01T00:00:00 UTC). A value; one object
// is used by one thread at a time.
#pragma once

#include <cstdint>

namespace Vemora {

class TimeBase {
 public:
  TimeBase() = default;
  TimeBase(const TimeBase& other) = default;
  TimeBase& operator=(const TimeBase& other) = default;
  virtual ~TimeBase();

  int32_t seconds() const { return seconds_; }
  // Stores the value; a negative value is stored as 0.
  void setSeconds(int32_t seconds);
  bool isZero() const { return seconds_ == 0; }

 protected:
  int32_t seconds_ = 0;
};

}  // namespace Vemora

// An instant: whole seconds since 1970-01-01T00:00:00 UTC in 0..2147483647
// (up to 2038-01-19T03:14:07Z), with an optional zone. Arithmetic that would
// leave that range is clamped to it.
//
// Text forms: local "2024-01-15T11:30:00" (compact "20240115T113000"), with
// the offset "2024-01-15T11:30:00+01:00" (compact "+0100"); UTC
// "2024-01-15T10:30:00Z", optionally followed by the offset of the DateTime's
// zone. The text constructor reads every form back.
//
// A DateTime is a value; one object is used by one thread at a time. The
// static functions are thread-safe.
#pragma once
#include <cstdint>
#include <string>

#include "common/DateTimeParts.h"
#include "common/TimeBase.h"
#include "common/TimeSpan.h"
#include "common/ZoneInfo.h"

namespace Vemora {

class DateTime : public TimeBase {
 public:
  // Now, from the system clock.
  DateTime();
  // That many seconds; a negative value becomes 0.
  explicit DateTime(int32_t seconds);
  DateTime(const DateTime& other);
  // `set` with the parts, their zone and daylight saving applied.
  explicit DateTime(const DateTimeParts& parts);
  // Parses a text form; an empty text gives 0 seconds, unreadable parts keep
  // their defaults (1970-01-01 00:00:00).
  explicit DateTime(const std::string& text);
  ~DateTime() override;

  DateTime& operator=(const DateTime& other);
  DateTime& operator+=(const TimeSpan& span);
  bool operator<(const DateTime& other) const { return seconds() < other.seconds(); }
  DateTime plus(const TimeSpan& span) const;
  DateTime minus(const TimeSpan& span) const;

  // Sets the seconds to the current time.
  void now();

  // Civil parts, clamped to 1970-01-01T00:00:00 .. 2038-01-19T03:14:07. With
  // a set zone the parts are local time of it (standard offset, and with
  // applyDst the daylight offset when in force); else UTC. Takes a copy of
  // the zone.
  void set(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
           const ZoneInfo& zone, bool applyDst);

  // The UTC parts, with this DateTime's zone (its own, else the local zone)
  // and the set byte cleared.
  DateTimeParts parts() const;

  // The local form (in this DateTime's zone) and the UTC form.
  void toString(std::string& out, bool compact, bool withOffset) const;
  void toUtcString(std::string& out, bool compact, bool withOffset) const;
  std::string toString(bool compact = false, bool withOffset = false) const;
  std::string toUtcString(bool compact = false, bool withOffset = false) const;

  // Rounds down to a multiple of `span` in local time of `zone`; a span of one
  // week (604800 s) rounds down to Monday 00:00 local.
  void roundDown(const TimeSpan& span, const ZoneInfo& zone);
  void roundDownLocal(const TimeSpan& span);

  // Returns once the clock has reached now + seconds (sleeping meanwhile).
  static void waitSeconds(int32_t seconds);

  // This DateTime's zone when set, else the local zone.
  ZoneInfo zone() const;

  // "+hh:mm" (compact "+hhmm") for an offset in seconds.
  static std::string offsetText(int32_t offset, bool compact);

 private:
  ZoneInfo zone_;
};

}  // namespace Vemora

// Time zones: a standard offset and an optional yearly daylight-saving rule.
//
// The zone of an installation comes from the environment variable VEMORA_TZ,
// examined once per process:
//   +01:00 (+01:00 3M5W6D2H-10M5W6D3H)   standard offset, then in parentheses
//   -0500                                the daylight-saving offset and the
//   +05:30                               start and end rules
// A rule is month "M", week "W" (5 = the last), weekday "D" (0 = Monday ...
// 6 = Sunday) and hour "H"; the start hour is local standard time, the end
// hour local daylight time. Without the variable the zone is derived from the
// C runtime's zone (which reads a POSIX TZ) and refreshed at most once an
// hour.
//
// Instants are seconds since 1970-01-01T00:00:00 UTC in 0..2147483647.
#pragma once
#include <cstdint>
#include <string>

namespace Vemora {

struct ZoneInfo {
  struct Rule {
    int32_t month = 0;    // 1-12; 0 = no rule
    int32_t week = 0;     // 1-5; 5 = the last
    int32_t weekday = 0;  // 0 = Monday ... 6 = Sunday
    int32_t hour = 0;     // 0-23
  };

  uint8_t set = 0;             // 0: no zone given, the holder uses the local zone
  int32_t standardOffset = 0;  // seconds east of UTC
  int32_t dstOffset = 0;       // seconds added while daylight saving is in force
  Rule start;
  Rule end;

  // The descriptor format above. Always gives a set zone; an invalid rule
  // leaves only the standard offset, an unreadable offset is 0.
  static ZoneInfo parseDescriptor(const std::string& text);
  // "+hh:mm", "-hh:mm", "+hhmm" or "-hhmm" in seconds; any other text 0.
  static int32_t parseOffset(const std::string& text);
  // "3M5W6D2H": the numbers before each of the letters M, W, D and H.
  static Rule parseRule(const std::string& text);

  // The VEMORA_TZ zone when there is one, else the runtime-derived zone.
  // Thread-safe.
  static ZoneInfo local();
  // Reads VEMORA_TZ, once per process (later calls do nothing). Thread-safe.
  static void examineEnvironment();
  // Reads VEMORA_TZ again and forgets the runtime-derived zone; for tests
  // that change the variable inside one process.
  static void reexamineEnvironment();

  // The UTC instant of the start / end transition in `year`; 0 when the zone
  // has neither offset.
  static int32_t startTime(const ZoneInfo& zone, int32_t year);
  static int32_t endTime(const ZoneInfo& zone, int32_t year);
  // Whether daylight saving is in force at the instant.
  static bool isDst(const ZoneInfo& zone, int32_t instant);
  // 1 in daylight saving, 2 not, 3 within the daylight offset of the start
  // transition, 4 within it of the end transition.
  static int dstState(const ZoneInfo& zone, int32_t instant);
  // The offset in force at the instant, in seconds.
  static int32_t offsetAt(const ZoneInfo& zone, int32_t instant);
  // The zone written after a time stamp: a descriptor, an observed offset
  // ("+0200", "+02:00") or a number of minutes, read at the instant.
  static ZoneInfo fromText(const std::string& text, int32_t instant);
  // The offset a time stamp's zone text states: an observed offset
  // ("+0200", "+02:00") or a number of minutes, held within one day. False
  // for a descriptor, which states rules rather than one offset.
  static bool observedOffset(const std::string& text, int32_t* seconds);
  // The descriptor form of the zone ("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)").
  static std::string toString(const ZoneInfo& zone);
};

}  // namespace Vemora

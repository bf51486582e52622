#include "common/ZoneInfo.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "common/CivilTime.h"
#include "common/StringOps.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/Numbers.h"
#include "platform/RuntimeZone.h"

namespace Vemora {

namespace {

struct ProcessZone {
  std::mutex mutex;
  std::atomic<bool> examined{false};  // read without the lock by every DateTime
  bool hasDescriptor = false;
  ZoneInfo descriptor;
  bool derived = false;
  int64_t derivedAt = 0;  // on a whole hour
  ZoneInfo runtime;
};

ProcessZone& state() {
  static ProcessZone* s = new ProcessZone;
  return *s;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int32_t twoDigits(const std::string& text, size_t at) {
  return platform::atoi32(text.substr(at, 2).c_str());
}

bool validRule(const ZoneInfo::Rule& r) {
  return r.month >= 1 && r.month <= 12 && r.week >= 1 && r.week <= 5 && r.weekday >= 0 &&
         r.weekday <= 6 && r.hour >= 0 && r.hour <= 23;
}

std::string ruleText(const ZoneInfo::Rule& r) {
  return StringOps::fromInt(r.month) + "M" + StringOps::fromInt(r.week) + "W" +
         StringOps::fromInt(r.weekday) + "D" + StringOps::fromInt(r.hour) + "H";
}

std::string offsetText(int32_t offset) {
  const int64_t a = offset < 0 ? -static_cast<int64_t>(offset) : offset;
  std::string out = offset < 0 ? "-" : "+";
  std::string h = StringOps::fromInt64(a / 3600);
  std::string m = StringOps::fromInt64(a % 3600 / 60);
  StringOps::padLeft(h, 2, '0');
  StringOps::padLeft(m, 2, '0');
  return out + h + ":" + m;
}

// The UTC instant of a rule's transition in a year.
int32_t transition(const ZoneInfo& zone, const ZoneInfo::Rule& rule, int32_t year, bool isEnd) {
  if (zone.standardOffset == 0 && zone.dstOffset == 0) return 0;
  if (rule.month < 1 || rule.month > 12) return 0;
  const int32_t days = CivilTime::daysInMonth(year, rule.month);
  const int32_t first = CivilTime::weekday(year, rule.month, 1);
  // The day of the first occurrence of the rule's weekday, then how often it
  // occurs in the month; week 5 ("the last") is the last occurrence.
  const int32_t f = 1 + ((rule.weekday - first) % 7 + 7) % 7;
  const int32_t count = (days - f + 7) / 7;
  const int32_t wanted = std::max(1, std::min(rule.week, count));
  const int32_t day = std::min(days, f + (wanted - 1) * 7);
  int64_t t = CivilTime::seconds(year, rule.month, day, rule.hour, 0, 0);
  if (t < 0) t = year < 1970 ? 0 : CivilTime::kMaxSeconds;
  t -= zone.standardOffset;
  if (isEnd) t -= zone.dstOffset;
  return CivilTime::clamp(t);
}

platform::RuntimeZone::Civil civil(int32_t year, int32_t month, int32_t day, int32_t hour) {
  platform::RuntimeZone::Civil c;
  c.year = year;
  c.month = month;
  c.day = day;
  c.hour = hour;
  return c;
}

int64_t civilOf(const platform::RuntimeZone::Civil& c) {
  return CivilTime::seconds(c.year, c.month, c.day, c.hour, c.minute, c.second);
}

// A transition rule from the step before a transition.
ZoneInfo::Rule ruleFrom(const platform::RuntimeZone::Civil& prev) {
  ZoneInfo::Rule r;
  r.month = prev.month;
  r.week = (prev.day - 1) / 7 + 1;
  if (r.week == 4) r.week = 5;
  r.weekday = (prev.weekday + 6) % 7;
  r.hour = prev.hour + 1;
  if (r.hour == 24) {
    r.hour = 0;
    r.weekday = (r.weekday + 1) % 7;
  }
  return r;
}

// Works the local zone out from the runtime: scans the year after the
// current one hour by hour for the clock going forward and back.
ZoneInfo deriveFromRuntime(int64_t now) {
  using platform::RuntimeZone;
  ZoneInfo zone;
  zone.set = 1;
  RuntimeZone::Civil today;
  if (!RuntimeZone::localParts(now, &today)) today.year = 1970;
  // Past 2037 the next year cannot be represented: scan the current one.
  const int32_t year = today.year + 1 > 2037 ? today.year : today.year + 1;
  const int64_t first = RuntimeZone::mktimeLocal(civil(year, 1, 1, 0));
  const int64_t last = RuntimeZone::mktimeLocal(civil(year, 12, 31, 23));
  RuntimeZone::Civil prev;
  if (first >= 0 && last >= 0 && RuntimeZone::localParts(first, &prev)) {
    for (int64_t t = first + 3600; t <= last; t += 3600) {
      RuntimeZone::Civil cur;
      if (!RuntimeZone::localParts(t, &cur)) break;
      const int oldHour = prev.hour;
      const int newHour = cur.hour;
      int diff = (newHour == 0 ? 24 : newHour) - oldHour;
      if (diff < -4) diff += 24;
      bool found = false;
      if (diff < 1) {
        const int hours = newHour - oldHour < 20 ? oldHour - newHour + 1 : oldHour - newHour + 25;
        zone.dstOffset = hours * 3600;
        zone.end = ruleFrom(prev);
        found = true;
      } else if (diff > 1) {
        const int hours = oldHour - newHour < 19 ? newHour - oldHour - 1 : newHour - oldHour + 23;
        zone.dstOffset = hours * 3600;
        zone.start = ruleFrom(prev);
        found = true;
      }
      if (found) {
        if (prev.month >= 10) break;
        t += 7776000;  // the other transition lies at least 90 days later
        if (!RuntimeZone::localParts(t, &cur)) break;
      }
      prev = cur;
    }
  }
  // The standard offset, measured in the month before daylight saving starts.
  DateTimeParts p = CivilTime::utcParts(now - now % 3600);
  int32_t month = 1;
  if (zone.start.month != 0) month = zone.start.month == 1 ? 12 : zone.start.month - 1;
  const int32_t day = std::min(p.day, CivilTime::daysInMonth(p.year, month));
  const int64_t instant = CivilTime::seconds(p.year, month, day, p.hour, 0, 0);
  RuntimeZone::Civil local;
  if (instant >= 0 && RuntimeZone::localParts(instant, &local)) {
    zone.standardOffset = static_cast<int32_t>(civilOf(local) - instant);
  }
  if (zone.start.month == 0 || zone.end.month == 0) {
    zone.dstOffset = 0;
    zone.start = ZoneInfo::Rule();
    zone.end = ZoneInfo::Rule();
  }
  return zone;
}

void examineLocked(ProcessZone& s) {
  s.hasDescriptor = false;
  s.derived = false;
  const auto value = platform::getEnv("VEMORA_TZ");
  if (value && !value->empty()) {
    s.descriptor = ZoneInfo::parseDescriptor(*value);
    s.hasDescriptor = true;
  } else {
    platform::RuntimeZone::tzset();
  }
  s.examined.store(true, std::memory_order_release);
}

}  // namespace

int32_t ZoneInfo::parseOffset(const std::string& text) {
  const bool longForm = text.size() == 6 && text[3] == ':';
  if (!(longForm || text.size() == 5) || (text[0] != '+' && text[0] != '-')) return 0;
  const size_t minutesAt = longForm ? 4 : 3;
  // The digit positions must hold digits: "+5:30" is no offset.
  for (size_t i : {size_t(1), size_t(2), minutesAt, minutesAt + 1}) {
    if (!isDigit(text[i])) return 0;
  }
  const int32_t value = twoDigits(text, 1) * 3600 + twoDigits(text, minutesAt) * 60;
  return text[0] == '-' ? -value : value;
}

ZoneInfo::Rule ZoneInfo::parseRule(const std::string& text) {
  Rule rule;
  std::string collected;
  for (char c : text) {
    int32_t* field = nullptr;
    switch (c) {
      case 'M':
        field = &rule.month;
        break;
      case 'W':
        field = &rule.week;
        break;
      case 'D':
        field = &rule.weekday;
        break;
      case 'H':
        field = &rule.hour;
        break;
      default:
        collected += c;
        continue;
    }
    *field = platform::atoi32(collected.c_str());
    collected.clear();
  }
  return rule;
}

ZoneInfo ZoneInfo::parseDescriptor(const std::string& text) {
  std::string rest = text;
  ZoneInfo zone;
  zone.set = 1;
  zone.standardOffset = parseOffset(StringOps::cutToken(rest, ' '));
  StringOps::cutToken(rest, '(');
  const int32_t dst = parseOffset(StringOps::cutToken(rest, ' '));
  const Rule start = parseRule(StringOps::cutToken(rest, '-'));
  const Rule end = parseRule(StringOps::cutToken(rest, ')'));
  if (validRule(start) && validRule(end)) {
    zone.dstOffset = dst;
    zone.start = start;
    zone.end = end;
  }
  return zone;
}

void ZoneInfo::examineEnvironment() {
  ProcessZone& s = state();
  if (s.examined.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.examined.load(std::memory_order_relaxed)) examineLocked(s);
}

void ZoneInfo::reexamineEnvironment() {
  ProcessZone& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  examineLocked(s);
}

ZoneInfo ZoneInfo::local() {
  ProcessZone& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.examined.load(std::memory_order_relaxed)) examineLocked(s);
  if (s.hasDescriptor) return s.descriptor;
  const int64_t now = std::max<int64_t>(0, platform::unixTime());
  if (!s.derived || now - s.derivedAt >= 3600 || now < s.derivedAt) {
    s.runtime = deriveFromRuntime(now);
    s.derivedAt = now - now % 3600;
    s.derived = true;
  }
  return s.runtime;
}

int32_t ZoneInfo::startTime(const ZoneInfo& zone, int32_t year) {
  return transition(zone, zone.start, year, false);
}

int32_t ZoneInfo::endTime(const ZoneInfo& zone, int32_t year) {
  return transition(zone, zone.end, year, true);
}

bool ZoneInfo::isDst(const ZoneInfo& zone, int32_t instant) {
  if (zone.start.month == 0 || zone.end.month == 0 || zone.dstOffset == 0) return false;
  const int32_t year = CivilTime::utcParts(instant).year;
  const int32_t s = startTime(zone, year);
  const int32_t e = endTime(zone, year);
  if (s == e) return false;
  if (e > s) return s <= instant && instant < e;
  return !(e <= instant && instant < s);
}

int ZoneInfo::dstState(const ZoneInfo& zone, int32_t instant) {
  if (zone.start.month == 0 || zone.end.month == 0) return 2;
  const int32_t year = CivilTime::utcParts(instant).year;
  const int64_t s = startTime(zone, year);
  const int64_t e = endTime(zone, year);
  const int64_t t = instant;
  const int64_t d = zone.dstOffset;
  if (s == e) return 2;
  if (s < e) {
    if (t + d < s) return 2;
    if (s <= t && t - d < e) return 1;
    if (t - d >= e) return 2;
  } else {
    if (t >= s) return 1;
    if (t + d < e) return 1;
    // ">=" as in the northern branch: the first second after the repeated
    // hour is standard time.
    if (t - d >= e && t + d < s) return 2;
  }
  const int64_t toStart = t > s ? t - s : s - t;
  const int64_t toEnd = t > e ? t - e : e - t;
  return toStart < toEnd ? 3 : 4;
}

int32_t ZoneInfo::offsetAt(const ZoneInfo& zone, int32_t instant) {
  if (zone.standardOffset == 0 && zone.dstOffset == 0) return 0;
  return zone.standardOffset + (isDst(zone, instant) ? zone.dstOffset : 0);
}

bool ZoneInfo::observedOffset(const std::string& text, int32_t* seconds) {
  if (StringOps::wildcardMatch("???:?? (???:?? *M*W*D*H-*M*W*D*H)", text)) return false;
  int32_t value = 0;
  if (StringOps::wildcardMatch("+????*", text) || StringOps::wildcardMatch("-????*", text)) {
    value = parseOffset(text);
  } else {
    const int64_t minutes = platform::atoi32(text.c_str());
    value = static_cast<int32_t>(std::clamp<int64_t>(minutes * 60, -86400, 86400));
  }
  if (seconds != nullptr) *seconds = value;
  return true;
}

ZoneInfo ZoneInfo::fromText(const std::string& text, int32_t instant) {
  int32_t observed = 0;
  if (!observedOffset(text, &observed)) return parseDescriptor(text);
  ZoneInfo zone = local();
  zone.set = 1;
  zone.standardOffset = observed;
  // The observed offset includes daylight saving when it is in force.
  if (isDst(zone, instant)) zone.standardOffset -= zone.dstOffset;
  return zone;
}

std::string ZoneInfo::toString(const ZoneInfo& zone) {
  std::string out = offsetText(zone.standardOffset);
  if (zone.dstOffset != 0) {
    out += " (" + offsetText(zone.dstOffset) + " " + ruleText(zone.start) + "-" +
           ruleText(zone.end) + ")";
  }
  return out;
}

}  // namespace Vemora

#include "common/DateTime.h"

#include <algorithm>

#include "common/CivilTime.h"
#include "common/StringOps.h"
#include "platform/Clock.h"
#include "platform/Numbers.h"

namespace Vemora {

namespace {

constexpr int32_t kWeek = 604800;
constexpr int32_t kDay = 86400;

int32_t clockSeconds() {
  return CivilTime::clamp(platform::unixTime());
}

std::string two(int32_t value) {
  std::string s = StringOps::fromInt(value);
  StringOps::padLeft(s, 2, '0');
  return s;
}

void appendParts(std::string& out, const DateTimeParts& p, bool compact) {
  out += StringOps::fromInt(p.year);
  if (!compact) out += '-';
  out += two(p.month);
  if (!compact) out += '-';
  out += two(p.day);
  out += 'T';
  out += two(p.hour);
  if (!compact) out += ':';
  out += two(p.minute);
  if (!compact) out += ':';
  out += two(p.second);
}

bool allDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int32_t number(const std::string& text) {
  return platform::atoi32(text.c_str());
}

// Reads "a<sep>b<sep>c" or a run of digits cut at the given widths into the
// three fields; any other text leaves them.
void readTriple(const std::string& text, char separator, int32_t* a, int32_t* b, int32_t* c,
                size_t widthA, size_t widthB) {
  if (text.find(separator) != std::string::npos) {
    int32_t* fields[] = {a, b, c};
    size_t start = 0;
    for (int32_t* field : fields) {
      if (start > text.size()) break;
      const size_t end = std::min(text.find(separator, start), text.size());
      if (end > start) *field = number(text.substr(start, end - start));
      start = end + 1;
    }
    return;
  }
  if (!allDigits(text)) return;
  *a = number(text.substr(0, widthA));
  if (text.size() > widthA) *b = number(text.substr(widthA, widthB));
  if (text.size() > widthA + widthB) *c = number(text.substr(widthA + widthB, 2));
}

}  // namespace

DateTime::DateTime() {
  ZoneInfo::examineEnvironment();
  now();
}

DateTime::DateTime(int32_t seconds) {
  ZoneInfo::examineEnvironment();
  setSeconds(seconds);
}

DateTime::DateTime(const DateTime& other) : TimeBase(other), zone_(other.zone_) {
  ZoneInfo::examineEnvironment();
}

DateTime::DateTime(const DateTimeParts& parts) {
  ZoneInfo::examineEnvironment();
  set(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second, parts.zone, true);
}

DateTime::DateTime(const std::string& text) {
  ZoneInfo::examineEnvironment();
  if (text.empty()) return;
  DateTimeParts p;
  size_t sep = text.find('T');
  if (sep == std::string::npos) sep = text.find(' ');
  readTriple(text.substr(0, sep), '-', &p.year, &p.month, &p.day, 4, 2);
  if (sep == std::string::npos || sep == 0) {
    set(p.year, p.month, p.day, 0, 0, 0, ZoneInfo::local(), true);
    return;
  }
  const size_t zoneAt = text.find_first_of("+-", sep + 1);
  std::string time =
      text.substr(sep + 1, zoneAt == std::string::npos ? std::string::npos : zoneAt - sep - 1);
  bool utc = false;
  if (!time.empty() && time.back() == 'Z') {
    time.pop_back();
    utc = zoneAt == std::string::npos;
  }
  readTriple(time, ':', &p.hour, &p.minute, &p.second, 2, 2);
  ZoneInfo zone;
  if (zoneAt != std::string::npos) {
    DateTime asUtc(0);
    asUtc.set(p.year, p.month, p.day, p.hour, p.minute, p.second, ZoneInfo(), false);
    const std::string zoneText = text.substr(zoneAt);
    int32_t observed = 0;
    if (ZoneInfo::observedOffset(zoneText, &observed)) {
      // A stated offset fixes the instant, also in the hours around a
      // daylight-saving transition.
      seconds_ = CivilTime::clamp(static_cast<int64_t>(asUtc.seconds()) - observed);
      zone_ = ZoneInfo::fromText(zoneText, seconds_);
      return;
    }
    zone = ZoneInfo::fromText(zoneText, asUtc.seconds());
  } else if (utc) {
    zone.set = 1;
  } else {
    zone = ZoneInfo::local();
  }
  set(p.year, p.month, p.day, p.hour, p.minute, p.second, zone, true);
}

DateTime::~DateTime() = default;

DateTime& DateTime::operator=(const DateTime& other) {
  seconds_ = other.seconds_;
  zone_ = other.zone_;
  return *this;
}

DateTime& DateTime::operator+=(const TimeSpan& span) {
  seconds_ = CivilTime::clamp(static_cast<int64_t>(seconds_) + span.seconds());
  return *this;
}

DateTime DateTime::plus(const TimeSpan& span) const {
  DateTime copy(*this);
  copy += span;
  return copy;
}

DateTime DateTime::minus(const TimeSpan& span) const {
  DateTime copy(*this);
  copy.seconds_ = CivilTime::clamp(static_cast<int64_t>(seconds_) - span.seconds());
  return copy;
}

void DateTime::now() {
  int32_t t = clockSeconds();
  if (t == CivilTime::kMaxSeconds) t = clockSeconds();
  seconds_ = t;
}

void DateTime::set(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   int32_t second, const ZoneInfo& zone, bool applyDst) {
  const DateTimeParts bound = CivilTime::utcParts(CivilTime::kMaxSeconds);
  // Each field is clamped to its range. Past the bound's year every field is
  // held to the bound while the fields before it stand at the bound.
  bool held = year > bound.year;
  year = std::clamp(year, 1970, bound.year);
  auto clampField = [&held](int32_t value, int32_t low, int32_t high, int32_t limit) {
    value = std::clamp(value, low, high);
    if (!held) return value;
    if (value < limit) {
      held = false;
      return value;
    }
    return limit;
  };
  month = clampField(month, 1, 12, bound.month);
  day = clampField(day, 1, CivilTime::daysInMonth(year, month), bound.day);
  hour = clampField(hour, 0, 23, bound.hour);
  minute = clampField(minute, 0, 59, bound.minute);
  second = clampField(second, 0, 59, bound.second);
  int64_t t = CivilTime::seconds(year, month, day, hour, minute, second);
  if (t < 0 || t > CivilTime::kMaxSeconds) return;
  zone_ = zone;
  if (zone.set == 0) {
    seconds_ = static_cast<int32_t>(t);
    return;
  }
  t = CivilTime::clamp(t - zone.standardOffset);
  if (applyDst) {
    const int state = ZoneInfo::dstState(zone, static_cast<int32_t>(t));
    if (state == 1 || state == 4) t = CivilTime::clamp(t - zone.dstOffset);
  }
  seconds_ = static_cast<int32_t>(t);
}

DateTimeParts DateTime::parts() const {
  DateTimeParts p = CivilTime::utcParts(seconds_);
  p.zone = zone();
  p.zone.set = 0;
  return p;
}

ZoneInfo DateTime::zone() const {
  return zone_.set ? zone_ : ZoneInfo::local();
}

std::string DateTime::offsetText(int32_t offset, bool compact) {
  const int64_t a = offset < 0 ? -static_cast<int64_t>(offset) : offset;
  std::string out = offset < 0 ? "-" : "+";
  out += two(static_cast<int32_t>(a / 3600));
  if (!compact) out += ':';
  out += two(static_cast<int32_t>(a % 3600 / 60));
  return out;
}

void DateTime::toString(std::string& out, bool compact, bool withOffset) const {
  DateTimeParts p = parts();
  p.toLocal();
  out.clear();
  appendParts(out, p, compact);
  if (withOffset) out += offsetText(ZoneInfo::offsetAt(p.zone, seconds_), compact);
}

void DateTime::toUtcString(std::string& out, bool compact, bool withOffset) const {
  out.clear();
  appendParts(out, CivilTime::utcParts(seconds_), compact);
  out += 'Z';
  if (withOffset) out += offsetText(zone_.set ? ZoneInfo::offsetAt(zone_, seconds_) : 0, compact);
}

std::string DateTime::toString(bool compact, bool withOffset) const {
  std::string out;
  toString(out, compact, withOffset);
  return out;
}

std::string DateTime::toUtcString(bool compact, bool withOffset) const {
  std::string out;
  toUtcString(out, compact, withOffset);
  return out;
}

void DateTime::roundDown(const TimeSpan& span, const ZoneInfo& zone) {
  const int32_t s = span.seconds();
  if (s <= 1) return;
  if (s == kWeek) {
    roundDown(TimeSpan(kDay), zone);
    const int64_t local = static_cast<int64_t>(seconds_) + ZoneInfo::offsetAt(zone, seconds_);
    const int32_t w = CivilTime::utcParts(local).weekday;
    seconds_ = CivilTime::clamp(static_cast<int64_t>(seconds_) - static_cast<int64_t>(w) * kDay);
    return;
  }
  const bool wasDst = ZoneInfo::isDst(zone, seconds_);
  const int64_t o = ZoneInfo::offsetAt(zone, seconds_);
  int64_t t = static_cast<int64_t>(seconds_) + o;
  t = t - t % s - o;
  const int32_t rounded = CivilTime::clamp(t);
  const bool nowDst = ZoneInfo::isDst(zone, rounded);
  if (nowDst && !wasDst) t -= zone.dstOffset;
  if (wasDst && !nowDst) t += zone.dstOffset;
  seconds_ = CivilTime::clamp(t);
}

void DateTime::roundDownLocal(const TimeSpan& span) {
  roundDown(span, ZoneInfo::local());
}

void DateTime::waitSeconds(int32_t seconds) {
  const int64_t target = platform::unixTime() + seconds;
  while (platform::unixTime() < target) {
    const int64_t left = target * 1000 - platform::unixTimeMs();
    platform::sleepMs(static_cast<uint32_t>(std::clamp<int64_t>(left, 1, 1000)));
  }
}

}  // namespace Vemora

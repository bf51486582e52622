#include "corelib/DateTime.h"

#include "platform/Clock.h"

namespace VemoraCorelib {

int64_t currentTimeValue() {
  return platform::unixTimeMs() + kUnixEpochValue;
}

DateTime::DateTime() {
  zone_.local(false);
}

DateTime::DateTime(int64_t value) : value_(value) {
  zone_.local(false);
}

DateTime::DateTime(int64_t value, const TimeZone& zone) : value_(value), zone_(zone) {}

DateTime::DateTime(const DateTimeDetails& details)
    : value_(details.toValue()), zone_(details.zone) {}

DateTime::~DateTime() = default;

void DateTime::details(DateTimeDetails& out) const {
  out = DateTimeDetails(*this);
}

}  // namespace VemoraCorelib

#include "common/TimeSpan.h"

#include "common/TimeException.h"
#include "platform/Numbers.h"

namespace Vemora {

namespace {

int32_t checkedTotal(int64_t total) {
  if (total < INT32_MIN || total > INT32_MAX) {
    throw TimeException(TimeException::TM_INPUT, "Time span out of range.", __FILE__, __LINE__);
  }
  return static_cast<int32_t>(total);
}

int64_t totalSeconds(int64_t days, int64_t hours, int64_t minutes, int64_t seconds) {
  return ((days * 24 + hours) * 60 + minutes) * 60 + seconds;
}

// The run of decimal digits directly before the first `letter`, or "0".
std::string digitsBefore(const std::string& text, char letter) {
  const size_t at = text.find(letter);
  if (at == std::string::npos) return "0";
  size_t begin = at;
  while (begin > 0 && text[begin - 1] >= '0' && text[begin - 1] <= '9') --begin;
  return text.substr(begin, at - begin);
}

}  // namespace

TimeSpan::TimeSpan(int32_t seconds) {
  seconds_ = seconds;
}

TimeSpan::TimeSpan(const Parts& parts) {
  const int64_t total = totalSeconds(parts.days, parts.hours, parts.minutes, parts.seconds);
  seconds_ = checkedTotal(parts.negative ? -total : total);
}

TimeSpan::~TimeSpan() = default;

void TimeSpan::set(int32_t days, uint32_t hours, uint32_t minutes, uint32_t seconds) {
  if (days < -24855 || days > 24855) {
    throw TimeException(TimeException::TM_DAYS, "", __FILE__, __LINE__);
  }
  if (hours > 23) throw TimeException(TimeException::TM_HOURS, "", __FILE__, __LINE__);
  if (minutes > 59) throw TimeException(TimeException::TM_MINUTES, "", __FILE__, __LINE__);
  if (seconds > 59) throw TimeException(TimeException::TM_SECONDS, "", __FILE__, __LINE__);
  seconds_ = checkedTotal(totalSeconds(days, hours, minutes, seconds));
}

TimeSpan::Parts TimeSpan::parse(const std::string& text) {
  Parts parts;
  if (text.empty()) return parts;
  if (text[0] != 'P') {
    throw TimeException(TimeException::TM_INPUT, "Expected 'P' in beginning of time span.",
                        __FILE__, __LINE__);
  }
  parts.negative = text.size() > 1 && text[1] == '-';
  parts.days = platform::atoi32(digitsBefore(text, 'D').c_str());
  parts.hours = platform::atoi32(digitsBefore(text, 'H').c_str());
  parts.minutes = platform::atoi32(digitsBefore(text, 'M').c_str());
  parts.seconds = platform::atoi32(digitsBefore(text, 'S').c_str());
  return parts;
}

}  // namespace Vemora

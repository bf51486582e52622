#include "platform/RuntimeZone.h"

#include <ctime>
#include <mutex>

namespace platform {

namespace {

// tzset and mktime read the process's TZ state; one lock keeps a refresh
// from running under a conversion.
std::mutex& zoneMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

void fromTm(const std::tm& tm, RuntimeZone::Civil* out) {
  out->year = tm.tm_year + 1900;
  out->month = tm.tm_mon + 1;
  out->day = tm.tm_mday;
  out->hour = tm.tm_hour;
  out->minute = tm.tm_min;
  out->second = tm.tm_sec;
  out->weekday = tm.tm_wday;
  out->isDst = tm.tm_isdst > 0 ? 1 : 0;
}

}  // namespace

void RuntimeZone::tzset() {
  std::lock_guard<std::mutex> lock(zoneMutex());
  ::tzset();
}

int64_t RuntimeZone::mktimeLocal(const Civil& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  std::time_t t;
  {
    std::lock_guard<std::mutex> lock(zoneMutex());
    t = std::mktime(&tm);
  }
  if (t < 0 || t > 2147483647) return -1;
  return static_cast<int64_t>(t);
}

bool RuntimeZone::localParts(int64_t seconds, Civil* out) {
  if (seconds < 0 || out == nullptr) return false;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  {
    std::lock_guard<std::mutex> lock(zoneMutex());
    if (::localtime_r(&t, &tm) == nullptr) return false;
  }
  fromTm(tm, out);
  return true;
}

bool RuntimeZone::utcParts(int64_t seconds, Civil* out) {
  if (seconds < 0 || out == nullptr) return false;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (::gmtime_r(&t, &tm) == nullptr) return false;
  fromTm(tm, out);
  return true;
}

}  // namespace platform

#include "common/DateTimeParts.h"

#include "common/CivilTime.h"
#include "common/DateTime.h"

namespace Vemora {

void DateTimeParts::toLocal() {
  if (zone.set == 1) return;
  DateTime utc(0);
  utc.set(year, month, day, hour, minute, second, ZoneInfo(), false);
  const int64_t local =
      static_cast<int64_t>(utc.seconds()) + ZoneInfo::offsetAt(zone, utc.seconds());
  const DateTimeParts p = CivilTime::utcParts(CivilTime::clamp(local));
  year = p.year;
  month = p.month;
  day = p.day;
  weekday = p.weekday;
  hour = p.hour;
  minute = p.minute;
  second = p.second;
  zone.set = 1;
}

}  // namespace Vemora

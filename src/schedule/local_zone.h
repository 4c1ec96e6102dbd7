// Local time in a named time zone of the system's time-zone database, with
// a clear rule for the clock times a daylight-saving change skips or
// repeats.
#pragma once

#include <chrono>
#include <string>

#include <date/tz.h>

namespace lumora::schedule {

// A moment, in whole seconds of UTC.
using TInstant = std::chrono::sys_seconds;
// A day of the local calendar.
using TLocalDay = date::local_days;

class TLocalZone {
 public:
  // The zone by its database name ("Europe/Berlin"); an empty name is the
  // machine's own zone (/etc/localtime, else UTC). Raises
  // std::invalid_argument naming the zone when the database lacks it.
  explicit TLocalZone(const std::string& name = {});

  // The database name.
  std::string Name() const { return fZone->name(); }
  TLocalDay DayOf(TInstant instant) const;
  date::local_seconds LocalOf(TInstant instant) const;
  // Seconds east of UTC at that moment.
  std::chrono::seconds OffsetAt(TInstant instant) const;
  // The moment a clock time of a day shows (`time` may be 24:00, the next
  // day's midnight). A time inside the hour a change to summer time skips
  // comes that much later (02:30 becomes 03:30); a time the change back
  // repeats happens once, the first time the clock shows it.
  TInstant At(TLocalDay day, std::chrono::seconds time) const;

 private:
  const date::time_zone* fZone = nullptr;
};

// "2024-03-31T03:30:00+02:00": the moment as the zone's clock shows it.
std::string FormatLocal(TInstant instant, const TLocalZone& zone);

}  // namespace lumora::schedule

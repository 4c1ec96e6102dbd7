// Sunrise, sunset and civil twilight for a place on a day of its local
// calendar, from libnova's solar rise and set.
#pragma once

#include <optional>

#include "schedule/local_zone.h"

namespace lumora::schedule {

// Degrees; north and east positive.
struct TLocation {
  double Latitude = 0;
  double Longitude = 0;

  bool operator==(const TLocation&) const = default;
};

// Sunrise and sunset: the sun's upper edge on the horizon (its centre
// 0.833° below, refraction included); dawn and dusk: the start and end of
// civil twilight, the centre 6° below.
enum class TSunEvent { Sunrise, Sunset, Dawn, Dusk };

// The moment of the event on that local day; none when the sun does not
// cross that altitude that day (polar day or night).
std::optional<TInstant> SunEventOn(TLocalDay day, TSunEvent event, const TLocation& place, const TLocalZone& zone);

}  // namespace lumora::schedule

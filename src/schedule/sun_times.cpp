#include "schedule/sun_times.h"

#include <cmath>

#include <libnova/solar.h>

namespace lumora::schedule {

namespace {

constexpr double kUnixEpochJulianDay = 2440587.5;
constexpr double kSecondsPerDay = 86400;

double julianDay(TInstant instant) {
  return kUnixEpochJulianDay + static_cast<double>(instant.time_since_epoch().count()) / kSecondsPerDay;
}

TInstant instantOf(double julian) {
  return TInstant{std::chrono::seconds{std::llround((julian - kUnixEpochJulianDay) * kSecondsPerDay)}};
}

}  // namespace

std::optional<TInstant> SunEventOn(TLocalDay day, TSunEvent event, const TLocation& place, const TLocalZone& zone) {
  const bool twilight = event == TSunEvent::Dawn || event == TSunEvent::Dusk;
  const bool rising = event == TSunEvent::Sunrise || event == TSunEvent::Dawn;
  ln_lnlat_posn observer{place.Longitude, place.Latitude};
  ln_rst_time times{};
  // libnova answers the first rising and setting after the moment it is
  // given: from the local midnight, those of the local day.
  const double horizon = twilight ? LN_SOLAR_CIVIL_HORIZON : LN_SOLAR_STANDART_HORIZON;
  if (ln_get_solar_rst_horizon(julianDay(zone.At(day, {})), &observer, horizon, &times) != 0) return std::nullopt;
  const TInstant moment = instantOf(rising ? times.rise : times.set);
  if (zone.DayOf(moment) != day) return std::nullopt;
  return moment;
}

}  // namespace lumora::schedule

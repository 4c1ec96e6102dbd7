#include "schedule/local_zone.h"

#include <cstdio>
#include <stdexcept>

namespace lumora::schedule {

namespace {

const date::time_zone* machineZone() {
  try {
    return date::current_zone();
  } catch (const std::exception&) {
    return date::locate_zone("UTC");
  }
}

}  // namespace

TLocalZone::TLocalZone(const std::string& name) {
  if (name.empty()) {
    fZone = machineZone();
    return;
  }
  try {
    fZone = date::locate_zone(name);
  } catch (const std::exception&) {
    throw std::invalid_argument("\"" + name + "\" is not a time zone of the system's time-zone database");
  }
}

TLocalDay TLocalZone::DayOf(TInstant instant) const { return date::floor<date::days>(LocalOf(instant)); }

date::local_seconds TLocalZone::LocalOf(TInstant instant) const { return fZone->to_local(instant); }

std::chrono::seconds TLocalZone::OffsetAt(TInstant instant) const { return fZone->get_info(instant).offset; }

TInstant TLocalZone::At(TLocalDay day, std::chrono::seconds time) const {
  const date::local_seconds local = day + time;
  // Before a gap `first` is the offset in force before it, which moves a
  // skipped time forward by the gap; in a repeated hour `first` is the
  // earlier offset, the clock's first pass.
  return TInstant{local.time_since_epoch()} - fZone->get_info(local).first.offset;
}

std::string FormatLocal(TInstant instant, const TLocalZone& zone) {
  const long long offset = zone.OffsetAt(instant).count();
  const long long minutes = (offset < 0 ? -offset : offset) / 60;
  char zoneText[8];
  std::snprintf(zoneText, sizeof zoneText, "%c%02lld:%02lld", offset < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
  return date::format("%FT%T", zone.LocalOf(instant)) + zoneText;
}

}  // namespace lumora::schedule

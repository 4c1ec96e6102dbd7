#include "schedule/sun_times.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "schedule/fake_player.h"

namespace lumora::schedule {
namespace {

using test::At;

struct TReference {
  const char* Source;
  TLocation Place;
  const char* Zone;
  const char* Day;
  TSunEvent Event;
  // The table's minute, in the zone's clock.
  const char* Expected;
};

// Published tables, read off by hand:
// - USNO: U.S. Naval Observatory, Astronomical Applications Dept., "Rise
//   and Set for the Sun for 2008", Cupertino W121°55' N37°24', zone 8 h
//   west of Greenwich (no summer time: Etc/GMT+8).
// - USNO via The Plain Dealer: Cleveland W81°40' N41°29', sunrise and
//   sunset of November 2018 in local clock time, quoted from the USNO.
// - Astronomy Answers (aa.quae.nl), "The Position of the Sun: Tables",
//   table 1, sunrise in 2002 by latitude in local mean time, which on the
//   Greenwich meridian is UT.
const TReference kReferences[] = {
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-01-01", TSunEvent::Sunrise, "07:22"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-01-01", TSunEvent::Sunset, "17:00"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-03-03", TSunEvent::Sunrise, "06:35"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-06-01", TSunEvent::Sunrise, "04:48"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-06-04", TSunEvent::Sunset, "19:25"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-07-04", TSunEvent::Sunrise, "04:52"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-09-02", TSunEvent::Sunset, "18:34"},
    {"USNO 2008", {37.4, -121.9167}, "Etc/GMT+8", "2008-12-03", TSunEvent::Sunset, "16:50"},
    // Across the end of summer time on 4 November 2018.
    {"USNO 2018", {41.4833, -81.6667}, "America/New_York", "2018-11-03", TSunEvent::Sunrise, "08:01"},
    {"USNO 2018", {41.4833, -81.6667}, "America/New_York", "2018-11-03", TSunEvent::Sunset, "18:19"},
    {"USNO 2018", {41.4833, -81.6667}, "America/New_York", "2018-11-04", TSunEvent::Sunrise, "07:02"},
    {"USNO 2018", {41.4833, -81.6667}, "America/New_York", "2018-11-04", TSunEvent::Sunset, "17:18"},
    {"USNO 2018", {41.4833, -81.6667}, "America/New_York", "2018-11-10", TSunEvent::Sunset, "17:11"},
    {"Astronomy Answers 2002", {-34, 0}, "UTC", "2002-01-01", TSunEvent::Sunrise, "04:52"},
    {"Astronomy Answers 2002", {0, 0}, "UTC", "2002-01-01", TSunEvent::Sunrise, "06:00"},
    {"Astronomy Answers 2002", {50, 0}, "UTC", "2002-01-01", TSunEvent::Sunrise, "07:59"},
};

TEST(SunTimes, AgreeWithPublishedTablesWithinTwoMinutes) {
  for (const TReference& reference : kReferences) {
    const TLocalZone zone(reference.Zone);
    const TInstant expected = At(reference.Zone, std::string(reference.Day) + " " + reference.Expected + ":00");
    const auto event = SunEventOn(zone.DayOf(expected), reference.Event, reference.Place, zone);
    ASSERT_TRUE(event) << reference.Source << " " << reference.Day;
    EXPECT_LE(std::abs((*event - expected).count()), 120)
        << reference.Source << " " << reference.Day << " " << reference.Expected << ": " << FormatLocal(*event, zone);
  }
}

TEST(SunTimes, PolarDayAndNightHaveNoSunriseOrSunset) {
  const TLocation tromso{69.65, 18.96};
  const TLocalZone zone("Europe/Oslo");
  const TLocalDay midsummer{date::year{2024} / 6 / 21};
  const TLocalDay midwinter{date::year{2024} / 12 / 21};
  EXPECT_FALSE(SunEventOn(midsummer, TSunEvent::Sunset, tromso, zone));
  EXPECT_FALSE(SunEventOn(midsummer, TSunEvent::Sunrise, tromso, zone));
  EXPECT_FALSE(SunEventOn(midwinter, TSunEvent::Sunrise, tromso, zone));
  // Civil twilight still comes at midwinter noon.
  EXPECT_TRUE(SunEventOn(midwinter, TSunEvent::Dawn, tromso, zone));
}

// Every day of a year, in two zones with summer time: each event falls on
// its own day, in the order dawn, sunrise, sunset, dusk, and moves by less
// than four minutes from one day to the next except across a change of the
// clock, where it moves by the hour.
TEST(SunTimes, EveryDayOfAYearIsOrderedAndSmooth) {
  struct TPlace {
    const char* Zone;
    TLocation Where;
  };
  for (const TPlace& place : {TPlace{"Europe/Berlin", {52.52, 13.405}}, TPlace{"America/New_York", {40.71, -74.01}}}) {
    const TLocalZone zone(place.Zone);
    std::optional<TInstant> lastSunset;
    for (TLocalDay day{date::year{2024} / 1 / 1}; day < TLocalDay{date::year{2025} / 1 / 1}; day += date::days{1}) {
      const auto dawn = SunEventOn(day, TSunEvent::Dawn, place.Where, zone);
      const auto rise = SunEventOn(day, TSunEvent::Sunrise, place.Where, zone);
      const auto set = SunEventOn(day, TSunEvent::Sunset, place.Where, zone);
      const auto dusk = SunEventOn(day, TSunEvent::Dusk, place.Where, zone);
      ASSERT_TRUE(dawn && rise && set && dusk) << place.Zone << " " << date::format("%F", day);
      EXPECT_LT(*dawn, *rise);
      EXPECT_LT(*rise, *set);
      EXPECT_LT(*set, *dusk);
      EXPECT_EQ(zone.DayOf(*dawn), day);
      EXPECT_EQ(zone.DayOf(*dusk), day);
      if (lastSunset) {
        const auto dayLater = *set - *lastSunset - date::days{1};
        EXPECT_LT(std::abs(dayLater.count()), 240) << place.Zone << " " << date::format("%F", day);
      }
      lastSunset = set;
    }
  }
}

}  // namespace
}  // namespace lumora::schedule

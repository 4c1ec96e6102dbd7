#include "schedule/local_zone.h"

#include <gtest/gtest.h>

#include "schedule/fake_player.h"

namespace lumora::schedule {
namespace {

using test::Utc;

TLocalDay Day(int year, unsigned month, unsigned day) { return TLocalDay{date::year{year} / date::month{month} / date::day{day}}; }

// Clock times around the changes of 2024: a time the change to summer time
// skips comes as much later; a time the change back repeats comes once, the
// first time.
TEST(LocalZone, ClockTimesAcrossDaylightSavingChanges) {
  struct TCase {
    const char* Zone;
    TLocalDay Day;
    int Hours, Minutes;
    const char* Expected;
  };
  const TCase cases[] = {
      {"Europe/Berlin", Day(2024, 3, 31), 1, 30, "2024-03-31T00:30:00Z"},
      {"Europe/Berlin", Day(2024, 3, 31), 2, 0, "2024-03-31T01:00:00Z"},   // 03:00 CEST
      {"Europe/Berlin", Day(2024, 3, 31), 2, 30, "2024-03-31T01:30:00Z"},  // skipped: 03:30 CEST
      {"Europe/Berlin", Day(2024, 3, 31), 3, 30, "2024-03-31T01:30:00Z"},
      {"Europe/Berlin", Day(2024, 10, 27), 1, 30, "2024-10-26T23:30:00Z"},
      {"Europe/Berlin", Day(2024, 10, 27), 2, 30, "2024-10-27T00:30:00Z"},  // repeated: the CEST one
      {"Europe/Berlin", Day(2024, 10, 27), 3, 0, "2024-10-27T02:00:00Z"},
      {"Europe/Berlin", Day(2024, 10, 27), 24, 0, "2024-10-27T23:00:00Z"},  // the next midnight, CET
      {"America/New_York", Day(2024, 3, 10), 1, 59, "2024-03-10T06:59:00Z"},
      {"America/New_York", Day(2024, 3, 10), 2, 30, "2024-03-10T07:30:00Z"},  // skipped: 03:30 EDT
      {"America/New_York", Day(2024, 3, 10), 3, 0, "2024-03-10T07:00:00Z"},
      {"America/New_York", Day(2024, 11, 3), 1, 30, "2024-11-03T05:30:00Z"},  // repeated: the EDT one
      {"America/New_York", Day(2024, 11, 3), 2, 0, "2024-11-03T07:00:00Z"},
      {"UTC", Day(2024, 2, 29), 12, 0, "2024-02-29T12:00:00Z"},
  };
  for (const TCase& c : cases) {
    const TLocalZone zone(c.Zone);
    const TInstant at = zone.At(c.Day, std::chrono::hours{c.Hours} + std::chrono::minutes{c.Minutes});
    EXPECT_EQ(at, Utc(c.Expected)) << c.Zone << " " << date::format("%F", c.Day) << " " << c.Hours << ":" << c.Minutes;
  }
}

TEST(LocalZone, DaysOffsetsAndLocalText) {
  const TLocalZone berlin("Europe/Berlin");
  EXPECT_EQ(berlin.DayOf(Utc("2024-03-30T23:30:00Z")), Day(2024, 3, 31));
  EXPECT_EQ(berlin.OffsetAt(Utc("2024-03-31T00:59:59Z")), std::chrono::hours{1});
  EXPECT_EQ(berlin.OffsetAt(Utc("2024-03-31T01:00:00Z")), std::chrono::hours{2});
  EXPECT_EQ(FormatLocal(Utc("2024-03-31T01:30:00Z"), berlin), "2024-03-31T03:30:00+02:00");
  EXPECT_EQ(FormatLocal(Utc("2024-11-03T06:30:00Z"), TLocalZone("America/New_York")), "2024-11-03T01:30:00-05:00");
  EXPECT_EQ(FormatLocal(Utc("2024-01-01T00:00:00Z"), TLocalZone("Asia/Kolkata")), "2024-01-01T05:30:00+05:30");
  EXPECT_EQ(TLocalZone("America/St_Johns").OffsetAt(Utc("2024-01-01T00:00:00Z")), -std::chrono::minutes{210});
}

TEST(LocalZone, UnknownZoneIsNamed) {
  try {
    TLocalZone zone("Mars/Olympus_Mons");
    FAIL() << "an unknown zone was taken";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("Mars/Olympus_Mons"), std::string::npos);
  }
  EXPECT_FALSE(TLocalZone().Name().empty());
}

}  // namespace
}  // namespace lumora::schedule

#include "schedule/occurrences.h"

#include <gtest/gtest.h>

#include "schedule/fake_player.h"

namespace lumora::schedule {
namespace {

using nlohmann::json;
using test::At;

TSchedule OneEntry(const char* zone, json entry) {
  entry["play"] = "show.lst";
  return ReadSchedule({{"entries", {entry}}, {"timezone", zone}, {"location", {{"latitude", 52.52}, {"longitude", 13.405}}}});
}

// The local days of one month an entry runs on.
std::string DaysOfMonth(const TScheduleEntry& entry, int year, unsigned month) {
  std::string days;
  for (unsigned day = 1; day <= 31; ++day) {
    const date::year_month_day date{date::year{year}, date::month{month}, date::day{day}};
    if (date.ok() && EntryRunsOn(entry, TLocalDay{date})) days += std::to_string(day) + " ";
  }
  return days;
}

TEST(Occurrences, DaysAndDateRanges) {
  struct TCase {
    json Entry;
    int Year;
    unsigned Month;
    const char* Days;
  };
  const TCase cases[] = {
      // Odd days run on the 31st and again on the 1st.
      {{{"days", "odd"}}, 2025, 1, "1 3 5 7 9 11 13 15 17 19 21 23 25 27 29 31 "},
      {{{"days", "even"}}, 2024, 2, "2 4 6 8 10 12 14 16 18 20 22 24 26 28 "},
      // March 2024 begins on a Friday.
      {{{"days", {"fri", "sun"}}}, 2024, 3, "1 3 8 10 15 17 22 24 29 31 "},
      {{{"dates", {"2024-12-30", "2025-01-02"}}}, 2024, 12, "30 31 "},
      {{{"dates", {"2024-12-30", "2025-01-02"}}}, 2025, 1, "1 2 "},
      {{{"dates", {"2024-12-30", "2025-01-02"}}}, 2026, 1, ""},
      // Every year, over the new year, in any year.
      {{{"dates", {"2020-12-30", "2021-01-02"}}, {"every-year", true}}, 2031, 12, "30 31 "},
      {{{"dates", {"2020-12-30", "2021-01-02"}}, {"every-year", true}}, 2032, 1, "1 2 "},
      {{{"dates", {"2020-02-27", "2020-02-29"}}, {"every-year", true}}, 2023, 2, "27 28 "},
      {{{"dates", {"2020-02-27", "2020-02-29"}}, {"every-year", true}}, 2024, 2, "27 28 29 "},
      {{{"dates", {"2024-03-01", "2024-03-31"}}, {"days", "even"}, {"every-year", true}}, 2030, 3, "2 4 6 8 10 12 14 16 18 20 22 24 26 28 30 "},
      {{{"enabled", false}}, 2024, 2, ""},
  };
  for (const TCase& c : cases) {
    json entry = c.Entry;
    entry["start"] = "18:00";
    entry["end"] = "20:00";
    const TSchedule schedule = OneEntry("UTC", entry);
    EXPECT_EQ(DaysOfMonth(schedule.Entries[0], c.Year, c.Month), c.Days) << c.Entry.dump();
  }
}

// Runs resolved in the zone: overnight ends on the next day (over a
// month's end, and only for starts in the date range), times in a skipped
// or repeated hour, ends at 24:00, and the sun.
TEST(Occurrences, RunsInTheLocalZone) {
  struct TCase {
    const char* Zone;
    json Entry;
    const char* Day;
    const char* Start;
    const char* End;
  };
  const TCase cases[] = {
      {"Europe/Berlin", {{"start", "22:00"}, {"end", "02:00"}, {"dates", {"2024-01-01", "2024-01-31"}}}, "2024-01-31", "2024-01-31 22:00:00", "2024-02-01 02:00:00"},
      {"Europe/Berlin", {{"start", "22:00"}, {"end", "02:00"}, {"dates", {"2024-01-01", "2024-01-31"}}}, "2024-02-01", nullptr, nullptr},
      {"Europe/Berlin", {{"start", "18:00"}, {"end", "18:00"}}, "2024-06-30", "2024-06-30 18:00:00", "2024-07-01 18:00:00"},
      {"Europe/Berlin", {{"start", "20:00"}, {"end", "24:00"}}, "2024-04-30", "2024-04-30 20:00:00", "2024-05-01 00:00:00"},
      // 02:30 does not exist on 31 March: the run starts at 03:30.
      {"Europe/Berlin", {{"start", "02:30"}, {"end", "04:00"}}, "2024-03-31", "2024-03-31 03:30:00", "2024-03-31 04:00:00"},
      // An overnight run over the change is an hour shorter.
      {"Europe/Berlin", {{"start", "23:00"}, {"end", "04:00"}}, "2024-03-30", "2024-03-30 23:00:00", "2024-03-31 04:00:00"},
      // 02:30 comes twice on 27 October: the run starts the first time.
      {"Europe/Berlin", {{"start", "02:30"}, {"end", "03:30"}}, "2024-10-27", "2024-10-27 02:30:00", "2024-10-27 03:30:00"},
      {"America/New_York", {{"start", "01:30"}, {"end", "02:30"}}, "2024-11-03", "2024-11-03 01:30:00", "2024-11-03 02:30:00"},
      // An entry wholly inside the skipped hour runs in the hour after it.
      {"America/New_York", {{"start", "02:15"}, {"end", "02:45"}}, "2024-03-10", "2024-03-10 03:15:00", "2024-03-10 03:45:00"},
      {"America/New_York", {{"start", "01:00"}, {"end", "02:45"}}, "2024-03-10", "2024-03-10 01:00:00", "2024-03-10 03:45:00"},
  };
  for (const TCase& c : cases) {
    const TSchedule schedule = OneEntry(c.Zone, c.Entry);
    const TLocalZone zone(c.Zone);
    const auto run = ResolveOccurrence(schedule, 0, zone.DayOf(At(c.Zone, std::string(c.Day) + " 12:00:00")), zone);
    if (c.Start == nullptr) {
      EXPECT_FALSE(run) << c.Entry.dump() << " on " << c.Day;
      continue;
    }
    ASSERT_TRUE(run) << c.Entry.dump() << " on " << c.Day;
    EXPECT_EQ(FormatLocal(run->Start, zone), FormatLocal(At(c.Zone, c.Start), zone)) << c.Entry.dump();
    EXPECT_EQ(FormatLocal(run->End, zone), FormatLocal(At(c.Zone, c.End), zone)) << c.Entry.dump();
  }
  // In the repeated hour the run lasts as long as the clock says plus the
  // hour the clock repeats.
  const TSchedule overnight = OneEntry("America/New_York", {{"start", "00:30"}, {"end", "02:30"}});
  const TLocalZone newYork("America/New_York");
  const auto run = ResolveOccurrence(overnight, 0, TLocalDay{date::year{2024} / 11 / 3}, newYork);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->End - run->Start, std::chrono::hours{3});
}

TEST(Occurrences, SunTimesWithOffsetsAndRepeats) {
  const TSchedule schedule = OneEntry("Europe/Berlin", {{"start", "sunset+15"}, {"end", "dusk+60"}, {"repeat", 20}});
  const TLocalZone zone("Europe/Berlin");
  const TLocalDay day{date::year{2024} / 6 / 21};
  const auto run = ResolveOccurrence(schedule, 0, day, zone);
  ASSERT_TRUE(run);
  const TLocation berlin{52.52, 13.405};
  EXPECT_EQ(run->Start, *SunEventOn(day, TSunEvent::Sunset, berlin, zone) + std::chrono::minutes{15});
  EXPECT_EQ(run->End, *SunEventOn(day, TSunEvent::Dusk, berlin, zone) + std::chrono::minutes{60});
  const std::vector<TInstant> starts = StartsWithin(schedule.Entries[0], *run, run->Start, run->End + date::days{1});
  // From sunset+15 to dusk+60, about 90 minutes: five starts 20 minutes apart.
  ASSERT_EQ(starts.size(), 5u);
  EXPECT_EQ(starts[4] - starts[0], std::chrono::minutes{80});
  EXPECT_EQ(LastStartAt(schedule.Entries[0], *run, starts[2] + std::chrono::minutes{19}), starts[2]);
  EXPECT_EQ(StartsWithin(schedule.Entries[0], *run, starts[1] + std::chrono::seconds{1}, starts[3]), (std::vector<TInstant>{starts[2]}));
}

TEST(Occurrences, PlannerFindsRunsOverlappingAWindow) {
  const TSchedule schedule = ReadSchedule(json::parse(R"({"timezone": "Europe/Berlin", "entries": [
      {"play": "night.lst", "start": "22:00", "end": "01:00"},
      {"play": "day.lst", "start": "10:00", "end": "12:00", "days": ["mon"]},
      {"command": "blackout", "start": "23:00"}]})"));
  TOccurrencePlanner planner(schedule);
  // Monday 2024-06-03, 00:30: the night run of Sunday is on.
  const auto atNight = planner.Overlapping(At("Europe/Berlin", "2024-06-03 00:30:00"), At("Europe/Berlin", "2024-06-03 00:30:01"));
  ASSERT_EQ(atNight.size(), 1u);
  EXPECT_EQ(atNight[0].Start, At("Europe/Berlin", "2024-06-02 22:00:00"));
  const auto day = planner.Overlapping(At("Europe/Berlin", "2024-06-03 00:00:00"), At("Europe/Berlin", "2024-06-04 00:00:00"));
  std::vector<std::size_t> entries;
  for (const TOccurrence& run : day) entries.push_back(run.Entry);
  EXPECT_EQ(entries, (std::vector<std::size_t>{0, 1, 0, 2}));
}

}  // namespace
}  // namespace lumora::schedule

#include "schedule/calendar.h"

#include <gtest/gtest.h>

#include <random>

#include "bench/season_schedule.h"
#include "schedule/fake_player.h"

namespace lumora::schedule {
namespace {

using nlohmann::json;
using test::At;

// 120 days played on the fake player, ticked at every moment due and at
// random moments between: the starts made are the calendar's, and the
// calendar holds what the schedule says.
TEST(Calendar, ASeasonPlayedEqualsItsCalendar) {
  const TSchedule schedule = ReadSchedule(json::parse(season::kSchedule));
  test::TFakePlayer player;
  player.Lengths = season::kLengths;
  const TInstant from = At("Europe/Berlin", season::kFirstDay);
  const TInstant to = from + date::days{season::kDays};

  TScheduler scheduler(schedule, player, player);
  std::vector<TScheduledStart> made;
  scheduler.SetStartObserver([&](const TScheduledStart& start) { made.push_back(start); });
  std::mt19937 random(20241001);
  for (TInstant now = from; now < to;) {
    player.AdvanceTo(now);
    scheduler.Tick(now);
    TInstant next = std::min(scheduler.NextWakeUp(now), now + std::chrono::seconds{1 + random() % 3600});
    if (const auto event = player.NextEvent()) next = std::min(next, *event);
    now = std::max(next, now + std::chrono::seconds{1});
  }
  const std::vector<TScheduledStart> calendar = ScheduleCalendar(schedule, player, from, to);
  ASSERT_EQ(made.size(), calendar.size());
  for (std::size_t i = 0; i < made.size(); ++i) {
    ASSERT_EQ(made[i], calendar[i]) << "start " << i << " at " << FormatLocal(made[i].At, TLocalZone("Europe/Berlin")) << " and "
                                    << FormatLocal(calendar[i].At, TLocalZone("Europe/Berlin"));
  }

  const TLocalZone berlin("Europe/Berlin");
  std::map<std::size_t, int> perEntry;
  for (const TScheduledStart& start : made) ++perEntry[start.Entry];
  EXPECT_EQ(perEntry[3], 120);      // the brightness, every evening
  EXPECT_EQ(perEntry[2], 8 * 4);    // the countdown, four times on each of 8 days
  EXPECT_EQ(perEntry[5], 1);        // New Year's Eve
  EXPECT_EQ(perEntry[6], 17 * 2);   // two blackout commands on each of 17 Sundays
  for (const TScheduledStart& start : made) {
    const std::string local = FormatLocal(start.At, berlin);
    if (start.Entry == 3) {
      EXPECT_EQ(local.substr(11, 8), "21:30:00") << local;
    } else if (start.Entry == 5) {
      EXPECT_EQ(local, "2024-12-31T23:00:00+01:00");
    } else if (start.Entry == 2) {
      // Between countdowns the evening or weekend list plays; a countdown
      // waits for it to stop its own way, at most a weekend pass.
      EXPECT_GE(start.At, start.Start) << local;
      EXPECT_LE(start.At - start.Start, std::chrono::seconds{1500}) << local;
    }
  }
}

// An entry at 02:30 every night across the changes of the clock, by the
// calendar: skipped, it comes at 03:30; repeated, it comes once.
TEST(Calendar, EntriesInTheSkippedOrRepeatedHour) {
  struct TCase {
    const char* Zone;
    const char* From;
    std::vector<std::string> Starts;
  };
  const TCase cases[] = {
      {"Europe/Berlin", "2024-03-30 00:00:00", {"2024-03-30T02:30:00+01:00", "2024-03-31T03:30:00+02:00", "2024-04-01T02:30:00+02:00"}},
      {"Europe/Berlin", "2024-10-26 00:00:00", {"2024-10-26T02:30:00+02:00", "2024-10-27T02:30:00+02:00", "2024-10-28T02:30:00+01:00"}},
      {"America/New_York", "2024-03-09 00:00:00", {"2024-03-09T02:30:00-05:00", "2024-03-10T03:30:00-04:00", "2024-03-11T02:30:00-04:00"}},
      {"America/New_York", "2024-11-02 00:00:00", {"2024-11-02T01:30:00-04:00", "2024-11-03T01:30:00-04:00", "2024-11-04T01:30:00-05:00"}},
  };
  for (const TCase& c : cases) {
    const std::string start = std::string(c.Zone) == "America/New_York" && std::string(c.From).starts_with("2024-11") ? "01:30" : "02:30";
    const TSchedule schedule = ReadSchedule({{"timezone", c.Zone}, {"entries", {{{"play", "night.lst"}, {"start", start}, {"end", "04:00"}, {"stop", "now"}}}}});
    test::TFakePlayer lengths;
    const TInstant from = At(c.Zone, c.From);
    std::vector<std::string> starts;
    for (const TScheduledStart& made : ScheduleCalendar(schedule, lengths, from, from + date::days{3})) {
      starts.push_back(FormatLocal(made.At, TLocalZone(c.Zone)));
    }
    EXPECT_EQ(starts, c.Starts) << c.Zone << " " << c.From;
  }
}

TEST(Calendar, JsonForTheRangeRequest) {
  const TSchedule schedule = ReadSchedule(json::parse(season::kSchedule));
  test::TFakePlayer lengths;
  lengths.Lengths = season::kLengths;
  const TInstant from = At("Europe/Berlin", "2024-12-31 20:00:00");
  const TInstant to = At("Europe/Berlin", "2025-01-01 00:00:00");
  const json range = CalendarJson(ScheduleCalendar(schedule, lengths, from, to), schedule, from, to);
  EXPECT_EQ(range["from"], "2024-12-31T20:00:00+01:00");
  EXPECT_EQ(range["timezone"], "Europe/Berlin");
  EXPECT_EQ(range["complete"], true);
  // Between countdowns the evening list comes back where it would be; the
  // second countdown waits for the list's entry to end.
  const json expected = json::parse(R"([
      {"at": "2024-12-31T20:00:00+01:00", "entry": 2, "start": "2024-12-31T20:00:00+01:00", "end": "2024-12-31T21:00:00+01:00",
       "play": "countdown.ctl", "list-entry": 1},
      {"at": "2024-12-31T20:04:00+01:00", "entry": 0, "start": "dusk", "end": "2024-12-31T22:00:00+01:00",
       "play": "evening.lst", "list-entry": 2},
      {"at": "2024-12-31T20:34:00+01:00", "entry": 2, "start": "2024-12-31T20:30:00+01:00", "end": "2024-12-31T21:00:00+01:00",
       "play": "countdown.ctl", "list-entry": 1},
      {"at": "2024-12-31T20:38:00+01:00", "entry": 0, "start": "dusk", "end": "2024-12-31T22:00:00+01:00",
       "play": "evening.lst", "list-entry": 2},
      {"at": "2024-12-31T21:30:00+01:00", "entry": 3, "start": "2024-12-31T21:30:00+01:00", "command": "brightness", "args": {"percent": 40}},
      {"at": "2024-12-31T23:00:00+01:00", "entry": 5, "start": "2024-12-31T23:00:00+01:00", "end": "2025-01-01T00:30:00+01:00",
       "play": "newyear.lst", "list-entry": 1}])");
  ASSERT_EQ(range["items"].size(), expected.size()) << range.dump(2);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    json item = range["items"][i];
    // Dusk is the sun's, checked elsewhere; the list's place follows from it.
    if (item["entry"] == 0) {
      EXPECT_EQ(item["start"], FormatLocal(*SunEventOn(TLocalDay{date::year{2024} / 12 / 31}, TSunEvent::Dusk, {52.52, 13.405},
                                                        TLocalZone("Europe/Berlin")),
                                            TLocalZone("Europe/Berlin")));
      item["start"] = "dusk";
    }
    EXPECT_EQ(item, expected[i]) << i;
  }
}

// Many entries every minute: the calendar stops at its cap.
TEST(Calendar, StopsAtItsCapOfStarts) {
  json entries = json::array();
  for (int i = 0; i < 40; ++i) entries.push_back({{"command", "test"}, {"start", "00:00"}, {"end", "24:00"}, {"repeat", 1}});
  const TSchedule schedule = ReadSchedule({{"timezone", "UTC"}, {"entries", entries}});
  test::TFakePlayer lengths;
  const TInstant from = At("UTC", "2024-06-01 00:00:00");
  const auto starts = ScheduleCalendar(schedule, lengths, from, from + date::days{14});
  EXPECT_EQ(starts.size(), kMaxCalendarStarts);
  EXPECT_EQ(CalendarJson(starts, schedule, from, from + date::days{14})["complete"], false);
}

}  // namespace
}  // namespace lumora::schedule

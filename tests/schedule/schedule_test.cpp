#include "schedule/schedule.h"

#include <gtest/gtest.h>

namespace lumora::schedule {
namespace {

using nlohmann::json;

const char* const kSeason = R"({
  "entries": [
    {"play": "evening.lst", "days": "all", "dates": ["2024-11-25", "2025-01-06"], "every-year": true,
     "start": "dusk", "end": "22:00", "repeat": "loop", "stop": "entry", "priority": 0, "enabled": true},
    {"play": "weekend.lst", "name": "Weekend", "days": ["fri", "sat"], "start": "sunset+15", "end": "23:30:30",
     "repeat": 30, "stop": "pass", "priority": 5, "enabled": false},
    {"command": "brightness", "args": {"percent": 40}, "days": "odd", "start": "21:30", "repeat": "once",
     "stop": "now", "priority": -2, "enabled": true},
    {"play": "night.ctl", "days": "even", "start": "dawn-10", "end": "24:00", "repeat": "once", "stop": "now",
     "priority": 1, "enabled": true}
  ],
  "location": {"latitude": 52.52, "longitude": 13.405},
  "timezone": "Europe/Berlin",
  "protect-manual": false
})";

TEST(Schedule, ReadsAndWritesItsJsonUnchanged) {
  const TSchedule schedule = ReadSchedule(json::parse(kSeason));
  ASSERT_EQ(schedule.Entries.size(), 4u);
  const TScheduleEntry& weekend = schedule.Entries[1];
  EXPECT_EQ(weekend.Days.Weekdays, std::bitset<7>("1100000"));
  EXPECT_EQ(weekend.Start, (TTimeOfDay{TSunEvent::Sunset, {}, std::chrono::minutes{15}}));
  EXPECT_EQ(weekend.End, (TTimeOfDay{std::nullopt, std::chrono::seconds{23 * 3600 + 30 * 60 + 30}}));
  EXPECT_EQ(weekend.Repeat, TRepeat::Every);
  EXPECT_EQ(weekend.Interval, std::chrono::minutes{30});
  EXPECT_EQ(schedule.Entries[3].End->Clock, std::chrono::hours{24});
  EXPECT_EQ(schedule.Entries[2].Args, json({{"percent", 40}}));
  EXPECT_FALSE(schedule.ProtectManual);
  // What is written reads back the same, and is the document itself.
  const json written = WriteSchedule(schedule);
  EXPECT_EQ(ReadSchedule(written), schedule);
  EXPECT_EQ(written, json::parse(kSeason));
}

TEST(Schedule, MissingKeysTakeTheirDefaults) {
  const TSchedule schedule = ReadSchedule(json::parse(R"({"entries": [
      {"play": "a.lst", "start": "18:00", "end": "20:00"},
      {"command": "blackout", "start": "20:00:05"}]})"));
  const TScheduleEntry& show = schedule.Entries[0];
  EXPECT_TRUE(show.Days.Weekdays.all());
  EXPECT_EQ(show.Repeat, TRepeat::Loop);
  EXPECT_EQ(show.Stop, TStopKind::Entry);
  EXPECT_EQ(show.Priority, 0);
  EXPECT_TRUE(show.Enabled);
  EXPECT_FALSE(show.Dates);
  EXPECT_EQ(schedule.Entries[1].Repeat, TRepeat::Once);
  EXPECT_FALSE(schedule.Entries[1].End);
  EXPECT_TRUE(schedule.TimeZone.empty());
  EXPECT_TRUE(schedule.ProtectManual);
  EXPECT_EQ(FormatTimeOfDay(schedule.Entries[1].Start), "20:00:05");
}

// Each fault is refused with the entry's index and the field.
TEST(Schedule, FaultsNameTheEntryAndTheField) {
  struct TCase {
    const char* Entry;
    const char* Message;
  };
  const TCase cases[] = {
      {R"({"start": "18:00", "end": "20:00"})", "entries[1].play: an entry names either"},
      {R"({"play": "a", "command": "stop", "start": "18:00", "end": "20:00"})", "entries[1].play: an entry names either"},
      {R"({"play": "", "start": "18:00", "end": "20:00"})", "entries[1].play: is empty"},
      {R"({"play": 7, "start": "18:00", "end": "20:00"})", "entries[1].play: 7 is not a text"},
      {R"({"command": "Stop!", "start": "18:00"})", "entries[1].command: \"Stop!\" is not a command name"},
      {R"({"command": "stop", "args": [1], "start": "18:00"})", "entries[1].args: is not an object"},
      {R"({"play": "a", "args": {}, "start": "18:00", "end": "20:00"})", "entries[1].args: belongs to a \"command\" entry"},
      {R"({"play": "a", "end": "20:00"})", "entries[1].start: is missing"},
      {R"({"play": "a", "start": "18:00"})", "entries[1].end: is missing"},
      {R"({"command": "stop", "start": "18:00", "repeat": 10})", "entries[1].end: is missing"},
      {R"({"play": "a", "start": "25:00", "end": "20:00"})", "entries[1].start: \"25:00\" is neither a clock time"},
      {R"({"play": "a", "start": "24:00", "end": "20:00"})", "entries[1].start: \"24:00\" is neither"},
      {R"({"play": "a", "start": "18:7", "end": "20:00"})", "entries[1].start: \"18:7\" is neither"},
      {R"({"play": "a", "start": "18:00:60", "end": "20:00"})", "entries[1].start: \"18:00:60\" is neither"},
      {R"({"play": "a", "start": "18:00", "end": "sunset+721"})", "entries[1].end: \"sunset+721\" is neither"},
      {R"({"play": "a", "start": "noon", "end": "20:00"})", "entries[1].start: \"noon\" is neither"},
      {R"({"play": "a", "start": "sunset*2", "end": "20:00"})", "entries[1].start: \"sunset*2\" is neither"},
      {R"({"play": "a", "days": ["mon", "mon"], "start": "18:00", "end": "20:00"})", "entries[1].days: \"mon\" is named twice"},
      {R"({"play": "a", "days": ["monday"], "start": "18:00", "end": "20:00"})", "entries[1].days: \"monday\" is not a weekday"},
      {R"({"play": "a", "days": [], "start": "18:00", "end": "20:00"})", "entries[1].days: [] is not a list of weekdays"},
      {R"({"play": "a", "days": "weekends", "start": "18:00", "end": "20:00"})", "entries[1].days: \"weekends\" is not"},
      {R"({"play": "a", "dates": ["2024-02-30", "2024-03-01"], "start": "18:00", "end": "20:00"})", "entries[1].dates: \"2024-02-30\" is not a date"},
      {R"({"play": "a", "dates": ["2024-03-01"], "start": "18:00", "end": "20:00"})", "entries[1].dates: [\"2024-03-01\"] is not two dates"},
      {R"({"play": "a", "dates": ["2024-03-02", "2024-03-01"], "start": "18:00", "end": "20:00"})", "entries[1].dates: the last date is before the first"},
      {R"({"play": "a", "every-year": true, "start": "18:00", "end": "20:00"})", "entries[1].every-year: needs \"dates\""},
      {R"({"play": "a", "start": "18:00", "end": "20:00", "repeat": 0})", "entries[1].repeat: 0 is not a whole number from 1 to 1440"},
      {R"({"play": "a", "start": "18:00", "end": "20:00", "repeat": 2.5})", "entries[1].repeat: 2.5 is not \"once\""},
      {R"({"command": "stop", "start": "18:00", "repeat": "loop"})", "entries[1].repeat: \"loop\" is not \"once\", or minutes"},
      {R"({"play": "a", "start": "18:00", "end": "20:00", "stop": "later"})", "entries[1].stop: \"later\" is not \"now\", \"entry\" or \"pass\""},
      {R"({"play": "a", "start": "18:00", "end": "20:00", "priority": "high"})", "entries[1].priority: \"high\" is not a whole number"},
      {R"({"play": "a", "start": "18:00", "end": "20:00", "enabled": 1})", "entries[1].enabled: 1 is not true or false"},
      {R"({"play": "a", "start": "18:00", "end": "20:00", "sart": "19:00"})", "entries[1].sart: is not a key of the schedule"},
      {R"("a.lst")", "entries[1]: is not an object"},
  };
  for (const TCase& c : cases) {
    const json document = {{"entries", {json::parse(R"({"play": "ok.lst", "start": "18:00", "end": "20:00"})"), json::parse(c.Entry)}}};
    try {
      ReadSchedule(document);
      ADD_FAILURE() << "taken: " << c.Entry;
    } catch (const TScheduleError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.Message, 0), 0u) << error.what() << "\n  expected: " << c.Message;
      EXPECT_EQ(error.Entry(), std::optional<std::size_t>(1)) << c.Entry;
    }
  }
}

TEST(Schedule, FaultsOfTheWholeScheduleNameTheirKey) {
  const std::pair<const char*, const char*> cases[] = {
      {R"([])", "schedule: is not a JSON object"},
      {R"({"entries": {}})", "entries: is not a list"},
      {R"({"timezone": "Europe/Atlantis"})", "timezone: \"Europe/Atlantis\" is not a time zone"},
      {R"({"location": {"latitude": 91, "longitude": 0}})", "location.latitude: is not a number of degrees from -90 to 90"},
      {R"({"location": {"latitude": 52}})", "location.longitude: is not a number"},
      {R"({"protect-manual": "yes"})", "protect-manual: is not true or false"},
      {R"({"entries": [], "extra": 1})", "extra: is not a key of the schedule"},
      {R"({"entries": [{"play": "a", "start": "18:00", "end": "dusk"}]})", "entries[0].end: a time by the sun needs the schedule's \"location\""},
  };
  for (const auto& [document, message] : cases) {
    try {
      ReadSchedule(json::parse(document));
      ADD_FAILURE() << "taken: " << document;
    } catch (const TScheduleError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what() << "\n  expected: " << message;
    }
  }
  json tooMany = {{"entries", json::array()}};
  for (std::size_t i = 0; i <= kMaxScheduleEntries; ++i) tooMany["entries"].push_back({{"command", "stop"}, {"start", "18:00"}});
  EXPECT_THROW(ReadSchedule(tooMany), TScheduleError);
}

}  // namespace
}  // namespace lumora::schedule

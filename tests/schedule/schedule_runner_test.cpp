#include "schedule/schedule_runner.h"

#include <gtest/gtest.h>

#include "control/show_library.h"
#include "io/stream.h"
#include "schedule/fake_player.h"
#include "schedule/schedule_commands.h"
#include "schedule/schedule_store.h"
#include "support/controller_host.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"

namespace lumora::schedule {
namespace {

using control::TCommandResult;
using control::TCommandSource;
using nlohmann::json;

// A real engine, controller and bus on grid movies of a show folder, with
// the schedule's clock in the test's hands: "show.lst" plays a.tol (3 s),
// b.tol (6 s) and c.tol (9 s); frames move only when the test ticks.
struct TScheduledShow : lumora::test::TControllerHost {
  lumora::test::TPlayerDir Dir{"schedule_runner"};
  lumora::test::TFakeMusic Music;
  TShowEngine Engine{*this, Music, Dir.Executable()};
  control::TCommandBus Bus;
  control::TStatusBoard Board{{"1", "test", {}}};
  std::unique_ptr<control::TShowLibrary> Library;
  std::unique_ptr<control::TShowController> Controller;
  std::unique_ptr<TLibraryLengths> Lengths;
  std::unique_ptr<TScheduleRunner> Runner;
  TInstant Now = When("12:00:00");
  // The calendar's work: steps taken, and after how many it is out of time.
  int CalendarSteps = 0;
  int CalendarBudget = 1 << 30;

  TScheduledShow() {
    Dir.Write("a.tol", lumora::test::tolBytes(1, 2, 4, 4, 100));
    Dir.Write("b.tol", lumora::test::tolBytes(1, 2, 4, 4, 200));
    Dir.Write("c.tol", lumora::test::tolBytes(1, 2, 4, 4, 300));
    Dir.WriteText("show.lst", "a.tol\nb.tol\nc.tol\n");
    Library = std::make_unique<control::TShowLibrary>(Dir.Path(""));
    Lengths = std::make_unique<TLibraryLengths>(*Library, Dir.Path(""));
    Lengths->EntrySeconds("show.lst");
    Library->Settle();
    control::TControllerOptions options;
    options.ShowFolder = Dir.Path("");
    Controller = std::make_unique<control::TShowController>(Engine, Bus, Board, options);
    Host(Engine, *Controller);
  }
  ~TScheduledShow() override {
    Runner.reset();
    Controller->Shutdown();
    Engine.Shutdown();
  }

  static TInstant When(const std::string& time) { return test::At("UTC", "2024-06-01 " + time); }
  std::string File() const { return Dir.Path("schedule.json"); }
  void Start(const std::string& schedule, std::optional<TLocation> location = std::nullopt) {
    if (!schedule.empty()) Dir.WriteText("schedule.json", schedule);
    TScheduleRunnerOptions options;
    options.File = File();
    options.TimeZone = "UTC";
    options.Location = location;
    options.Clock = [this] { return Now; };
    options.OutOfTime = [this](std::chrono::steady_clock::time_point) { return ++CalendarSteps > CalendarBudget; };
    Runner = std::make_unique<TScheduleRunner>(Bus, *Controller, Board, *Lengths, options);
  }
  void PollAt(const std::string& time) {
    Now = When(time);
    Runner->Poll();
  }
  TCommandResult Run(const std::string& name, json args = json::object()) {
    return Bus.Run({name, std::move(args), TCommandSource::Http});
  }
  const control::TShowStatus& Show() const { return Controller->Status(); }
  json Section() const { return *Board.Current()->Sections.at("schedule"); }
};

TEST(ScheduleRunner, StartsAndStopsShowsThroughTheBusByItsClock) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "show.lst", "start": "18:00", "end": "18:10", "stop": "now"}]})");
  show.PollAt("17:59:59");
  EXPECT_EQ(show.Show().State, control::TPlayState::Idle);
  EXPECT_EQ(show.Section()["state"], "idle");
  EXPECT_EQ(show.Section()["next"]["start"], "2024-06-01T18:00:00+00:00");
  EXPECT_EQ(show.Section()["file"], show.File());

  show.PollAt("18:00:00");
  EXPECT_EQ(show.Show().State, control::TPlayState::Playing);
  EXPECT_EQ(show.Show().File, "show.lst");
  EXPECT_EQ(show.Show().StartedBy, "schedule");
  EXPECT_EQ(show.Show().Entry, 1);
  EXPECT_EQ(show.Section()["state"], "playing");
  EXPECT_EQ(show.Section()["now"]["play"], "show.lst");
  EXPECT_EQ(show.Section()["now"]["reason"], "scheduled");
  EXPECT_EQ(show.Section()["next"]["start"], "2024-06-02T18:00:00+00:00");

  show.PollAt("18:09:59");
  EXPECT_EQ(show.Show().State, control::TPlayState::Playing);
  show.PollAt("18:10:00");
  EXPECT_EQ(show.Show().State, control::TPlayState::Idle);
  EXPECT_EQ(show.Section()["state"], "idle");
}

// A list due since 18:00 and started at 18:00:25 begins where it would
// stand: 25 s into passes of 18 s is 7 s into the pass, inside b.tol.
TEST(ScheduleRunner, AListStartedLateStartsAtItsEntryByTheMeasuredLengths) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "show.lst", "start": "18:00", "end": "19:00"}]})");
  show.PollAt("18:00:25");
  EXPECT_EQ(show.Show().Entry, 2);
  EXPECT_EQ(show.Section()["now"]["reason"], "started late, where its list would be");
}

TEST(ScheduleRunner, AProtectedShowStartedByHandHoldsTheScheduleBack) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "show.lst", "start": "18:00", "end": "19:00"}], "protect-manual": false})");
  show.PollAt("17:30:00");
  ASSERT_TRUE(show.Run("play", {{"file", "c.tol"}, {"protect", true}}).Done);
  EXPECT_TRUE(show.Show().Protected);
  show.PollAt("18:00:00");
  EXPECT_EQ(show.Show().File, "c.tol");
  EXPECT_EQ(show.Section()["state"], "held-back");
  EXPECT_EQ(show.Section()["held-back"]["play"], "show.lst");

  // Ended by hand, the stage goes to the entry held back at once: the
  // change of what plays ticks the schedule within the same second.
  ASSERT_TRUE(show.Run("stop").Done);
  show.Runner->Poll();
  EXPECT_EQ(show.Show().File, "show.lst");
  EXPECT_EQ(show.Show().StartedBy, "schedule");

  // Unprotected (the schedule's choice here), a show by hand gives way at
  // the schedule's next change.
  ASSERT_TRUE(show.Run("play", {{"file", "c.tol"}}).Done);
  EXPECT_FALSE(show.Show().Protected);
  show.PollAt("18:30:00");
  EXPECT_EQ(show.Section()["state"], "by-hand");
}

TEST(ScheduleRunner, ASchedulesCommandRunsOnTheBusAtItsTime) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"command": "brightness", "args": {"percent": 40}, "start": "21:30"}]})");
  show.PollAt("21:29:59");
  EXPECT_EQ(show.Show().Brightness, 100);
  show.PollAt("21:30:00");
  EXPECT_EQ(show.Show().Brightness, 40);
  EXPECT_EQ(show.Section()["last-command"]["command"], "brightness");
}

// Every refusal names the entry and the field, and changes nothing: not
// the file, not the schedule in use.
TEST(ScheduleRunner, APutScheduleIsCheckedEntryByEntry) {
  struct TCase {
    std::string Body;
    const char* Argument;
    const char* Error;
  };
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const TCase cases[] = {
      {R"({"entries": [{"play": "show.lst", "start": "25:00", "end": "26:00"}]})", "entries", "entries[0].start: \"25:00\" is neither"},
      {R"({"entries": [{"command": "dance", "start": "18:00"}]})", "entries", "entries[0].command: \"dance\" is no command of the player"},
      {R"({"entries": [{"command": "brightness", "args": {"percent": 200}, "start": "18:00"}]})", "entries",
       "entries[0].args.percent: must be from 0 to 100"},
      {R"({"entries": [{"command": "brightness", "start": "18:00"}]})", "entries", "entries[0].args.percent: is required"},
      {R"({"entries": [{"command": "schedule-next", "start": "18:00"}]})", "entries",
       "entries[0].command: the schedule does not run its own commands"},
      {R"({"entries": [{"command": "play", "args": {"file": "c.tol"}, "start": "18:00"}]})", "entries",
       "entries[0].command: a show is played by an entry's \"play\""},
      {R"({"entries": [{"play": "show.lst", "start": "sunset", "end": "23:00"}]})", "entries",
       "entries[0].start: a time by the sun needs the schedule's \"location\""},
      {R"({"entries": [{"play": "show.lst", "start": )" + deep + R"(, "end": "23:00"}]})", "entries",
       "entries[0]: nests deeper than 64 levels"},
      {R"({"timezone": "Mars/Olympus"})", "timezone", "timezone: \"Mars/Olympus\" is not a time zone"},
      {R"({"entries": 3})", "entries", "must be a list"},
      {R"({"entrys": []})", "entrys", "is not an argument of \"schedule-put\""},
  };
  TScheduledShow show;
  show.Start("");
  const json before = show.Run("schedule-get").Data;
  for (const TCase& c : cases) {
    const TCommandResult result = show.Run("schedule-put", json::parse(c.Body));
    EXPECT_FALSE(result.Done) << c.Body.substr(0, 120);
    EXPECT_EQ(result.Argument, c.Argument) << c.Body.substr(0, 120);
    EXPECT_TRUE(result.Error.starts_with(c.Error)) << result.Error;
  }
  EXPECT_FALSE(std::filesystem::exists(show.File()));
  EXPECT_EQ(show.Run("schedule-get").Data, before);
}

// The file keeps what was put, in its own words; the configuration's place
// and zone fill in for the schedule but are not written into it.
TEST(ScheduleRunner, APutScheduleIsKeptInItsFileAndTakenAtOnce) {
  TScheduledShow show;
  show.Start("", TLocation{52.52, 13.405});
  show.PollAt("18:00:00");
  const json put = {{"entries", {{{"play", "show.lst"}, {"start", "sunset"}, {"end", "23:00"}, {"name", "Evening"}},
                                 {{"play", "c.tol"}, {"start", "17:00"}, {"end", "19:00"}, {"days", {"sat", "mon"}}}}}};
  const TCommandResult result = show.Run("schedule-put", put);
  ASSERT_TRUE(result.Done) << result.Error;
  const json stored = json::parse(lumora::test::ReadText(show.File()));
  EXPECT_EQ(stored, result.Data);
  EXPECT_EQ(stored, show.Run("schedule-get").Data);
  EXPECT_FALSE(stored.contains("location"));
  EXPECT_FALSE(stored.contains("timezone"));
  EXPECT_EQ(stored["entries"][1]["days"], json({"mon", "sat"}));
  EXPECT_EQ(stored["entries"][0]["repeat"], "loop");
  // 2024-06-01 is a Saturday: c.tol's entry is on at once.
  EXPECT_EQ(show.Show().File, "c.tol");
  EXPECT_EQ(show.Runner->Schedule().Location, (TLocation{52.52, 13.405}));

  TScheduledShow again;
  again.Dir.WriteText("schedule.json", stored.dump());
  again.Start("", TLocation{52.52, 13.405});
  EXPECT_EQ(again.Run("schedule-get").Data, stored);
}

TEST(ScheduleRunner, EntriesAreEnabledDisabledAndDeletedByIndex) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "show.lst", "start": "18:00", "end": "19:00", "stop": "now"},
                             {"play": "c.tol", "start": "20:00", "end": "21:00"}]})");
  show.PollAt("18:10:00");
  ASSERT_EQ(show.Show().File, "show.lst");

  const TCommandResult outside = show.Run("schedule-enable", {{"entry", 2}, {"on", false}});
  EXPECT_EQ(outside.Argument, "entry");
  EXPECT_EQ(outside.Error, "the schedule has 2 entries");

  ASSERT_TRUE(show.Run("schedule-enable", {{"entry", 0}, {"on", false}}).Done);
  EXPECT_EQ(json::parse(lumora::test::ReadText(show.File()))["entries"][0]["enabled"], false);
  show.PollAt("18:10:01");
  EXPECT_EQ(show.Show().StopAt, "entry") << "a disabled entry's show ends as entries end";
  ASSERT_TRUE(show.Run("schedule-enable", {{"entry", 0}, {"on", true}}).Done);

  ASSERT_TRUE(show.Run("schedule-delete", {{"entry", 0}}).Done);
  const json stored = json::parse(lumora::test::ReadText(show.File()));
  ASSERT_EQ(stored["entries"].size(), 1u);
  EXPECT_EQ(stored["entries"][0]["play"], "c.tol");
  EXPECT_EQ(show.Section()["next"]["play"], "c.tol");
}

TEST(ScheduleRunner, StartNextAndExtendByHand) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "show.lst", "start": "18:00", "end": "19:00", "stop": "now"},
                             {"play": "c.tol", "start": "20:00", "end": "21:00", "stop": "now"}]})");
  show.PollAt("18:30:00");
  const TCommandResult extended = show.Run("schedule-extend", {{"minutes", 30}});
  ASSERT_TRUE(extended.Done) << extended.Error;
  EXPECT_EQ(extended.Data["now"]["end"], "2024-06-01T19:30:00+00:00");
  show.PollAt("19:29:59");
  EXPECT_EQ(show.Show().File, "show.lst");
  show.PollAt("19:30:00");
  EXPECT_EQ(show.Show().State, control::TPlayState::Idle);
  EXPECT_EQ(show.Run("schedule-extend", {{"minutes", 5}}).Error, "no entry of the schedule is playing");

  show.PollAt("19:40:00");
  const TCommandResult next = show.Run("schedule-next");
  ASSERT_TRUE(next.Done) << next.Error;
  EXPECT_EQ(show.Show().File, "c.tol");
  EXPECT_EQ(show.Section()["now"]["reason"], "started early by hand");
  EXPECT_EQ(show.Section()["now"]["end"], "2024-06-01T21:00:00+00:00");
}

// From now to the end of the 14th day: today's 18:00 and 13 more.
TEST(ScheduleRunner, TheRangeCoversTheDaysAsked) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "c.tol", "start": "18:00", "end": "18:05", "stop": "now"}]})");
  show.PollAt("12:00:00");
  const TCommandResult range = show.Run("schedule-range");
  ASSERT_TRUE(range.Done) << range.Error;
  EXPECT_EQ(range.Data["from"], "2024-06-01T12:00:00+00:00");
  EXPECT_EQ(range.Data["to"], "2024-06-15T00:00:00+00:00");
  ASSERT_EQ(range.Data["items"].size(), 14u);
  EXPECT_EQ(range.Data["items"][13]["start"], "2024-06-14T18:00:00+00:00");
  EXPECT_EQ(show.Run("schedule-range", {{"days", 2}}).Data["items"].size(), 2u);
  EXPECT_EQ(show.Run("schedule-range", {{"days", kMaxRangeDays + 1}}).Argument, "days");
}

// A calendar that takes longer than its time on the engine's thread is cut
// short and says so.
TEST(ScheduleRunner, ACalendarOutOfTimeIsCutShortAndSaysSo) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "c.tol", "start": "18:00", "end": "18:05", "stop": "now"}]})");
  show.PollAt("12:00:00");
  EXPECT_EQ(show.Run("schedule-range").Data["complete"], true);
  show.CalendarSteps = 0;
  show.CalendarBudget = 8;
  const json cut = show.Run("schedule-range").Data;
  EXPECT_EQ(cut["complete"], false);
  EXPECT_GE(cut["items"].size(), 1u);
  EXPECT_LT(cut["items"].size(), 14u);
}

// The status is published when it changes, not at every poll.
TEST(ScheduleRunner, TheStatusIsPublishedOnlyWhenItChanges) {
  TScheduledShow show;
  show.Start(R"({"entries": [{"play": "c.tol", "start": "18:00", "end": "18:05"}]})");
  show.PollAt("17:00:00");
  const std::uint64_t sequence = show.Board.Current()->Sequence;
  show.PollAt("17:00:01");
  show.PollAt("17:00:02");
  EXPECT_EQ(show.Board.Current()->Sequence, sequence);
  show.PollAt("18:00:00");
  EXPECT_GT(show.Board.Current()->Sequence, sequence);
}

TEST(ScheduleRunner, ABadFileIsRefusedNamingItAndTheEntry) {
  TScheduledShow show;
  EXPECT_THROW(
      {
        try {
          show.Start(R"({"entries": [{"command": "volume", "args": {"percent": "loud"}, "start": "18:00"}]})");
        } catch (const TLoadError& error) {
          EXPECT_EQ(std::string(error.what()), show.File() + ": entries[0].args.percent: must be a whole number");
          throw;
        }
      },
      TLoadError);
  show.Dir.WriteText("schedule.json", "{\"entries\": [");
  EXPECT_THROW(show.Start(""), TLoadError);
}

}  // namespace
}  // namespace lumora::schedule

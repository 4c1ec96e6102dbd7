#include "schedule/scheduler.h"

#include <gtest/gtest.h>

#include <memory>

#include "schedule/fake_player.h"

namespace lumora::schedule {
namespace {

using nlohmann::json;
using std::chrono::minutes;

// The scheduler on a fake player in UTC, ticked at the moments asked for
// and at every moment it or the player has something due in between.
class TRig {
 public:
  explicit TRig(const char* entries, const std::map<std::string, std::vector<double>>& lengths = {}) {
    Player.Lengths = lengths;
    Scheduler = std::make_unique<TScheduler>(ReadSchedule(json::parse(std::string(R"({"timezone": "UTC", "entries": )") + entries + "}")),
                                             Player, Player);
    Scheduler->SetStartObserver([this](const TScheduledStart& start) { Starts.push_back(start); });
  }

  // Runs to `local` ("HH:MM:SS" on 2024-06-01, or a full date and time).
  void RunTo(const std::string& local) {
    const TInstant until = When(local);
    while (true) {
      Player.AdvanceTo(fNow);
      Scheduler->Tick(fNow);
      if (fNow >= until) return;
      TInstant next = std::min(Scheduler->NextWakeUp(fNow), until);
      if (const auto event = Player.NextEvent()) next = std::min(next, *event);
      fNow = std::max(next, fNow + std::chrono::seconds{1});
    }
  }
  void StartAt(const std::string& local) { fNow = When(local); }
  TInstant Now() const { return fNow; }
  static TInstant When(const std::string& local) {
    return test::At("UTC", local.size() <= 8 ? "2024-06-01 " + local : local);
  }
  // The calls made since the last look.
  std::string Calls() {
    std::string text;
    for (const std::string& call : Player.Log) text += (text.empty() ? "" : "; ") + call;
    Player.Log.clear();
    return text;
  }

  test::TFakePlayer Player;
  std::unique_ptr<TScheduler> Scheduler;
  std::vector<TScheduledStart> Starts;

 private:
  TInstant fNow = When("12:00:00");
};

// A higher entry stops a lower one the lower one's way and starts when it
// has stopped; when the higher one ends the lower one comes back where its
// list would stand had it played all along.
TEST(Scheduler, HigherPriorityInterruptsAndTheLowerResumesInItsPlace) {
  TRig rig(R"([
      {"play": "low.lst", "start": "18:00", "end": "23:00", "stop": "entry"},
      {"play": "high.ctl", "start": "19:00", "end": "19:45", "stop": "now", "priority": 5}])",
           {{"low.lst", {700, 500, 600}}, {"high.ctl", {300}}});
  rig.RunTo("18:59:59");
  EXPECT_EQ(rig.Calls(), "play low.lst 1 0");
  rig.RunTo("19:00:00");
  EXPECT_EQ(rig.Calls(), "stop entry");
  EXPECT_EQ(rig.Scheduler->Status(rig.Now())["state"], "stopping");
  // Two passes of 30 minutes end at 19:00; the first entry then plays to
  // 19:11:40.
  rig.RunTo("19:11:39");
  EXPECT_EQ(rig.Calls(), "");
  rig.RunTo("19:11:40");
  EXPECT_EQ(rig.Calls(), "play high.ctl 1 0");
  rig.RunTo("19:45:00");
  // 105 minutes after 18:00 the list is 15 minutes into a pass: entry 2.
  EXPECT_EQ(rig.Calls(), "stop now; play low.lst 2 0");
  rig.RunTo("23:00:00");
  EXPECT_EQ(rig.Calls(), "stop entry");
  ASSERT_EQ(rig.Starts.size(), 3u);
  EXPECT_EQ(rig.Starts[1].At, TRig::When("19:11:40"));
  EXPECT_EQ(rig.Starts[1].Start, TRig::When("19:00:00"));
  EXPECT_EQ(rig.Starts[2].Play, (TPlayRequest{"low.lst", 2, 0}));
}

TEST(Scheduler, EqualPrioritiesTheEarlierStartWinsAndTheLaterWaits) {
  TRig rig(R"([
      {"play": "b.lst", "start": "19:00", "end": "21:00"},
      {"play": "a.lst", "start": "18:00", "end": "20:00", "stop": "now"}])");
  rig.RunTo("19:30:00");
  EXPECT_EQ(rig.Calls(), "play a.lst 1 0");
  rig.RunTo("20:00:00");
  EXPECT_EQ(rig.Calls(), "stop now; play b.lst 1 0");
  rig.RunTo("21:00:00");
  EXPECT_EQ(rig.Calls(), "stop entry");
}

// At its end a run stops its own way: at once, when the list's entry ends,
// or when its pass ends.
TEST(Scheduler, EachStopKindAtTheEndTime) {
  struct TCase {
    const char* Stop;
    const char* Call;
    const char* Dark;
  };
  const TCase cases[] = {{"now", "stop now", "18:25:00"}, {"entry", "stop entry", "18:30:00"}, {"pass", "stop pass", "18:40:00"}};
  for (const TCase& c : cases) {
    TRig rig((std::string(R"([{"play": "list.lst", "start": "18:00", "end": "18:25", "stop": ")") + c.Stop + "\"}]").c_str(),
             {{"list.lst", {600, 600}}});
    rig.RunTo("18:25:00");
    EXPECT_EQ(rig.Calls(), std::string("play list.lst 1 0; ") + c.Call) << c.Stop;
    const TInstant dark = TRig::When(c.Dark);
    rig.Player.AdvanceTo(dark - std::chrono::seconds{1});
    EXPECT_EQ(rig.Player.Stage().Occupied(), std::string(c.Stop) != "now") << c.Stop;
    rig.Player.AdvanceTo(dark);
    EXPECT_FALSE(rig.Player.Stage().Occupied()) << c.Stop;
  }
}

TEST(Scheduler, AProtectedShowStartedByHandHoldsTheScheduleBack) {
  TRig rig(R"([{"play": "evening.lst", "start": "18:00", "end": "22:00"}])", {{"evening.lst", {900, 900}}});
  rig.RunTo("17:50:00");
  rig.Player.StartByHand("own.ctl", std::nullopt);
  rig.RunTo("18:30:00");
  EXPECT_EQ(rig.Calls(), "");
  const json status = rig.Scheduler->Status(rig.Now());
  EXPECT_EQ(status["state"], "held-back");
  EXPECT_EQ(status["held-back"]["play"], "evening.lst");
  // When it ends, the schedule shows what it held back, where it would be.
  rig.RunTo("18:50:00");
  rig.Player.StopByHand();
  rig.RunTo("18:50:00");
  EXPECT_EQ(rig.Calls(), "play evening.lst 2 0");
}

// An unprotected show started by hand gives way at the schedule's next
// change, not before.
TEST(Scheduler, AnUnprotectedShowStartedByHandGivesWayAtTheNextChange) {
  TRig rig(R"([
      {"play": "evening.lst", "start": "18:00", "end": "22:00"},
      {"play": "late.lst", "start": "20:00", "end": "22:00", "priority": 1}])");
  rig.RunTo("18:10:00");
  rig.Player.StartByHand("own.ctl", false);
  rig.RunTo("19:59:59");
  EXPECT_EQ(rig.Calls(), "play evening.lst 1 0");
  rig.RunTo("20:00:00");
  EXPECT_EQ(rig.Calls(), "play late.lst 1 0");
}

// The scheduled show started early by hand is taken as the run: not started
// again from its top at its time, and stopped at its end.
TEST(Scheduler, AShowStartedEarlyByHandIsNotRestartedAtItsTime) {
  TRig rig(R"([{"play": "evening.lst", "start": "18:00", "end": "22:00", "stop": "now"}])");
  rig.RunTo("17:55:00");
  rig.Player.StartByHand("evening.lst", true);
  rig.RunTo("21:59:59");
  EXPECT_EQ(rig.Calls(), "");
  EXPECT_EQ(rig.Scheduler->Status(rig.Now())["now"]["reason"], "taken over from a show started by hand");
  rig.RunTo("22:00:00");
  EXPECT_EQ(rig.Calls(), "stop now");
}

// Ending a run early goes on to what comes next; it never starts the same
// run again, nor a list played once that ended by itself.
TEST(Scheduler, EndingEarlyGoesToWhatComesNext) {
  TRig rig(R"([
      {"play": "low.lst", "start": "18:00", "end": "23:00"},
      {"play": "high.lst", "start": "19:00", "end": "20:00", "priority": 5, "stop": "now"},
      {"play": "once.ctl", "start": "23:10", "end": "23:50", "repeat": "once"}])",
           {{"once.ctl", {600}}});
  rig.RunTo("19:10:00");
  EXPECT_EQ(rig.Calls(), "play low.lst 1 0; stop entry; play high.lst 1 0");
  rig.Player.StopByHand();
  rig.RunTo("19:10:00");
  EXPECT_EQ(rig.Calls(), "play low.lst 1 0");
  rig.RunTo("20:30:00");
  EXPECT_EQ(rig.Calls(), "");
  rig.Player.StopByHand();
  rig.RunTo("23:49:00");
  EXPECT_EQ(rig.Calls(), "play once.ctl 1 1");
  EXPECT_FALSE(rig.Player.Stage().Occupied());
}

TEST(Scheduler, ExtendMovesTheEndOfTheRunOnStage) {
  TRig rig(R"([{"play": "evening.lst", "start": "18:00", "end": "20:00", "stop": "now"}])");
  EXPECT_EQ(rig.Scheduler->Extend(rig.Now(), minutes{30}), "no entry of the schedule is playing");
  rig.RunTo("19:00:00");
  EXPECT_EQ(rig.Scheduler->Extend(rig.Now(), minutes{30}), "");
  EXPECT_EQ(rig.Scheduler->Extend(rig.Now(), minutes{15}), "");
  rig.RunTo("20:44:59");
  EXPECT_EQ(rig.Calls(), "play evening.lst 1 0");
  EXPECT_EQ(rig.Scheduler->Status(rig.Now())["now"]["end"], "2024-06-01T20:45:00+00:00");
  rig.RunTo("20:45:00");
  EXPECT_EQ(rig.Calls(), "stop now");

  TRig sooner(R"([{"play": "evening.lst", "start": "18:00", "end": "20:00", "stop": "now"}])");
  sooner.RunTo("19:00:00");
  EXPECT_EQ(sooner.Scheduler->Extend(sooner.Now(), minutes{-90}), "");
  EXPECT_EQ(sooner.Calls(), "play evening.lst 1 0; stop now");
  sooner.RunTo("20:30:00");
  EXPECT_EQ(sooner.Calls(), "");
}

TEST(Scheduler, StartNextStartsTheNextItemNowAndNotAgainAtItsTime) {
  TRig rig(R"([
      {"play": "a.lst", "start": "18:00", "end": "19:00"},
      {"play": "b.lst", "start": "19:00", "end": "20:00"}])");
  rig.RunTo("18:30:00");
  EXPECT_EQ(rig.Scheduler->StartNext(rig.Now()), "");
  EXPECT_EQ(rig.Calls(), "play a.lst 1 0; stop now; play b.lst 1 0");
  EXPECT_EQ(rig.Scheduler->Status(rig.Now())["now"]["reason"], "started early by hand");
  rig.RunTo("19:59:59");
  EXPECT_EQ(rig.Calls(), "");
  rig.RunTo("20:00:00");
  EXPECT_EQ(rig.Calls(), "stop entry");

  TRig commands(R"([{"command": "blackout", "args": {"on": true}, "start": "18:45"}])");
  commands.RunTo("18:30:00");
  EXPECT_EQ(commands.Scheduler->StartNext(commands.Now()), "");
  EXPECT_EQ(commands.Calls(), "command blackout {\"on\":true}");
  commands.RunTo("19:30:00");
  EXPECT_EQ(commands.Calls(), "");
  EXPECT_EQ(commands.Scheduler->Status(commands.Now())["next"]["start"], "2024-06-02T18:45:00+00:00");
}

// After a restart the show that should play starts at once, at the entry
// of its list it would be at, from that entry's start; a command missed by
// up to a minute still runs.
TEST(Scheduler, AfterARestartWhatShouldPlayStartsAtOnceInItsPlace) {
  const char* entries = R"([
      {"play": "evening.lst", "start": "18:00", "end": "22:00"},
      {"play": "early.lst", "start": "17:00", "end": "21:00", "repeat": "once", "priority": 9},
      {"command": "brightness", "args": {"percent": 40}, "start": "19:19:30"},
      {"command": "volume", "args": {"percent": 20}, "start": "19:18:50"}])";
  const std::map<std::string, std::vector<double>> lengths{{"evening.lst", {600, 1200, 300}}, {"early.lst", {3600}}};
  TRig rig(entries, lengths);
  rig.StartAt("19:20:00");
  rig.RunTo("19:20:00");
  // 80 minutes into 35-minute passes: 10 minutes into a pass, entry 2.
  EXPECT_EQ(rig.Calls(), "command brightness {\"percent\":40}; play evening.lst 2 0");
  EXPECT_EQ(rig.Scheduler->Status(rig.Now())["now"]["reason"], "started late, where its list would be");
}

TEST(Scheduler, RepeatEveryNMinutesStartsTheShowAgain) {
  TRig rig(R"([{"play": "count.ctl", "start": "19:00", "end": "21:00", "repeat": 30, "stop": "now"}])", {{"count.ctl", {120}}});
  rig.RunTo("21:30:00");
  EXPECT_EQ(rig.Calls(), "play count.ctl 1 1; play count.ctl 1 1; play count.ctl 1 1; play count.ctl 1 1");
  ASSERT_EQ(rig.Starts.size(), 4u);
  EXPECT_EQ(rig.Starts[3].At, TRig::When("20:30:00"));
  EXPECT_EQ(rig.Starts[3].Start, TRig::When("20:30:00"));
}

// A show that cannot start is reported once and the next in line plays.
TEST(Scheduler, AShowThatCannotStartIsReportedAndSkipped) {
  TRig rig(R"([
      {"play": "missing.lst", "start": "18:00", "end": "20:00", "priority": 1},
      {"play": "backup.lst", "start": "18:00", "end": "20:00"}])");
  rig.Player.PlayFaults["missing.lst"] = "no such show";
  rig.RunTo("18:00:00");
  EXPECT_EQ(rig.Calls(), "play missing.lst 1 0; play backup.lst 1 0");
  rig.RunTo("19:00:00");
  EXPECT_EQ(rig.Calls(), "");
  const json warnings = rig.Scheduler->Status(rig.Now())["warnings"];
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0]["message"], "entries[0]: cannot play \"missing.lst\": no such show");
}

// A new schedule keeps what was ended by hand for the entries it keeps.
TEST(Scheduler, ANewScheduleKeepsWhatWasEndedByHand) {
  TRig rig(R"([{"play": "evening.lst", "start": "18:00", "end": "22:00"}])");
  rig.RunTo("18:30:00");
  rig.Player.StopByHand();
  rig.RunTo("18:31:00");
  rig.Scheduler->SetSchedule(ReadSchedule(json::parse(R"({"timezone": "UTC", "entries": [
      {"play": "morning.lst", "start": "08:00", "end": "09:00"},
      {"play": "evening.lst", "start": "18:00", "end": "22:00"}]})")));
  rig.RunTo("21:00:00");
  EXPECT_EQ(rig.Calls(), "play evening.lst 1 0");
}

}  // namespace
}  // namespace lumora::schedule

// The follower's decisions under an injected clock: case by case, and a
// leader and a follower whose clocks run 2 % apart, simulated tick by tick
// for ten minutes of show, that stay within a frame of each other, also
// after the follower is restarted mid-show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sync/follower.h"
#include "sync/leader_schedule.h"

namespace lumora::sync {
namespace {

using namespace std::chrono_literals;

constexpr double kTick = 0.03;
const std::vector<std::string> kFolder = {"show.ctl", "other.lst", "grid.tol", "readme.txt"};

TShowLookup folderLookup() {
  return [](std::string_view name) { return MatchShowByStem(name, kFolder); };
}

TSyncTime at(double seconds) {
  return TSyncTime(std::chrono::duration_cast<TSyncClock::duration>(std::chrono::duration<double>(seconds)));
}

TSyncPacket sync(std::uint32_t frame, const std::string& file = "show.fseq") {
  return {TSyncAction::Sync, TSyncFileType::Sequence, frame, static_cast<float>(frame * kTick), file};
}

TFollowerLocal local(double position, const std::string& show = "show.ctl") { return {true, show, position, kTick}; }

TEST(Follower, Decisions) {
  using A = TFollowerAction;
  const struct {
    const char* What;
    TFollowerLocal Local;
    double HeardAgo;
    double OffsetMs;
    A Action;
    double Factor;
    std::int64_t Frame;
  } cases[] = {
      {"in step", local(100), 0, 0, A::Follow, 1, 0},
      {"half a frame behind", local(99.5), 0, 0, A::Follow, 0.95, 0},
      {"a frame and a half behind: the full slew", local(98.5), 0, 0, A::Follow, 0.9, 0},
      {"a frame ahead", local(101), 0, 0, A::Follow, 1.1, 0},
      {"two frames ahead still follows", local(102), 0, 0, A::Follow, 1.1, 0},
      {"three frames ahead holds", local(103), 0, 0, A::Hold, 1, 0},
      {"16 frames behind (0.48 s) slews", local(84), 0, 0, A::Follow, 0.9, 0},
      {"17 frames behind (0.51 s) jumps", local(83), 0, 0, A::Seek, 1, 100},
      {"far ahead jumps back", local(200), 0, 0, A::Seek, 1, 100},
      {"the leader went on 0.3 s since it was heard", local(100), 0.3, 0, A::Follow, 0.9, 0},
      {"60 ms of offset puts the target 2 frames on", local(102), 0, 60, A::Follow, 1, 0},
      {"another show playing", local(100, "other.lst"), 0, 0, A::Start, 1, 100},
      {"nothing playing", TFollowerLocal{false, "", 0, kTick}, 0.15, 0, A::Start, 1, 105},
      {"the leader lost plays on alone", local(50), 6, 0, A::Follow, 1, 0},
  };
  for (const auto& c : cases) {
    TFollowerSettings settings;
    settings.OffsetMs = c.OffsetMs;
    TFollower follower(settings, folderLookup());
    follower.Heard(sync(100), at(10));
    const TFollowerDecision d = follower.Decide(c.Local, at(10 + c.HeardAgo));
    EXPECT_EQ(d.Action, c.Action) << c.What;
    EXPECT_NEAR(d.TickFactor, c.Factor, 1e-9) << c.What;
    EXPECT_EQ(d.Frame, c.Frame) << c.What;
    if (d.Action == A::Start) {
      EXPECT_EQ(d.Show, "show.ctl") << c.What;
    }
  }
}

// A looping show: a leader heard near the end has wrapped since, and the
// loop's last frame is one before its first, not a whole loop off.
TEST(Follower, AroundTheLoop) {
  const struct {
    double LeaderAgo;
    double Local;
    TFollowerAction Action;
    double Factor;
    std::int64_t Frame;
  } cases[] = {
      {0.06, 2999, TFollowerAction::Follow, 0.9, 0},  // 2998 + 2 is the first frame: one on, round the loop
      {0.21, 6, TFollowerAction::Follow, 1, 0},       // 2998 + 7 is frame 6 of the next loop
      {0, 1, TFollowerAction::Follow, 1.1, 0},        // the follower has wrapped, the leader not yet
      {3.0, 50, TFollowerAction::Seek, 1, 99},        // 2998 + 100 goes round to 99
  };
  for (const auto& c : cases) {
    TFollower follower({}, folderLookup());
    follower.Heard(sync(2998), at(10));
    TFollowerLocal looping = local(c.Local);
    looping.LoopFirst = 1;
    looping.LoopLast = 2999;
    const TFollowerDecision d = follower.Decide(looping, at(10 + c.LeaderAgo));
    EXPECT_EQ(d.Action, c.Action) << c.Local;
    EXPECT_NEAR(d.TickFactor, c.Factor, 1e-9) << c.Local;
    EXPECT_EQ(d.Frame, c.Frame) << c.Local;
  }
}

TEST(Follower, StartsStopsAndWarns) {
  TFollower follower({}, folderLookup());
  EXPECT_EQ(follower.Decide(local(5), at(1)).Action, TFollowerAction::Idle);
  follower.Heard({TSyncAction::Start, TSyncFileType::Sequence, 0, 0, "shows/other.fseq"}, at(1));
  const TFollowerDecision start = follower.Decide({false, "", 0, kTick}, at(1));
  EXPECT_EQ(start.Action, TFollowerAction::Start);
  EXPECT_EQ(start.Show, "other.lst");
  EXPECT_TRUE(follower.Status().LeaderHeard);
  EXPECT_EQ(follower.Status().LeaderFile, "shows/other.fseq");
  follower.Heard({TSyncAction::Stop, TSyncFileType::Sequence, 9, 0, "shows/other.fseq"}, at(2));
  EXPECT_EQ(follower.Decide(local(9, "other.lst"), at(2)).Action, TFollowerAction::Stop);
  // Stop is said once: a show started by hand afterwards plays on.
  EXPECT_EQ(follower.Decide(local(10, "other.lst"), at(2.1)).Action, TFollowerAction::Idle);
  follower.Heard(sync(0, "unknown.fseq"), at(3));
  EXPECT_EQ(follower.Decide(local(0), at(3)).Action, TFollowerAction::Idle);
  EXPECT_EQ(follower.Status().Warning, "no show in the show folder matches the leader's \"unknown.fseq\"");
  // An open packet announces a file and changes nothing.
  follower.Heard({TSyncAction::Open, TSyncFileType::Sequence, 0, 0, "show.fseq"}, at(3));
  EXPECT_EQ(follower.Decide(local(0), at(3)).Action, TFollowerAction::Idle);
  // A blank stops the show, once; the leader counts as heard then.
  follower.HeardBlank(at(4));
  EXPECT_EQ(follower.Decide(local(0), at(4.5)).Action, TFollowerAction::Blank);
  EXPECT_DOUBLE_EQ(follower.Status().HeardSecondsAgo, 0.5);
  EXPECT_EQ(follower.Decide(local(0), at(4.5)).Action, TFollowerAction::Idle);
}

TEST(Follower, Music) {
  const struct {
    double Local;
    double Rate;
    std::optional<double> Seek;
  } cases[] = {
      {10.2, 1, std::nullopt},     {10.19, 1, std::nullopt},  {10.0, 1.03, std::nullopt}, {10.1, 1.03, std::nullopt},
      {10.3, 0.97, std::nullopt},  {10.25, 0.985, std::nullopt}, {9.6, 1, 10.2},          {11.0, 1, 10.2},
  };
  for (const auto& c : cases) {
    TFollower follower({}, folderLookup());
    EXPECT_EQ(follower.DecideMusic(c.Local, at(1)).Rate, 1);
    follower.Heard({TSyncAction::Sync, TSyncFileType::Media, 0, 10.0f, "song.mp3"}, at(1));
    const TMusicDecision d = follower.DecideMusic(c.Local, at(1.2));
    EXPECT_NEAR(d.Rate, c.Rate, 1e-9) << c.Local;
    EXPECT_EQ(d.SeekSeconds.has_value(), c.Seek.has_value()) << c.Local;
    if (c.Seek) {
      EXPECT_NEAR(*d.SeekSeconds, *c.Seek, 1e-6) << c.Local;
    }
  }
}

TEST(Follower, Timecode) {
  TFollower follower({}, folderLookup());
  follower.HeardTimecode(10.0, at(5));
  const TFollowerDecision start = follower.Decide({false, "", 0, kTick}, at(5));
  EXPECT_EQ(start.Action, TFollowerAction::Start);
  EXPECT_EQ(start.Frame, 333);
  EXPECT_EQ(start.Show, "");
  // The loaded show follows whatever its name.
  EXPECT_EQ(follower.Decide(local(338, "any.ctl"), at(5.15)).Action, TFollowerAction::Follow);
  EXPECT_EQ(follower.Decide(local(338, "any.ctl"), at(5.6)).Action, TFollowerAction::Hold);
  follower.HeardTimecode(11.0, at(6));
  follower.TimecodeStopped();
  EXPECT_EQ(follower.Decide(local(366, "any.ctl"), at(6)).Action, TFollowerAction::Hold);
}

TEST(Follower, MatchShowByStem) {
  const struct {
    const char* Leader;
    std::optional<std::string> Show;
  } cases[] = {
      {"show.fseq", "show.ctl"},      {"show.mp3", "show.ctl"},      {"other.fseq", "other.lst"},
      {"grid.fseq", "grid.tol"},      {"show", "show.ctl"},          {"seq/show.fseq", "show.ctl"},
      {"../../show.fseq", "show.ctl"}, {"C:\\shows\\show.fseq", "show.ctl"}, {"readme.fseq", std::nullopt},
      {"", std::nullopt},             {".fseq", std::nullopt},       {"..", std::nullopt},
      {"sh\now.fseq", std::nullopt},  {"Show.fseq", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchShowByStem(c.Leader, kFolder), c.Show) << c.Leader;
}

// A leader and a follower on one timeline of real seconds. Each counts its
// ticks by its own clock, which runs at `rate` times real time; the leader's
// packets arrive 1 ms after it sends them.
struct TSimulation {
  TSimulation(double leaderRate, double followerRate) : LeaderRate(leaderRate), FollowerRate(followerRate) {}

  double LeaderRate, FollowerRate;
  double Now = 0;
  std::uint32_t LeaderFrame = 0;
  double LeaderNext = 0;
  TLeaderProgress LeaderBefore;
  std::unique_ptr<TFollower> Follower = std::make_unique<TFollower>(TFollowerSettings{}, folderLookup());
  TFollowerLocal Local{false, "", 0, kTick};
  double Factor = 1;
  double FollowerNext = 0;
  double WorstError = 0;
  // The follower's lag behind the leader's showing of the same frame, in
  // frames, summed over its ticks while measuring.
  double LagSum = 0;
  int LagCount = 0;
  // Seeks and holds while measuring: a loop in step needs none.
  int Jumps = 0;
  double MeasureFrom = 0;

  TSyncTime followerClock() const { return at(Now * FollowerRate); }

  void leaderTick() {
    TLeaderProgress now;
    now.Playing = true;
    now.File = "show.fseq";
    now.Frame = LeaderFrame;
    now.Seconds = LeaderFrame * kTick;
    for (const TSyncPacket& p : LeaderPackets(LeaderBefore, now)) Follower->Heard(p, at((Now + 0.001) * FollowerRate));
    LeaderBefore = now;
    ++LeaderFrame;
    LeaderNext += kTick / LeaderRate;
  }

  void followerTick() {
    if (Local.Playing) Local.Position += 1;
    if (Local.Playing && Now >= MeasureFrom) {
      const double leaderTick = kTick / LeaderRate;
      LagSum += (Now - Local.Position * leaderTick) / leaderTick;
      ++LagCount;
    }
    const TFollowerDecision d = Follower->Decide(Local, followerClock());
    switch (d.Action) {
      case TFollowerAction::Follow: Factor = d.TickFactor; break;
      case TFollowerAction::Seek:
        Local.Position = static_cast<double>(d.Frame);
        Jumps += Now >= MeasureFrom;
        break;
      case TFollowerAction::Start: Local = {true, d.Show, static_cast<double>(d.Frame), kTick}; break;
      case TFollowerAction::Hold:
        Local.Position -= 1;
        Jumps += Now >= MeasureFrom;
        break;
      case TFollowerAction::Stop:
      case TFollowerAction::Blank: Local.Playing = false; break;
      case TFollowerAction::Idle: break;
    }
    FollowerNext += kTick * Factor / FollowerRate;
  }

  // Runs until `until` real seconds, measuring from `measureFrom` on the
  // frames each shows at every tick of either.
  void Run(double until, double measureFrom) {
    MeasureFrom = measureFrom;
    WorstError = 0;
    LagSum = 0;
    LagCount = 0;
    Jumps = 0;
    while (Now < until) {
      Now = std::min(LeaderNext, FollowerNext);
      if (LeaderNext <= FollowerNext) leaderTick();
      else followerTick();
      const double shown = static_cast<double>(LeaderFrame) - 1;
      if (Now >= measureFrom && Local.Playing) WorstError = std::max(WorstError, std::abs(shown - Local.Position));
    }
  }

  void RestartFollower() {
    Follower = std::make_unique<TFollower>(TFollowerSettings{}, folderLookup());
    Local = {false, "", 0, kTick};
    Factor = 1;
  }
};

TEST(Follower, ClocksTwoPercentApartStayWithinAFrame) {
  const std::pair<double, double> rates[] = {{1.02, 1.0}, {0.98, 1.0}, {1.0, 1.02}, {1.0, 0.98}, {1.02, 0.98}};
  for (const auto& [leader, follower] : rates) {
    TSimulation s{leader, follower};
    s.Run(600, 2);
    EXPECT_LE(s.WorstError, 1.0) << "leader clock " << leader << ", follower clock " << follower;
    EXPECT_LT(std::abs(s.LagSum / s.LagCount), 0.05) << "on the leader's frame, not a part of one off it: leader clock "
                                                    << leader << ", follower clock " << follower;
    EXPECT_EQ(s.Jumps, 0) << "leader clock " << leader << ", follower clock " << follower;
    // Killed and restarted mid-show, it is back in step within a second.
    s.RestartFollower();
    s.Run(s.Now + 60, s.Now + 1);
    EXPECT_LE(s.WorstError, 1.0) << "after a restart, leader clock " << leader << ", follower clock " << follower;
  }
}

}  // namespace
}  // namespace lumora::sync

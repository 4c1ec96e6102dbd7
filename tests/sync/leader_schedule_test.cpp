// The leader's packets over a show played frame by frame, with skips,
// seeks, music and a change of show; the follower list as given on the
// command line; the addresses a leader sends to (computed, never sent to).
#include <gtest/gtest.h>

#include <vector>

#include "sync/leader_schedule.h"

namespace lumora::sync {
namespace {

TLeaderProgress playing(std::uint32_t frame, const std::string& file = "show.ctl") {
  TLeaderProgress p;
  p.Playing = true;
  p.File = file;
  p.Frame = frame;
  p.Seconds = frame * 0.03;
  return p;
}

TLeaderProgress withMusic(TLeaderProgress p, double seconds) {
  p.MusicPlaying = true;
  p.MusicFile = "song.mp3";
  p.MusicSeconds = seconds;
  return p;
}

TEST(LeaderSchedule, FrameSyncsOfAShowPlayedThrough) {
  std::vector<std::uint32_t> syncs;
  TLeaderProgress before;
  for (std::uint32_t frame = 0; frame <= 100; ++frame) {
    const TLeaderProgress now = playing(frame);
    for (const TSyncPacket& p : LeaderPackets(before, now)) {
      if (p.Action == TSyncAction::Start) {
        EXPECT_EQ(frame, 0u);
      }
      if (p.Action == TSyncAction::Sync) syncs.push_back(p.Frame);
      EXPECT_EQ(p.FileName, "show.ctl");
      EXPECT_EQ(p.FileType, TSyncFileType::Sequence);
    }
    before = now;
  }
  EXPECT_EQ(syncs, (std::vector<std::uint32_t>{4, 8, 12, 16, 20, 24, 28, 40, 50, 60, 70, 80, 90, 100}));
  const auto stop = LeaderPackets(before, TLeaderProgress{});
  ASSERT_EQ(stop.size(), 1u);
  EXPECT_EQ(stop[0], (TSyncPacket{TSyncAction::Stop, TSyncFileType::Sequence, 100, 3.0f, "show.ctl"}));
}

TEST(LeaderSchedule, Steps) {
  using A = TSyncAction;
  const struct {
    const char* What;
    TLeaderProgress Before, Now;
    std::vector<A> Actions;
  } cases[] = {
      {"a skipped tick still crosses 8", playing(5), playing(9), {A::Sync}},
      {"between sync frames", playing(41), playing(49), {}},
      {"no step", playing(40), playing(40), {}},
      {"a seek back", playing(300), playing(12), {A::Sync}},
      {"a loop to the start", playing(999), playing(0), {A::Sync}},
      {"the last frame of a 32-bit count", playing(4294967290u), playing(4294967295u), {}},
      {"another show", playing(50, "a.ctl"), playing(0, "b.ctl"), {A::Stop, A::Start}},
      {"stopped stays quiet", TLeaderProgress{}, TLeaderProgress{}, {}},
      {"music starts with the show", TLeaderProgress{}, withMusic(playing(0), 0), {A::Start, A::Start}},
      {"a half second of music", withMusic(playing(16), 0.49), withMusic(playing(17), 0.51), {A::Sync}},
      {"music within a half second", withMusic(playing(17), 0.51), withMusic(playing(18), 0.54), {}},
      {"music and frames together", withMusic(playing(39), 1.49), withMusic(playing(40), 1.5), {A::Sync, A::Sync}},
      {"music ends", withMusic(playing(50), 1.5), playing(51), {A::Stop}},
      {"show and music stop", withMusic(playing(50), 1.5), TLeaderProgress{}, {A::Stop, A::Stop}},
  };
  for (const auto& c : cases) {
    std::vector<A> actions;
    for (const TSyncPacket& p : LeaderPackets(c.Before, c.Now)) actions.push_back(p.Action);
    EXPECT_EQ(actions, c.Actions) << c.What;
  }
  const auto music = LeaderPackets(withMusic(playing(16), 0.49), withMusic(playing(17), 0.51));
  EXPECT_EQ(music[0], (TSyncPacket{TSyncAction::Sync, TSyncFileType::Media, 17, 0.51f, "song.mp3"}));
}

TEST(LeaderSchedule, FollowerList) {
  std::string error;
  EXPECT_EQ(ParseFollowerList("10.0.0.5,10.0.0.6:4000,127.0.0.1", false, error),
            (std::vector<output::TEndpoint>{{0x0A000005, 32320}, {0x0A000006, 4000}, {0x7F000001, 32320}}));
  EXPECT_EQ(error, "");
  const struct {
    const char* List;
    std::string Error;
  } faults[] = {
      {"", "has no host"},
      {"10.0.0.5,,10.0.0.6", "has no host"},
      {":32320", "has no host"},
      {"10.0.0.5:0", "no port from 1 to 65535"},
      {"10.0.0.5:65536", "no port from 1 to 65535"},
      {"10.0.0.5:12ab", "no port from 1 to 65535"},
      {"10.0.0.5:", "no port from 1 to 65535"},
      {"stage-left", "\"stage-left\" is not a numeric IPv4 address"},
      {"10.0.0.256", "is not a numeric IPv4 address"},
  };
  for (const auto& f : faults) {
    std::string why;
    EXPECT_TRUE(ParseFollowerList(f.List, false, why).empty()) << f.List;
    EXPECT_NE(why.find(f.Error), std::string::npos) << f.List << ": " << why;
  }
}

TEST(LeaderSchedule, Destinations) {
  TLeaderTargets targets;
  targets.Followers = {{0x0A000005, 32320}};
  EXPECT_EQ(LeaderDestinations(targets), targets.Followers);
  targets.Multicast = true;
  targets.Broadcast = true;
  EXPECT_EQ(LeaderDestinations(targets),
            (std::vector<output::TEndpoint>{{0x0A000005, 32320}, {0xEF465050, 32320}, {0xFFFFFFFF, 32320}}));
  EXPECT_EQ(output::FormatIpv4(kMultiSyncMulticastAddress), "239.70.80.80");
}

}  // namespace
}  // namespace lumora::sync

// A leader's and a follower's links on 127.0.0.1: the leader's packets
// heard, the follower's decisions taken, its report answered back to the
// leader's port and shown there; the leader's end stops and blanks it.
#include <gtest/gtest.h>

#include <cmath>

#include <thread>

#include "sync/follower_link.h"
#include "sync/leader_link.h"

namespace lumora::sync {
namespace {

using namespace std::chrono_literals;

template <typename T>
bool waitFor(const T& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

TLeaderProgress playing(std::uint32_t frame) {
  TLeaderProgress p;
  p.Playing = true;
  p.File = "show.fseq";
  p.Frame = frame;
  p.Seconds = frame * 0.03;
  return p;
}

TEST(SyncLinks, FollowerReportsToItsLeader) {
  TFollowerLink follower({}, output::TEndpoint{output::kLoopbackAddress, 0},
                         [](std::string_view) { return std::optional<std::string>("show.ctl"); }, TSyncClock::now);
  ASSERT_NE(follower.Port(), 0);
  TSendThread sender;
  std::vector<std::string> said;
  TLeaderTargets targets;
  targets.Followers = {{output::kLoopbackAddress, follower.Port()}, {output::kLoopbackAddress, 9}};
  TLeaderLink leader(targets, sender, TSyncClock::now, [&](const std::string& s) { said.push_back(s); });

  leader.Update(playing(0));
  TFollowerDecision start;
  ASSERT_TRUE(waitFor([&] {
    start = follower.Decide({false, "", 0, 0.03});
    return start.Action == TFollowerAction::Start;
  }));
  EXPECT_EQ(start.Show, "show.ctl");
  EXPECT_EQ(follower.Decide({true, "show.ctl", 1, 0.03}).Action, TFollowerAction::Follow);
  leader.Update(playing(4));
  ASSERT_TRUE(waitFor([&] {
    const auto seen = leader.Followers();
    return !seen.empty() && seen.front().Report && seen.front().Report->Playing;
  }));
  const std::vector<TFollowerSeen> seen = leader.Followers();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].From.Port, follower.Port());
  EXPECT_TRUE(seen[0].Report->Playing);
  EXPECT_EQ(seen[0].Report->Frame, 1u);
  EXPECT_LT(std::abs(seen[0].Report->OffsetMs), 200);
  EXPECT_FALSE(seen[1].Report);
  EXPECT_GE(leader.PacketsSent(), 2u);
  EXPECT_TRUE(follower.Status().LeaderHeard);

  leader.Update(playing(4));
  const std::uint64_t sent = leader.PacketsSent();
  leader.Finish();
  EXPECT_GT(leader.PacketsSent(), sent) << "the stop and the blank went out";
  ASSERT_TRUE(waitFor([&] { return follower.Decide({true, "show.ctl", 5, 0.03}).Action == TFollowerAction::Blank; }));
}

// The group and the broadcast address are destinations, not followers; this
// leader sends nothing, so nothing leaves the machine.
TEST(SyncLinks, GroupsAreNoFollowers) {
  TSendThread sender;
  TLeaderTargets targets;
  targets.Followers = {{output::kLoopbackAddress, 9}};
  targets.Multicast = true;
  targets.Broadcast = true;
  const TLeaderLink leader(targets, sender, TSyncClock::now, [](const std::string&) {});
  EXPECT_EQ(leader.Destinations().size(), 3u);
  const std::vector<TFollowerSeen> seen = leader.Followers();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].From, (output::TEndpoint{output::kLoopbackAddress, 9}));
}

}  // namespace
}  // namespace lumora::sync

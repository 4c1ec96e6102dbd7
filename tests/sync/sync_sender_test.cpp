// A leader's senders to receivers on 127.0.0.1: the MultiSync packets of a
// show's first frames to two followers, and Art-Net timecode sent once a
// frame.
#include <gtest/gtest.h>

#include "sync/artnet_timecode.h"
#include "sync/sync_sender.h"
#include "sync/udp_receiver.h"

namespace lumora::sync {
namespace {

std::vector<std::vector<std::uint8_t>> drain(TUdpReceiver& receiver) {
  std::vector<std::vector<std::uint8_t>> out;
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  std::string error;
  while (const auto r = receiver.Receive(buffer, 200, error)) out.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(r->Size));
  return out;
}

TEST(SyncSender, LeaderReachesEveryFollower) {
  TUdpReceiver first, second;
  ASSERT_EQ(first.Open(output::kLoopbackAddress, 0), "");
  ASSERT_EQ(second.Open(output::kLoopbackAddress, 0), "");
  TLeaderTargets targets;
  targets.Followers = {{output::kLoopbackAddress, first.Port()}, {output::kLoopbackAddress, second.Port()}};
  TSyncLeader leader(targets);
  for (std::uint32_t frame = 0; frame <= 12; ++frame) {
    TLeaderProgress p;
    p.Playing = true;
    p.File = "show.ctl";
    p.Frame = frame;
    p.Seconds = frame * 0.03;
    ASSERT_EQ(leader.Update(p), "");
  }
  ASSERT_EQ(leader.Update(TLeaderProgress{}), "");
  ASSERT_EQ(leader.Blank(), "");
  EXPECT_EQ(leader.PacketsSent(), 12u);
  for (TUdpReceiver* receiver : {&first, &second}) {
    std::vector<std::pair<TSyncAction, std::uint32_t>> got;
    int blanks = 0;
    for (const auto& datagram : drain(*receiver)) {
      std::string error;
      const auto message = ParseMultiSync(datagram, error);
      ASSERT_TRUE(message) << error;
      if (message->Sync) got.emplace_back(message->Sync->Action, message->Sync->Frame);
      blanks += message->Type == TMultiSyncType::Blank;
    }
    EXPECT_EQ(got, (std::vector<std::pair<TSyncAction, std::uint32_t>>{
                       {TSyncAction::Start, 0}, {TSyncAction::Sync, 4}, {TSyncAction::Sync, 8}, {TSyncAction::Sync, 12},
                       {TSyncAction::Stop, 12}}));
    EXPECT_EQ(blanks, 1);
  }
}

// After a stall the leader says where it is at once, off the schedule;
// the schedule goes on from there.
TEST(SyncSender, ResyncsOffTheSchedule) {
  TUdpReceiver follower;
  ASSERT_EQ(follower.Open(output::kLoopbackAddress, 0), "");
  TLeaderTargets targets;
  targets.Followers = {{output::kLoopbackAddress, follower.Port()}};
  TSyncLeader leader(targets);
  TLeaderProgress p;
  p.Playing = true;
  p.File = "show.ctl";
  p.MusicPlaying = true;
  p.MusicFile = "song.mp3";
  for (const std::uint32_t frame : {0u, 1u, 6u}) {
    p.Frame = frame;
    p.MusicSeconds = frame * 0.03;
    ASSERT_EQ(frame == 6 ? leader.Resync(p) : leader.Update(p), "");
  }
  for (const std::uint32_t frame : {7u, 8u}) {
    p.Frame = frame;
    ASSERT_EQ(leader.Update(p), "");
  }
  std::vector<std::tuple<TSyncAction, TSyncFileType, std::uint32_t>> got;
  for (const auto& datagram : drain(follower)) {
    std::string error;
    const auto message = ParseMultiSync(datagram, error);
    ASSERT_TRUE(message && message->Sync) << error;
    got.emplace_back(message->Sync->Action, message->Sync->FileType, message->Sync->Frame);
  }
  using A = TSyncAction;
  using F = TSyncFileType;
  EXPECT_EQ(got, (std::vector<std::tuple<TSyncAction, TSyncFileType, std::uint32_t>>{
                     {A::Start, F::Sequence, 0}, {A::Start, F::Media, 0}, {A::Sync, F::Sequence, 6}, {A::Sync, F::Media, 6},
                     {A::Sync, F::Sequence, 8}}));
}

TEST(SyncSender, ArtTimecodeOncePerFrame) {
  TUdpReceiver desk;
  ASSERT_EQ(desk.Open(output::kLoopbackAddress, 0), "");
  TArtTimecodeSender sender({output::kLoopbackAddress, desk.Port()}, TTimecodeRate::Ebu25, 9);
  for (const double seconds : {0.0, 0.01, 0.039, 0.04, 0.05, 3600.0}) ASSERT_EQ(sender.Update(seconds), "");
  sender.SetFixedHour(std::nullopt);
  ASSERT_EQ(sender.Update(3600.0), "");
  std::vector<std::string> got;
  for (const auto& datagram : drain(desk)) {
    std::string error;
    const auto parsed = ParseArtTimeCode(datagram, error);
    ASSERT_TRUE(parsed) << error;
    got.push_back(FormatTimecode(parsed->Timecode));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"09:00:00:00", "09:00:00:01", "10:00:00:00", "01:00:00:00"}));
}

}  // namespace
}  // namespace lumora::sync

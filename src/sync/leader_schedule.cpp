#include "sync/leader_schedule.h"

#include <algorithm>
#include <cmath>

#include "sync/endpoint_text.h"

namespace lumora::sync {

namespace {

TSyncPacket packet(TSyncAction action, TSyncFileType type, const std::string& file, std::uint32_t frame,
                   double seconds) {
  return {action, type, frame, static_cast<float>(seconds), file};
}

TSyncPacket sequencePacket(TSyncAction action, const TLeaderProgress& p) {
  return packet(action, TSyncFileType::Sequence, p.File, p.Frame, p.Seconds);
}

TSyncPacket mediaPacket(TSyncAction action, const TLeaderProgress& p) {
  return packet(action, TSyncFileType::Media, p.MusicFile, p.Frame, p.MusicSeconds);
}

bool sameShow(const TLeaderProgress& a, const TLeaderProgress& b) {
  return a.Playing && b.Playing && a.File == b.File;
}

bool sameMusic(const TLeaderProgress& a, const TLeaderProgress& b) {
  return sameShow(a, b) && a.MusicPlaying && b.MusicPlaying && a.MusicFile == b.MusicFile;
}

void addSequence(const TLeaderProgress& before, const TLeaderProgress& now, std::vector<TSyncPacket>& out) {
  if (before.Playing && !sameShow(before, now)) out.push_back(sequencePacket(TSyncAction::Stop, before));
  if (!now.Playing) return;
  if (!sameShow(before, now)) {
    out.push_back(sequencePacket(TSyncAction::Start, now));
    return;
  }
  const bool wentBack = now.Frame < before.Frame;
  if (wentBack || (now.Frame != before.Frame && NextSyncFrame(before.Frame) <= now.Frame)) {
    out.push_back(sequencePacket(TSyncAction::Sync, now));
  }
}

std::int64_t halfSecond(double seconds) { return static_cast<std::int64_t>(std::floor(seconds / kMediaSyncSeconds)); }

void addMedia(const TLeaderProgress& before, const TLeaderProgress& now, std::vector<TSyncPacket>& out) {
  const bool was = before.Playing && before.MusicPlaying;
  const bool is = now.Playing && now.MusicPlaying;
  if (was && !sameMusic(before, now)) out.push_back(mediaPacket(TSyncAction::Stop, before));
  if (!is) return;
  if (!sameMusic(before, now)) {
    out.push_back(mediaPacket(TSyncAction::Start, now));
  } else if (halfSecond(now.MusicSeconds) != halfSecond(before.MusicSeconds)) {
    out.push_back(mediaPacket(TSyncAction::Sync, now));
  }
}

}  // namespace

std::uint64_t NextSyncFrame(std::uint32_t frame) {
  const auto roundUp = [](std::uint64_t n, std::uint64_t step) { return (n + step - 1) / step * step; };
  const std::uint64_t next = std::uint64_t{frame} + 1;
  if (next < kDenseSyncFrames && roundUp(next, kDenseSyncEvery) < kDenseSyncFrames) return roundUp(next, kDenseSyncEvery);
  return roundUp(std::max<std::uint64_t>(next, kDenseSyncFrames), kSyncEvery);
}

std::vector<TSyncPacket> LeaderPackets(const TLeaderProgress& before, const TLeaderProgress& now) {
  std::vector<TSyncPacket> out;
  addSequence(before, now, out);
  addMedia(before, now, out);
  return out;
}

std::vector<output::TEndpoint> ParseFollowerList(const std::string& list, bool resolve, std::string& error) {
  std::vector<output::TEndpoint> followers;
  std::string_view rest = list;
  while (true) {
    const std::size_t comma = rest.find(',');
    const auto follower = ParseEndpoint(rest.substr(0, comma), kMultiSyncPort, resolve, "the follower", error);
    if (!follower) return {};
    followers.push_back(*follower);
    if (comma == std::string_view::npos) return followers;
    rest.remove_prefix(comma + 1);
  }
}

std::vector<output::TEndpoint> LeaderDestinations(const TLeaderTargets& targets) {
  std::vector<output::TEndpoint> out = targets.Followers;
  if (targets.Multicast) out.push_back({kMultiSyncMulticastAddress, kMultiSyncPort});
  if (targets.Broadcast) out.push_back({output::kLimitedBroadcast, kMultiSyncPort});
  return out;
}

}  // namespace lumora::sync

// What a MultiSync leader sends, as a pure function of the show's progress:
// start and stop, a frame sync every 4 frames for the first 32 frames and
// every 10 after, a media sync every half second while music plays; and to
// whom: the listed followers, and the multicast group or the broadcast
// address only when configured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/network_address.h"
#include "sync/multisync_packet.h"

namespace lumora::sync {

// Where the leader's show stands at one moment.
struct TLeaderProgress {
  bool Playing = false;
  // The name followers match by stem ("show.ctl"), without a folder.
  std::string File;
  std::uint32_t Frame = 0;
  // Seconds into the show's frames, and into its music while that plays.
  double Seconds = 0;
  bool MusicPlaying = false;
  std::string MusicFile;
  double MusicSeconds = 0;
  friend bool operator==(const TLeaderProgress&, const TLeaderProgress&) = default;
};

inline constexpr std::uint32_t kDenseSyncFrames = 32;
inline constexpr std::uint32_t kDenseSyncEvery = 4;
inline constexpr std::uint32_t kSyncEvery = 10;
inline constexpr double kMediaSyncSeconds = 0.5;

// The first frame after `frame` on which a frame sync goes out: 4, 8 … 28,
// then 40, 50 … (a frame below 32 counts in fours, from 32 on in tens).
std::uint64_t NextSyncFrame(std::uint32_t frame);

// The packets for the step from `before` to `now`: start and stop when the
// show or its music starts, stops or changes; a frame sync when a sync frame
// was reached (or the frame went back, as after a seek or a loop); a media
// sync when a half second of the music was crossed.
std::vector<TSyncPacket> LeaderPackets(const TLeaderProgress& before, const TLeaderProgress& now);

struct TLeaderTargets {
  // Numeric unicast followers, each with its port.
  std::vector<output::TEndpoint> Followers;
  bool Multicast = false;
  bool Broadcast = false;
};

// "HOST[:PORT][,HOST[:PORT]…]" with numeric IPv4 hosts, or with names when
// resolve is set (looked up once, here). On a fault nothing is returned and
// error names the piece.
std::vector<output::TEndpoint> ParseFollowerList(const std::string& list, bool resolve, std::string& error);

// Every address a packet goes to: the followers, then 239.70.80.80 and
// 255.255.255.255 on the MultiSync port when they are configured.
std::vector<output::TEndpoint> LeaderDestinations(const TLeaderTargets& targets);

}  // namespace lumora::sync

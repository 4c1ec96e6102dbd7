// The sync layer's section of the status snapshot: the role, the leader
// heard and when, this follower's offset and error, where a leader sends,
// and timecode in and out with the last timecode each saw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "output/network_address.h"
#include "sync/follower.h"
#include "sync/timecode.h"

namespace lumora::sync {

enum class TSyncRole { Off, Leader, Follower };

struct TTimecodeLink {
  // "artnet 10.0.0.9:6454", "mtc 20:0", "ltc show.wav", "osc 127.0.0.1:9000".
  std::string Source;
  std::optional<TTimecode> Last;
};

struct TSyncStatus {
  TSyncRole Role = TSyncRole::Off;
  // A leader's destinations and how many packets went out.
  std::vector<output::TEndpoint> Destinations;
  std::uint64_t PacketsSent = 0;
  // A follower's view of its leader, and its own offset.
  std::optional<TFollowerStatus> Follower;
  double OffsetMs = 0;
  std::optional<TTimecodeLink> TimecodeIn;
  std::optional<TTimecodeLink> TimecodeOut;
};

// {"role": "leader"|"follower"|"off", "followers": ["10.0.0.5:32320", …],
//  "packetsSent": n, "leader": {"heard": bool, "file": s, "secondsAgo": x},
//  "offsetMs": x, "errorFrames": x, "inStep": bool, "warning": s,
//  "timecodeIn": {"source": s, "last": "01:00:00:00"}, "timecodeOut": {…}};
// keys without a value for the role are left out.
nlohmann::json SyncStatusJson(const TSyncStatus& status);

}  // namespace lumora::sync

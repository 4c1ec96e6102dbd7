// The sync layer's section of the status snapshot: the role, where a
// leader sends and each follower's offset as it reports it, the leader a
// follower hears and when, timecode in and out with the last timecode each
// saw, and OSC with what it took and refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "output/network_address.h"
#include "sync/follower.h"
#include "sync/follower_report.h"
#include "sync/timecode.h"

namespace lumora::sync {

// Leader: it sends MultiSync or timecode; follower: it follows either.
enum class TSyncRole { Off, Leader, Follower };

struct TTimecodeLink {
  // "artnet 10.0.0.9:6454", "mtc 20:0", "ltc show.wav", "osc".
  std::string Source;
  std::optional<TTimecode> Last;
};

struct TOscLink {
  output::TEndpoint Listen;
  // Besides this machine, as written ("10.0.0.0/24").
  std::vector<std::string> Allowed;
  std::uint64_t Commands = 0;
  std::uint64_t Refused = 0;
  std::uint64_t Faults = 0;
  std::optional<output::TEndpoint> Feedback;
};

struct TSyncStatus {
  TSyncRole Role = TSyncRole::Off;
  // A leader's destinations, the followers heard of, and how many packets
  // went out.
  std::vector<output::TEndpoint> Destinations;
  std::vector<TFollowerSeen> Followers;
  std::uint64_t PacketsSent = 0;
  // A follower's MultiSync port, its view of its leader, and its offset.
  std::optional<output::TEndpoint> Listen;
  std::optional<TFollowerStatus> Follower;
  double OffsetMs = 0;
  std::optional<TTimecodeLink> TimecodeIn;
  std::vector<TTimecodeLink> TimecodeOut;
  std::optional<TOscLink> Osc;
  // The test-only clock rate, when it is not 1.
  double ClockRate = 1;
};

// {"role": "leader"|"follower"|"off",
//  "destinations": ["10.0.0.5:32320", …], "packets-sent": n,
//  "followers": [{"address", "heard", "playing", "in-step", "offset-ms",
//                 "frame", "seconds-ago"}, …],
//  "listen": "0.0.0.0:32320", "leader": {"heard", "file", "seconds-ago"},
//  "offset-ms": x, "error-frames": x, "in-step": bool, "warning": s,
//  "timecode-in": {"source", "last"}, "timecode-out": [{"source", "last"}, …],
//  "osc": {"listen", "allowed", "commands", "refused", "faults", "feedback"},
//  "clock-rate": x}; keys without a value are left out. Seconds and
// milliseconds are rounded to a tenth.
nlohmann::json SyncStatusJson(const TSyncStatus& status);

}  // namespace lumora::sync

#include "sync/sync_status.h"

#include <cmath>

namespace lumora::sync {

namespace {

const char* roleName(TSyncRole role) {
  switch (role) {
    case TSyncRole::Leader: return "leader";
    case TSyncRole::Follower: return "follower";
    default: return "off";
  }
}

double tenths(double value) { return std::round(value * 10) / 10; }

nlohmann::json linkJson(const TTimecodeLink& link) {
  nlohmann::json out = {{"source", link.Source}};
  out["last"] = link.Last ? nlohmann::json(FormatTimecode(*link.Last)) : nlohmann::json(nullptr);
  return out;
}

nlohmann::json followerJson(const TFollowerSeen& seen) {
  nlohmann::json out = {{"address", output::FormatEndpoint(seen.From)}, {"heard", seen.Report.has_value()}};
  if (!seen.Report) return out;
  out["playing"] = seen.Report->Playing;
  out["in-step"] = seen.Report->InStep;
  out["offset-ms"] = tenths(seen.Report->OffsetMs);
  out["frame"] = seen.Report->Frame;
  out["seconds-ago"] = tenths(seen.SecondsAgo);
  return out;
}

void addLeader(const TSyncStatus& status, nlohmann::json& out) {
  if (status.Destinations.empty()) return;
  out["destinations"] = nlohmann::json::array();
  for (const output::TEndpoint& to : status.Destinations) out["destinations"].push_back(output::FormatEndpoint(to));
  out["followers"] = nlohmann::json::array();
  for (const TFollowerSeen& seen : status.Followers) out["followers"].push_back(followerJson(seen));
  out["packets-sent"] = status.PacketsSent;
}

void addFollower(const TSyncStatus& status, nlohmann::json& out) {
  out["offset-ms"] = status.OffsetMs;
  if (status.Listen) out["listen"] = output::FormatEndpoint(*status.Listen);
  if (!status.Follower) return;
  const TFollowerStatus& f = *status.Follower;
  out["leader"] = {{"heard", f.LeaderHeard}, {"file", f.LeaderFile}, {"seconds-ago", tenths(f.HeardSecondsAgo)}};
  out["error-frames"] = tenths(f.ErrorFrames);
  out["in-step"] = f.InStep;
  if (!f.Warning.empty()) out["warning"] = f.Warning;
}

nlohmann::json oscJson(const TOscLink& osc) {
  nlohmann::json out = {{"listen", output::FormatEndpoint(osc.Listen)}, {"allowed", osc.Allowed},
                        {"commands", osc.Commands}, {"refused", osc.Refused}, {"faults", osc.Faults}};
  if (osc.Feedback) out["feedback"] = output::FormatEndpoint(*osc.Feedback);
  return out;
}

}  // namespace

nlohmann::json SyncStatusJson(const TSyncStatus& status) {
  nlohmann::json out = {{"role", roleName(status.Role)}};
  if (status.Role == TSyncRole::Leader) addLeader(status, out);
  if (status.Role == TSyncRole::Follower) addFollower(status, out);
  if (status.TimecodeIn) out["timecode-in"] = linkJson(*status.TimecodeIn);
  if (!status.TimecodeOut.empty()) {
    out["timecode-out"] = nlohmann::json::array();
    for (const TTimecodeLink& link : status.TimecodeOut) out["timecode-out"].push_back(linkJson(link));
  }
  if (status.Osc) out["osc"] = oscJson(*status.Osc);
  if (status.ClockRate != 1) out["clock-rate"] = status.ClockRate;
  return out;
}

}  // namespace lumora::sync

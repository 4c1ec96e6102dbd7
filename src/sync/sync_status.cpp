#include "sync/sync_status.h"

namespace lumora::sync {

namespace {

const char* roleName(TSyncRole role) {
  switch (role) {
    case TSyncRole::Leader: return "leader";
    case TSyncRole::Follower: return "follower";
    default: return "off";
  }
}

nlohmann::json linkJson(const TTimecodeLink& link) {
  nlohmann::json out = {{"source", link.Source}};
  out["last"] = link.Last ? nlohmann::json(FormatTimecode(*link.Last)) : nlohmann::json(nullptr);
  return out;
}

void addFollower(const TSyncStatus& status, nlohmann::json& out) {
  out["offsetMs"] = status.OffsetMs;
  if (!status.Follower) return;
  const TFollowerStatus& f = *status.Follower;
  out["leader"] = {{"heard", f.LeaderHeard}, {"file", f.LeaderFile}, {"secondsAgo", f.HeardSecondsAgo}};
  out["errorFrames"] = f.ErrorFrames;
  out["inStep"] = f.InStep;
  if (!f.Warning.empty()) out["warning"] = f.Warning;
}

}  // namespace

nlohmann::json SyncStatusJson(const TSyncStatus& status) {
  nlohmann::json out = {{"role", roleName(status.Role)}};
  if (status.Role == TSyncRole::Leader) {
    out["followers"] = nlohmann::json::array();
    for (const output::TEndpoint& to : status.Destinations) out["followers"].push_back(output::FormatEndpoint(to));
    out["packetsSent"] = status.PacketsSent;
  }
  if (status.Role == TSyncRole::Follower) addFollower(status, out);
  if (status.TimecodeIn) out["timecodeIn"] = linkJson(*status.TimecodeIn);
  if (status.TimecodeOut) out["timecodeOut"] = linkJson(*status.TimecodeOut);
  return out;
}

}  // namespace lumora::sync

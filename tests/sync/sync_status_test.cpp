// The sync section of the status, as JSON, for each role.
#include <gtest/gtest.h>

#include "sync/sync_status.h"

namespace lumora::sync {
namespace {

using nlohmann::json;

TEST(SyncStatus, Json) {
  EXPECT_EQ(SyncStatusJson({}), (json{{"role", "off"}}));

  TSyncStatus leader;
  leader.Role = TSyncRole::Leader;
  leader.Destinations = {{0x0A000005, 32320}, {0xEF465050, 32320}};
  leader.PacketsSent = 42;
  leader.TimecodeOut = TTimecodeLink{"artnet 10.0.0.9:6454", TTimecode{10, 0, 1, 2, TTimecodeRate::Ebu25}};
  EXPECT_EQ(SyncStatusJson(leader), json::parse(R"({"role": "leader", "followers": ["10.0.0.5:32320", "239.70.80.80:32320"],
      "packetsSent": 42, "timecodeOut": {"source": "artnet 10.0.0.9:6454", "last": "10:00:01:02"}})"));

  TSyncStatus follower;
  follower.Role = TSyncRole::Follower;
  follower.OffsetMs = 40;
  follower.Follower = TFollowerStatus{true, "show.fseq", 0.25, -0.5, true, ""};
  follower.TimecodeIn = TTimecodeLink{"osc 127.0.0.1:9000", std::nullopt};
  EXPECT_EQ(SyncStatusJson(follower), json::parse(R"({"role": "follower", "offsetMs": 40.0,
      "leader": {"heard": true, "file": "show.fseq", "secondsAgo": 0.25}, "errorFrames": -0.5, "inStep": true,
      "timecodeIn": {"source": "osc 127.0.0.1:9000", "last": null}})"));
}

}  // namespace
}  // namespace lumora::sync

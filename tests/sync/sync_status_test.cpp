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
  leader.Destinations = {{0x0A000005, 32320}, {0x0A000006, 32320}, {0xEF465050, 32320}};
  leader.Followers = {{{0x0A000005, 32320}, TFollowerReport{true, true, 4.04, 120}, 0.23},
                      {{0x0A000006, 32320}, std::nullopt, 0},
                      {{0x0A000009, 32320}, TFollowerReport{false, false, -250, 0}, 3}};
  leader.PacketsSent = 42;
  leader.TimecodeOut = {{"artnet 10.0.0.9:6454", TTimecode{10, 0, 1, 2, TTimecodeRate::Ebu25}}, {"ltc show.wav", std::nullopt}};
  leader.ClockRate = 0.98;
  EXPECT_EQ(SyncStatusJson(leader), json::parse(R"({"role": "leader",
      "destinations": ["10.0.0.5:32320", "10.0.0.6:32320", "239.70.80.80:32320"],
      "followers": [
        {"address": "10.0.0.5:32320", "heard": true, "playing": true, "in-step": true, "offset-ms": 4.0, "frame": 120,
         "seconds-ago": 0.2},
        {"address": "10.0.0.6:32320", "heard": false},
        {"address": "10.0.0.9:32320", "heard": true, "playing": false, "in-step": false, "offset-ms": -250.0, "frame": 0,
         "seconds-ago": 3.0}],
      "packets-sent": 42,
      "timecode-out": [{"source": "artnet 10.0.0.9:6454", "last": "10:00:01:02"}, {"source": "ltc show.wav", "last": null}],
      "clock-rate": 0.98})"));

  TSyncStatus follower;
  follower.Role = TSyncRole::Follower;
  follower.OffsetMs = 40;
  follower.Listen = output::TEndpoint{0, 32320};
  follower.Follower = TFollowerStatus{true, "show.fseq", 0.25, -0.54, true, "a warning"};
  follower.TimecodeIn = TTimecodeLink{"osc", std::nullopt};
  follower.Osc = TOscLink{{0x7F000001, 9000}, {"10.0.0.0/24"}, 5, 2, 1, output::TEndpoint{0x7F000001, 9001}};
  EXPECT_EQ(SyncStatusJson(follower), json::parse(R"({"role": "follower", "offset-ms": 40.0, "listen": "0.0.0.0:32320",
      "leader": {"heard": true, "file": "show.fseq", "seconds-ago": 0.3}, "error-frames": -0.5, "in-step": true,
      "warning": "a warning", "timecode-in": {"source": "osc", "last": null},
      "osc": {"listen": "127.0.0.1:9000", "allowed": ["10.0.0.0/24"], "commands": 5, "refused": 2, "faults": 1,
              "feedback": "127.0.0.1:9001"}})"));
}

}  // namespace
}  // namespace lumora::sync

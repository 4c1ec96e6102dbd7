// The follower's report to its leader, byte for byte: a capture written
// from the layout, round trips, and what is refused.
#include <gtest/gtest.h>

#include <cmath>

#include "sync/follower_report.h"
#include "sync/multisync_packet.h"

namespace lumora::sync {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FollowerReport, Capture) {
  // 'L','M','S','R', version 1, playing and in step, -12.345 ms = -12345 us, frame 300.
  const Bytes capture = {'L', 'M', 'S', 'R', 1, 3, 0xC7, 0xCF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0};
  EXPECT_EQ(EncodeFollowerReport({true, true, -12.345, 300}), capture);
  std::string error;
  EXPECT_EQ(ParseFollowerReport(capture, error), (TFollowerReport{true, true, -12.345, 300}));
  EXPECT_FALSE(ParseMultiSync(capture, error)) << "a MultiSync receiver drops it at its header";
}

TEST(FollowerReport, RoundTripsAndLimits) {
  const struct {
    TFollowerReport Report;
    double OffsetAfter;
  } cases[] = {
      {{false, false, 0, 0}, 0},
      {{true, false, 40.0004, 4294967295u}, 40},
      {{false, true, -1e12, 7}, -2147483.648},
      {{false, true, -2147483.648, 7}, -2147483.648},
      {{true, true, 1e12, 7}, 2147483.647},
      {{true, true, std::nan(""), 7}, 0},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto back = ParseFollowerReport(EncodeFollowerReport(c.Report), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->Playing, c.Report.Playing);
    EXPECT_EQ(back->InStep, c.Report.InStep);
    EXPECT_EQ(back->Frame, c.Report.Frame);
    EXPECT_DOUBLE_EQ(back->OffsetMs, c.OffsetAfter) << c.Report.OffsetMs;
  }
}

TEST(FollowerReport, Refused) {
  Bytes good = EncodeFollowerReport({true, true, 1, 2});
  Bytes longer = good;
  longer.push_back(9);
  std::string error;
  EXPECT_TRUE(ParseFollowerReport(longer, error)) << "later versions may add fields";
  const struct {
    Bytes Datagram;
    const char* Error;
  } faults[] = {
      {{}, "not a follower's report"},
      {Bytes(good.begin(), good.end() - 1), "not a follower's report"},
      {EncodeSyncPacket({}), "not a follower's report"},
      {[&] { Bytes b = good; b[4] = 2; return b; }(), "a follower's report of version 2 is not read"},
  };
  for (const auto& f : faults) {
    std::string why;
    EXPECT_FALSE(ParseFollowerReport(f.Datagram, why));
    EXPECT_EQ(why, f.Error);
  }
}

}  // namespace
}  // namespace lumora::sync

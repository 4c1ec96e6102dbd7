// A follower's report to its leader: how far it plays from the leader, and
// whether it is in step. Sent back to the address and port the leader's
// MultiSync packets came from, and only there, under a mark of its own
// ('L','M','S','R'), so that a MultiSync receiver drops it at its header.
// Layout: the mark, version 1, flags (bit 0 playing, bit 1 in step), the
// offset in microseconds (int32) and the frame shown (uint32), both
// little-endian: 14 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "output/network_address.h"

namespace lumora::sync {

inline constexpr std::size_t kFollowerReportSize = 14;

struct TFollowerReport {
  bool Playing = false;
  bool InStep = false;
  // The follower's position minus where its leader says it should be:
  // positive when it plays ahead.
  double OffsetMs = 0;
  std::uint32_t Frame = 0;
  friend bool operator==(const TFollowerReport&, const TFollowerReport&) = default;
};

// A follower as the leader last heard of it; none heard yet of a follower
// on the list.
struct TFollowerSeen {
  output::TEndpoint From;
  std::optional<TFollowerReport> Report;
  double SecondsAgo = 0;
};

// The offset is rounded to whole microseconds and held to what an int32 of
// them holds (−2^31 … 2^31 − 1), so that every report read writes back the same.
std::vector<std::uint8_t> EncodeFollowerReport(const TFollowerReport& report);
// nullopt, with the reason in error, for anything but a report of version 1;
// longer datagrams are taken, as later versions may add fields.
std::optional<TFollowerReport> ParseFollowerReport(std::span<const std::uint8_t> datagram, std::string& error);

}  // namespace lumora::sync

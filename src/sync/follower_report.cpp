#include "sync/follower_report.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/little_endian.h"

namespace lumora::sync {

namespace {

constexpr std::uint8_t kMark[4] = {'L', 'M', 'S', 'R'};
constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kPlaying = 1;
constexpr std::uint8_t kInStep = 2;
// The offsets an int32 of microseconds holds, both ends included.
constexpr double kLeastMicroseconds = std::numeric_limits<std::int32_t>::min();
constexpr double kLargestMicroseconds = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::vector<std::uint8_t> EncodeFollowerReport(const TFollowerReport& report) {
  std::vector<std::uint8_t> out(std::begin(kMark), std::end(kMark));
  out.push_back(kVersion);
  out.push_back(static_cast<std::uint8_t>((report.Playing ? kPlaying : 0) | (report.InStep ? kInStep : 0)));
  const double micros = std::isfinite(report.OffsetMs) ? std::round(report.OffsetMs * 1000) : 0;
  const auto offset = static_cast<std::int32_t>(std::clamp(micros, kLeastMicroseconds, kLargestMicroseconds));
  AppendU32(out, static_cast<std::uint32_t>(offset));
  AppendU32(out, report.Frame);
  return out;
}

std::optional<TFollowerReport> ParseFollowerReport(std::span<const std::uint8_t> datagram, std::string& error) {
  if (datagram.size() < kFollowerReportSize || !std::equal(std::begin(kMark), std::end(kMark), datagram.begin())) {
    error = "not a follower's report";
    return std::nullopt;
  }
  if (datagram[4] != kVersion) {
    error = "a follower's report of version " + std::to_string(datagram[4]) + " is not read";
    return std::nullopt;
  }
  TFollowerReport report;
  report.Playing = (datagram[5] & kPlaying) != 0;
  report.InStep = (datagram[5] & kInStep) != 0;
  report.OffsetMs = static_cast<std::int32_t>(U32At(datagram, 6)) / 1000.0;
  report.Frame = U32At(datagram, 10);
  return report;
}

}  // namespace lumora::sync

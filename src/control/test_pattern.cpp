#include "control/test_pattern.h"

#include <algorithm>

namespace lumora::control {

TTestPattern::TTestPattern(TTestKind kind, std::uint8_t level, std::uint32_t channels,
                           std::vector<TChannelRange> ranges, std::chrono::milliseconds step,
                           nlohmann::json description)
    : fKind(kind), fLevel(level), fRanges(std::move(ranges)), fStep(step), fDescription(std::move(description)),
      fFrame(channels, 0) {
  for (TChannelRange& range : fRanges) {
    range.first = std::min(range.first, channels);
    range.second = std::min(range.second, channels - range.first);
    fChaseLength += range.second;
  }
  light();
}

// The chase's channel, counted through the ranges in order.
void TTestPattern::light() {
  std::fill(fFrame.begin(), fFrame.end(), std::uint8_t{0});
  if (fKind != TTestKind::Chase) {
    for (const auto& [first, count] : fRanges) std::fill_n(fFrame.begin() + first, count, fLevel);
    return;
  }
  std::uint64_t index = fChaseIndex;
  for (const auto& [first, count] : fRanges) {
    if (index < count) {
      fFrame[first + index] = fLevel;
      return;
    }
    index -= count;
  }
}

bool TTestPattern::Advance(std::chrono::steady_clock::time_point now) {
  if (fKind != TTestKind::Chase || fChaseLength == 0) return false;
  if (fNextStep == std::chrono::steady_clock::time_point{}) {
    fNextStep = now + fStep;
    return false;
  }
  if (now < fNextStep) return false;
  fNextStep = now + fStep;
  fChaseIndex = (fChaseIndex + 1) % fChaseLength;
  light();
  return true;
}

}  // namespace lumora::control

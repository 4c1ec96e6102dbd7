#include "export/gif_timeline_p.h"

namespace lumora {

namespace {

// The shortest delay viewers honour.
constexpr std::int64_t kMinDelay = 2;

}  // namespace

TGifTimeline::TGifTimeline(std::int64_t totalMs) : fEnd(Hundredths(totalMs)) {}

TGifStep TGifTimeline::Add(std::int64_t startMs, std::int64_t durationMs) {
  const std::int64_t start = Hundredths(startMs);
  const bool first = fLongest < 0;
  TGifStep step;
  step.OpensSlot = first || (start >= fSlotStart + kMinDelay && start + kMinDelay <= fEnd);
  if (step.OpensSlot) {
    fSlotStart = first ? 0 : start;
    fLongest = -1;
  }
  step.ShowsFrame = durationMs >= fLongest;
  if (step.ShowsFrame) fLongest = durationMs;
  return step;
}

}  // namespace lumora

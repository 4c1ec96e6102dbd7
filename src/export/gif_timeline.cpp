#include "export/gif_timeline_p.h"

namespace lumora {

namespace {

// The shortest delay viewers honour.
constexpr std::int64_t kMinDelay = 2;

}  // namespace

TGifTimeline::TGifTimeline(std::int64_t totalMs) : fEnd(Hundredths(totalMs)) {}

std::optional<std::int64_t> TGifTimeline::Place(std::int64_t startMs) {
  const std::int64_t start = Hundredths(startMs);
  // The first frame always shows; a later one only when both it and the
  // frame before it get the shortest delay, the last one included.
  const bool shown = !fLastShown || (start >= *fLastShown + kMinDelay && start + kMinDelay <= fEnd);
  if (!shown) return std::nullopt;
  fLastShown = start;
  return start;
}

std::int64_t TGifTimeline::FinalDelay() const { return fLastShown ? fEnd - *fLastShown : fEnd; }

}  // namespace lumora

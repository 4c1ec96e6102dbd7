// TGifTimeline: when each frame of a show appears in a GIF. GIF counts delays
// in hundredths of a second, and viewers (FFmpeg's reader among them) stretch
// a delay under two hundredths to a tenth of a second, which would slow a
// show of short frames tenfold. So the GIF is cut into slots: a frame's
// start, rounded to a hundredth, opens a new slot when that leaves the slot
// before it, and the one after, at least two hundredths; a slot shows the
// frame that lasts longest of those starting in it (the latest of equals).
// The show keeps its length to within 5 ms, exactly when that is a multiple
// of 10 ms.
#pragma once

#include <cstdint>

namespace lumora {

struct TGifStep {
  bool OpensSlot = false;   // the slot before is complete
  bool ShowsFrame = false;  // this frame stands for its slot, so far
};

class TGifTimeline {
 public:
  explicit TGifTimeline(std::int64_t totalMs);

  // The next frame; starts must rise.
  TGifStep Add(std::int64_t startMs, std::int64_t durationMs);
  // Where the current slot begins, in hundredths.
  std::int64_t SlotStart() const { return fSlotStart; }
  // How long the last slot lasts, in hundredths.
  std::int64_t FinalDelay() const { return fEnd - fSlotStart; }

 private:
  std::int64_t fEnd;
  std::int64_t fSlotStart = 0;
  std::int64_t fLongest = -1;
};

// Milliseconds to the nearest hundredth of a second.
inline std::int64_t Hundredths(std::int64_t ms) { return (ms + 5) / 10; }

}  // namespace lumora

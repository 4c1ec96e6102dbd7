// TGifTimeline: when each frame of a show appears in a GIF. GIF counts delays
// in hundredths of a second, and viewers (FFmpeg's reader among them) stretch
// a delay under two hundredths to a tenth of a second, which would slow a
// show of short frames tenfold. So every frame starts at its own start
// rounded to a hundredth — the show keeps its length to within 5 ms, exactly
// when that is a multiple of 10 ms — and a frame that would stay less than
// two hundredths is left out, its time going to the frame shown before it.
#pragma once

#include <cstdint>
#include <optional>

namespace lumora {

class TGifTimeline {
 public:
  explicit TGifTimeline(std::int64_t totalMs);

  // For the next frame (starts must rise): its start in hundredths when it
  // is shown, nothing when it is left out.
  std::optional<std::int64_t> Place(std::int64_t startMs);
  // How long the last frame shown stays, in hundredths.
  std::int64_t FinalDelay() const;

 private:
  std::int64_t fEnd;
  std::optional<std::int64_t> fLastShown;
};

// Milliseconds to the nearest hundredth of a second.
inline std::int64_t Hundredths(std::int64_t ms) { return (ms + 5) / 10; }

}  // namespace lumora

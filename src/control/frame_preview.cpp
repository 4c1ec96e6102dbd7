#include "control/frame_preview.h"

#include <algorithm>
#include <span>

#include "render/bitmap32.h"
#include "render/png_io.h"

namespace lumora::control {

namespace {

// Each small pixel is the mean of a 4 × 4 grid of samples of its block:
// thin tubes of light stay visible, and a frame costs a fixed amount of
// reading whatever its size.
constexpr int kSamples = 4;

struct TPixels {
  std::span<const TColor32> Bits;
  std::int32_t Width;
  std::int32_t Height;
};

std::uint32_t blockMean(const TPixels& pixels, double left, double top, double width, double height) {
  std::uint32_t sums[4] = {};
  for (int sy = 0; sy < kSamples; ++sy) {
    const auto y = static_cast<std::int32_t>(top + (sy + 0.5) * height / kSamples);
    for (int sx = 0; sx < kSamples; ++sx) {
      const auto x = static_cast<std::int32_t>(left + (sx + 0.5) * width / kSamples);
      const TColor32 c = pixels.Bits[static_cast<std::size_t>(std::min(y, pixels.Height - 1)) * pixels.Width +
                                     static_cast<std::size_t>(std::min(x, pixels.Width - 1))];
      for (int k = 0; k < 4; ++k) sums[k] += (c >> (8 * k)) & 0xff;
    }
  }
  std::uint32_t mean = 0;
  for (int k = 0; k < 4; ++k) mean |= (sums[k] / (kSamples * kSamples)) << (8 * k);
  return mean | 0xFF000000;
}

}  // namespace

void TFramePreview::FrameDrawn(const TDrawnFrame& frame) {
  const TBitmap32& bitmap = frame.Bitmap;
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return;
  const auto now = fClock();
  {
    const std::lock_guard lock(fLock);
    const bool watched = now - fLastAsked < kWatching;
    if (fMade > 0 && now - fLastMade < (watched ? kWatchedEvery : kUnwatchedEvery)) return;
  }
  const double scale = std::min({1.0, static_cast<double>(kWidth) / bitmap.Width(),
                                 static_cast<double>(kHeight) / bitmap.Height()});
  TSmallFrame small;
  small.Width = std::max(1, static_cast<std::int32_t>(bitmap.Width() * scale));
  small.Height = std::max(1, static_cast<std::int32_t>(bitmap.Height() * scale));
  small.Pixels.resize(static_cast<std::size_t>(small.Width) * small.Height);
  const TPixels pixels{bitmap.Bits(), bitmap.Width(), bitmap.Height()};
  const double blockWidth = static_cast<double>(bitmap.Width()) / small.Width;
  const double blockHeight = static_cast<double>(bitmap.Height()) / small.Height;
  for (std::int32_t y = 0; y < small.Height; ++y) {
    for (std::int32_t x = 0; x < small.Width; ++x) {
      small.Pixels[static_cast<std::size_t>(y) * small.Width + x] =
          blockMean(pixels, x * blockWidth, y * blockHeight, blockWidth, blockHeight);
    }
  }
  const std::lock_guard lock(fLock);
  fLatest = std::move(small);
  ++fMade;
  fLastMade = now;
}

std::optional<std::vector<std::uint8_t>> TFramePreview::Png() {
  TSmallFrame frame;
  std::uint64_t made = 0;
  {
    const std::lock_guard lock(fLock);
    fLastAsked = fClock();
    if (fMade == 0) return std::nullopt;
    if (fEncoded == fMade) return fPng;
    frame = fLatest;
    made = fMade;
  }
  TBitmap32 bitmap;
  bitmap.Resize(frame.Width, frame.Height);
  std::copy(frame.Pixels.begin(), frame.Pixels.end(), bitmap.Bits().begin());
  std::vector<std::uint8_t> png = EncodePng(bitmap);
  const std::lock_guard lock(fLock);
  fPng = png;
  fEncoded = made;
  return png;
}

}  // namespace lumora::control

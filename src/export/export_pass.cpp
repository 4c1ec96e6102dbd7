#include "export/export_pass_p.h"

#include <string>

#include "export/frame_fitter_p.h"

namespace lumora {

namespace {

// A frame larger than the default box is fitted into it: a movie of a few
// bytes may state a frame of hundreds of millions of pixels.
TPoint defaultSize(const TBitmap32& first) {
  if (first.Width() <= kDefaultVideoWidth && first.Height() <= kDefaultVideoHeight) {
    return {first.Width(), first.Height()};
  }
  const TRect fitted = FitIntoBox(first.Width(), first.Height(), kDefaultVideoWidth, kDefaultVideoHeight);
  return {fitted.Width(), fitted.Height()};
}

}  // namespace

TPictureSize PictureSize(TVideoFormat format, const TExportOptions& options, const TBitmap32& first) {
  const bool asked = options.Width > 0 && options.Height > 0;
  const TPoint size = asked ? TPoint{options.Width, options.Height} : defaultSize(first);
  const std::string problem = VideoSizeProblem(format, size.X, size.Y);
  if (!problem.empty()) throw EVideoExport(problem);
  if (format == vfGif || format == vfApng) return {size.X, size.Y, size.X, size.Y};
  return {size.X, size.Y, size.X + (size.X & 1), size.Y + (size.Y & 1)};
}

std::int64_t PassLength(const TFrameSource& source) {
  const std::int64_t count = source.FrameCount();
  if (count <= 0) throw EVideoExport("the show has no frames");
  return count;
}

TSourceFrame PullFrame(TFrameSource& source, std::int64_t index) {
  const TSourceFrame frame = source.NextFrame();
  if (frame.Bitmap == nullptr || frame.Bitmap->IsEmpty()) {
    throw EVideoExport("frame " + std::to_string(index) + " has no picture");
  }
  if (frame.DurationMs < 1 || frame.DurationMs > kMaxFrameDurationMs) {
    throw EVideoExport("frame " + std::to_string(index) + " lasts " + std::to_string(frame.DurationMs) +
                       " ms; a frame lasts 1 to " + std::to_string(kMaxFrameDurationMs) + " ms");
  }
  return frame;
}

}  // namespace lumora

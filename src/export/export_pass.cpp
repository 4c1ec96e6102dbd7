#include "export/export_pass_p.h"

#include <string>

namespace lumora {

namespace {

std::string sizeText(std::int32_t width, std::int32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

TPictureSize PictureSize(const TExportOptions& options, const TBitmap32& first, bool evenSize) {
  const bool asked = options.Width > 0 && options.Height > 0;
  const std::int32_t width = asked ? options.Width : first.Width();
  const std::int32_t height = asked ? options.Height : first.Height();
  if (width > kMaxVideoSide || height > kMaxVideoSide) {
    throw EVideoExport("a picture of " + sizeText(width, height) + " pixels is larger than a video can be (" +
                       std::to_string(kMaxVideoSide) + " a side)");
  }
  if (!evenSize) return {width, height, width, height};
  return {width, height, width + (width & 1), height + (height & 1)};
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

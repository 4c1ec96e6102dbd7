#include "scene/frame_work.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

// A line touches about one pixel per pixel of length along its longer axis,
// and a smooth one two; a segment cannot draw more than it crosses of the
// surface.
std::uint64_t segmentPixels(double dx, double dy, const TBitmap32& surface) {
  const double along = std::max(std::fabs(dx), std::fabs(dy));
  const double most = static_cast<double>(surface.Width()) + surface.Height();
  return 2 * static_cast<std::uint64_t>(std::min(along, most)) + 2;
}

}  // namespace

std::uint64_t PixelsOnSurface(const TRect& r, const TBitmap32& surface) {
  const std::int64_t left = std::max<std::int64_t>(r.Left, 0);
  const std::int64_t top = std::max<std::int64_t>(r.Top, 0);
  const std::int64_t right = std::min<std::int64_t>(r.Right, surface.Width());
  const std::int64_t bottom = std::min<std::int64_t>(r.Bottom, surface.Height());
  if (right <= left || bottom <= top) return 0;
  return static_cast<std::uint64_t>(right - left) * static_cast<std::uint64_t>(bottom - top);
}

std::uint64_t PainterFramePixels(const TGR32Graphics& painter, const TBitmap32& surface) {
  std::uint64_t pixels = 0;
  for (const auto& row : painter.Coverage.CoverageRows) pixels += row.size();
  for (const TRect& r : painter.RegionRects) pixels += PixelsOnSurface(r, surface);
  return pixels + LinePixels(painter.OutlinePoints, surface);
}

std::uint64_t LinePixels(std::span<const TFixedPoint> points, const TBitmap32& surface) {
  std::uint64_t pixels = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    pixels += segmentPixels((static_cast<double>(points[i].X) - points[i - 1].X) / 65536.0,
                            (static_cast<double>(points[i].Y) - points[i - 1].Y) / 65536.0, surface);
  }
  return pixels;
}

std::uint64_t ThinLinePixels(const TGR32Graphics& painter, std::span<const TFixedPoint> points,
                             const TBitmap32& surface) {
  const bool stored = !painter.Coverage.CoverageRows.empty() || !painter.RegionRects.empty() ||
                      !painter.OutlinePoints.empty();
  return stored ? 0 : LinePixels(points, surface);
}

std::uint64_t LinePixels(std::span<const TPoint> points, const TBitmap32& surface) {
  std::uint64_t pixels = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    pixels += segmentPixels(static_cast<double>(points[i].X) - points[i - 1].X,
                            static_cast<double>(points[i].Y) - points[i - 1].Y, surface);
  }
  return pixels;
}

}  // namespace lumora

// Polygon fills of the surface and of TPolygon32: the anti-aliased ones through
// the scan converter, the others by sampling pixel centres.
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "render/bitmap32.h"
#include "render/polygon32.h"
#include "render/scan_converter_p.h"

namespace lumora {

namespace {

using TContourSpans = std::vector<std::span<const TFixedPoint>>;
using TRowPainter = std::function<void(std::span<TColor32> dst, std::int32_t x, std::int32_t y,
                                       std::span<const std::uint8_t> coverage)>;

struct TCrossing {
  double X;
  std::int32_t Dir;
};

// Where the edges cross the horizontal line through the pixel centres of one
// row, with the direction of each edge.
std::vector<TCrossing> rowCrossings(const TContourSpans& contours, std::int64_t centreY) {
  std::vector<TCrossing> crossings;
  for (std::span<const TFixedPoint> contour : contours) {
    for (std::size_t i = 0; i < contour.size(); ++i) {
      const TFixedPoint& a = contour[i];
      const TFixedPoint& b = contour[(i + 1) % contour.size()];
      if (a.Y == b.Y || centreY < std::min(a.Y, b.Y) || centreY >= std::max(a.Y, b.Y)) continue;
      const double t = static_cast<double>(centreY - a.Y) / (static_cast<double>(b.Y) - a.Y);
      crossings.push_back({a.X + t * (static_cast<double>(b.X) - a.X), b.Y > a.Y ? 1 : -1});
    }
  }
  std::sort(crossings.begin(), crossings.end(), [](const TCrossing& l, const TCrossing& r) { return l.X < r.X; });
  return crossings;
}

// The first pixel whose centre lies at or right of a fixed X.
std::int64_t firstPixelFrom(double x) { return static_cast<std::int64_t>(std::ceil((x - kFixedHalf) / kFixedOne)); }

// Marks the pixels of the row whose centres lie inside under the fill rule.
void markSpans(const std::vector<TCrossing>& crossings, bool nonZero, const TRect& clip,
               std::vector<std::uint8_t>& row) {
  std::int32_t winding = 0;
  for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
    winding = nonZero ? winding + crossings[i].Dir : (winding ^ 1);
    if (winding == 0) continue;
    const std::int64_t from = std::max<std::int64_t>(firstPixelFrom(crossings[i].X), clip.Left);
    const std::int64_t to = std::min<std::int64_t>(firstPixelFrom(crossings[i + 1].X), clip.Right);
    for (std::int64_t x = from; x < to; ++x) row[static_cast<std::size_t>(x - clip.Left)] = 255;
  }
}

// Rows of full coverage for the pixels whose centres the contours enclose,
// in the same form as the scan converter's masks.
void centreCoverage(const TContourSpans& contours, const TBitmap32& surface, bool nonZero, TCoverageMask& mask) {
  const TRect clip = surface.ClipRect();
  if (IsRectEmpty(clip)) return;
  TFixed top = 0;
  TFixed bottom = 0;
  bool any = false;
  for (std::span<const TFixedPoint> contour : contours) {
    for (const TFixedPoint& p : contour) {
      top = any ? std::min(top, p.Y) : p.Y;
      bottom = any ? std::max(bottom, p.Y) : p.Y;
      any = true;
    }
  }
  if (!any) return;
  const std::int64_t firstRow = std::max<std::int64_t>(firstPixelFrom(top), clip.Top);
  const std::int64_t endRow = std::min<std::int64_t>(firstPixelFrom(bottom), clip.Bottom);
  for (std::int64_t y = firstRow; y < endRow; ++y) {
    const std::vector<TCrossing> crossings = rowCrossings(contours, y * kFixedOne + kFixedHalf);
    if (crossings.size() < 2) continue;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(clip.Width()));
    markSpans(crossings, nonZero, clip, row);
    mask.RowOrigins.push_back({clip.Left, static_cast<std::int32_t>(y)});
    mask.CoverageRows.push_back(std::move(row));
  }
}

// Hands every row of a mask, cut to the surface, to the painter.
void paintRows(TBitmap32& surface, const TCoverageMask& mask, const TRowPainter& paint) {
  const TPoints& origins = mask.RowOrigins;
  const TArrayofByteArray& rows = mask.CoverageRows;
  for (std::size_t k = 0; k < origins.size() && k < rows.size(); ++k) {
    const TPoint origin = origins[k];
    if (origin.Y < 0 || origin.Y >= surface.Height()) continue;
    const std::int64_t from = std::max<std::int64_t>(0, -std::int64_t{origin.X});
    const std::int64_t to =
        std::min<std::int64_t>(static_cast<std::int64_t>(rows[k].size()), std::int64_t{surface.Width()} - origin.X);
    if (from >= to) continue;
    const auto x = static_cast<std::int32_t>(origin.X + from);
    const auto length = static_cast<std::size_t>(to - from);
    paint({surface.PixelAddress(x, origin.Y), length}, x, origin.Y,
          std::span<const std::uint8_t>(rows[k]).subspan(static_cast<std::size_t>(from), length));
  }
}

// A colour weighted by coverage; full coverage of an opaque colour stores it.
TRowPainter colourPainter(TColor32 colour) {
  return [colour](std::span<TColor32> dst, std::int32_t, std::int32_t, std::span<const std::uint8_t> coverage) {
    const bool opaque = AlphaComponent(colour) == 255;
    for (std::size_t i = 0; i < dst.size(); ++i) {
      if (coverage[i] == 0) continue;
      dst[i] = coverage[i] == 255 && opaque ? colour : BlendPixel(colour, dst[i], coverage[i]);
    }
  };
}

TFixedRect contoursBounds(const TContourSpans& contours) {
  TBoundsBuilder<TFixedRect> bounds;
  for (std::span<const TFixedPoint> contour : contours) {
    for (const TFixedPoint& p : contour) bounds.Add(p);
  }
  return bounds.Box();
}

// Computes the mask of the contours and paints it, inside one update bracket
// followed by one change notification.
void fillContours(TBitmap32& surface, const TContourSpans& contours, bool antialiased, std::int32_t level,
                  bool nonZero, const TRowPainter& paint) {
  TCoverageMask mask;
  {
    TUpdateBracket bracket(surface);
    if (antialiased) {
      scan::ComputeCoverageMask(mask, surface, contours, nullptr, level, nonZero);
    } else {
      centreCoverage(contours, surface, nonZero, mask);
    }
    paintRows(surface, mask, paint);
  }
  if (!mask.RowOrigins.empty()) surface.Changed(RectFromFixedRect(contoursBounds(contours), RoundOutside));
}

TContourSpans polygonContours(const TPolygon32& polygon) {
  const TArrayOfArrayOfFixedPoint& points = polygon.Points();
  return TContourSpans(points.begin(), points.end());
}

std::uint8_t scale255(std::uint32_t a, std::uint32_t b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

std::int32_t wrapIndex(std::int64_t v, std::int32_t size) {
  const std::int64_t m = v % size;
  return static_cast<std::int32_t>(m < 0 ? m + size : m);
}

}  // namespace

void TBitmap32::PolygonFill(std::span<const TFixedPoint> points, TColor32 c, TPolyFillMode mode) {
  if (points.size() < 3 || AlphaComponent(c) == 0) return;
  fillContours(*this, {points}, false, 0, mode == pfWinding, colourPainter(c));
}

void TBitmap32::PolygonFillSmooth(std::span<const TFixedPoint> points, TColor32 c, TPolyFillMode mode,
                                  std::int32_t level) {
  if (points.size() < 3 || AlphaComponent(c) == 0) return;
  fillContours(*this, {points}, true, level, mode == pfWinding, colourPainter(c));
}

void TBitmapPolygonFiller::FillLine(std::span<TColor32> dst, std::int32_t x, std::int32_t y,
                                    std::span<const std::uint8_t> coverage) const {
  if (Pattern == nullptr || Pattern->IsEmpty() || Pattern->DrawMode == dmTransparent) return;
  const TBitmap32& pattern = *Pattern;
  const std::int32_t py = wrapIndex(std::int64_t{y} - OffsetY, pattern.Height());
  for (std::size_t i = 0; i < dst.size(); ++i) {
    const std::uint8_t m = coverage[i];
    if (m == 0) continue;
    const std::int32_t px = wrapIndex(std::int64_t{x} + static_cast<std::int64_t>(i) - OffsetX, pattern.Width());
    const TColor32 p = pattern.ReadPixel(px, py);
    const std::uint8_t weight = scale255(pattern.MasterAlpha, m);
    switch (pattern.DrawMode) {
      case dmOpaque:
        dst[i] = m == 255 ? (p | 0xFF000000) : BlendPixel(p | 0xFF000000, dst[i], m);
        break;
      case dmBlend:
        dst[i] = pattern.CombineMode == cmMerge ? MergeReg(p, dst[i], weight) : BlendReg(p, dst[i], weight);
        break;
      case dmCustom:
        if (pattern.OnPixelCombine) pattern.OnPixelCombine(p, dst[i], weight);
        break;
      case dmTransparent:
        break;
    }
  }
}

void TPolygon32::FillOnSurface(TBitmap32& surface, TColor32 colour) const {
  if (AlphaComponent(colour) == 0) return;
  fillContours(surface, polygonContours(*this), Antialiased, AntialiasLevel, FillMode == pfWinding,
               colourPainter(colour));
}

void TPolygon32::FillWithPattern(TBitmap32& surface, const TBitmapPolygonFiller& filler) const {
  if (filler.Pattern == nullptr || filler.Pattern->IsEmpty() || filler.Pattern->DrawMode == dmTransparent) return;
  fillContours(surface, polygonContours(*this), Antialiased, AntialiasLevel, FillMode == pfWinding,
               [&filler](std::span<TColor32> dst, std::int32_t x, std::int32_t y,
                         std::span<const std::uint8_t> coverage) { filler.FillLine(dst, x, y, coverage); });
}

}  // namespace lumora

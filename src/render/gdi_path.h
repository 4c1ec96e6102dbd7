// Paths and regions: the outline flattening, widening, region and hit-test
// services the drawing code and the scene rest on.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "render/bitmap32.h"
#include "render/geometry.h"

namespace lumora {

// Point types of a path, as the Windows path functions report them.
enum TPathPointType : std::uint8_t {
  PT_CLOSEFIGURE = 1,
  PT_LINETO = 2,
  PT_BEZIERTO = 4,
  PT_MOVETO = 6,
};

// Widening refuses paths with a coordinate or a pen width beyond ±2^27, so
// that the widened outline still fits 32-bit device units.
inline constexpr std::int32_t kMaxWidenCoordinate = 1 << 27;

// A path of figures made of lines and cubic Béziers in integer device units.
// The current position starts at (0, 0). Point lists whose count GDI refuses
// (fewer than 2 points for a polyline or polygon, not 3k for PolyBezierTo,
// not 3k + 1 with k >= 1 for PolyBezier) add nothing.
class TGdiPath {
 public:
  // Starts a figure; a figure holding only its move-to point is replaced.
  void MoveTo(const TPoint& p);
  // Continues the open figure, or starts one at the current position when
  // the last figure is closed or does not end there.
  void LineTo(const TPoint& p);
  // Three points per cubic piece, continuing from the current position.
  void PolyBezierTo(std::span<const TPoint> points);
  // A new figure at points[0], then 3k further points. Like Polyline and
  // Polygon it leaves the current position where it was, as GDI does.
  void PolyBezier(std::span<const TPoint> points);
  // A new figure through all points.
  void Polyline(std::span<const TPoint> points);
  // A new closed figure through all points.
  void Polygon(std::span<const TPoint> points);
  // Closes the last figure; the current position returns to its start.
  void CloseFigure();
  TPoint CurrentPosition() const { return fCurrent; }

  const TPoints& Points() const { return fPoints; }
  const std::vector<std::uint8_t>& Types() const { return fTypes; }
  bool IsEmpty() const { return fPoints.empty(); }

  // Every Bézier replaced by line segments that stay within a quarter pixel
  // of the curve (before rounding to device units); the curve's end points
  // are kept.
  TGdiPath Flattened() const;
  // The outline of the path stroked by a pen of the given width with flat
  // caps and round joins, as closed line figures (each starting at its top
  // left point, in the order of those points; half units round up); a
  // width of 1 or less leaves the path unchanged. Throws std::out_of_range beyond
  // kMaxWidenCoordinate.
  TGdiPath Widened(std::int32_t penWidth) const;
  // The figures of a flattened path as polygons in 16.16 fixed point, one
  // contour per figure of at least two points. Throws std::out_of_range for
  // a coordinate that 16.16 cannot hold (beyond -32768 … 32767).
  TArrayOfArrayOfFixedPoint FixedFigures() const;

 private:
  TPoints fPoints;
  std::vector<std::uint8_t> fTypes;
  TPoint fCurrent;
  std::size_t fFigureStart = 0;
};

enum TRegionCombine : std::uint8_t { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

// Polygon and path regions refuse, with std::out_of_range, a coordinate
// beyond ±kMaxRegionCoordinate (the inside test stays exact in 64 bits), a
// bounding box wider or taller than kMaxRegionExtent pixels (the scan
// visits every row of the box) and edges that cross more than
// kMaxRegionCrossings rows in all (the scan visits every such crossing).
inline constexpr std::int32_t kMaxRegionCoordinate = 1 << 27;
inline constexpr std::int32_t kMaxRegionExtent = 1 << 15;
inline constexpr std::int64_t kMaxRegionCrossings = std::int64_t{1} << 27;

// A set of pixels kept as rectangles: bands from top to bottom, rectangles
// within a band from left to right, none overlapping; consecutive rows with
// the same rectangles share one band.
class TGdiRegion {
 public:
  TGdiRegion() = default;
  // Reversed sides are swapped; an empty rectangle gives an empty region.
  static TGdiRegion FromRect(const TRect& r);
  // The pixels whose centres lie inside the polygon under the fill rule, an
  // edge passing exactly through a centre counting it in on its left and top.
  static TGdiRegion FromPolygon(std::span<const TPoint> points, TPolyFillMode mode);
  static TGdiRegion FromPolyPolygon(std::span<const TPoints> polygons, TPolyFillMode mode);
  // The pixels inside the path's closed figures (open figures are closed).
  static TGdiRegion FromPath(const TGdiPath& path, TPolyFillMode mode);

  // This region combined with the other; RGN_COPY gives this region. An
  // unknown mode throws std::invalid_argument.
  TGdiRegion Combine(const TGdiRegion& other, TRegionCombine mode) const;

  const TRects& Rects() const { return fRects; }
  // The smallest rectangle around every pixel; all zero when empty.
  TRect Box() const;
  bool IsEmpty() const { return fRects.empty(); }
  bool Contains(const TPoint& p) const;

 private:
  TRects fRects;
};

}  // namespace lumora

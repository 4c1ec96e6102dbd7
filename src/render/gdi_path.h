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

// A path of figures made of lines and cubic Béziers in integer device units.
class TGdiPath {
 public:
  void MoveTo(const TPoint& p);
  void LineTo(const TPoint& p);
  // Three points per cubic piece, continuing from the current position.
  void PolyBezierTo(std::span<const TPoint> points);
  // A new figure at points[0], then 3k further points.
  void PolyBezier(std::span<const TPoint> points);
  // A new figure through all points.
  void Polyline(std::span<const TPoint> points);
  void Polygon(std::span<const TPoint> points);
  void CloseFigure();
  TPoint CurrentPosition() const { return fCurrent; }

  const TPoints& Points() const { return fPoints; }
  const std::vector<std::uint8_t>& Types() const { return fTypes; }
  bool IsEmpty() const { return fPoints.empty(); }

  // Every Bézier replaced by line segments.
  TGdiPath Flattened() const;
  // The outline of the path stroked by a pen of the given width with flat
  // caps and round joins, as closed line figures; a width of 1 or less
  // leaves the path unchanged.
  TGdiPath Widened(std::int32_t penWidth) const;
  // The figures of a flattened path as polygons in 16.16 fixed point.
  TArrayOfArrayOfFixedPoint FixedFigures() const;

 private:
  TPoints fPoints;
  std::vector<std::uint8_t> fTypes;
  TPoint fCurrent;
  std::size_t fFigureStart = 0;
};

enum TRegionCombine : std::uint8_t { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

// A set of pixels kept as rectangles: bands from top to bottom, rectangles
// within a band from left to right, none overlapping.
class TGdiRegion {
 public:
  TGdiRegion() = default;
  static TGdiRegion FromRect(const TRect& r);
  // The pixels whose centres lie inside the polygon under the fill rule, an
  // edge passing exactly through a centre counting it in on its left and top.
  static TGdiRegion FromPolygon(std::span<const TPoint> points, TPolyFillMode mode);
  static TGdiRegion FromPolyPolygon(std::span<const TPoints> polygons, TPolyFillMode mode);
  // The pixels inside the path's closed figures (open figures are closed).
  static TGdiRegion FromPath(const TGdiPath& path, TPolyFillMode mode);

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

// Cubic Bézier geometry in 16.16: the control points of ellipses and arcs,
// the bounds of a chain, and flattening into polylines with the tolerance
// and clipping every drawing object uses.
#pragma once

#include <cstdint>
#include <span>

#include "render/bitmap32.h"
#include "render/geometry.h"

namespace lumora {

// Eight pixels: the Manhattan length below which a Bézier piece is flat.
inline constexpr TFixed FlattenTolerance = 8 << 16;
inline constexpr long double EllipseFactor = 0.26521648984L;

// 3k + 1 points with k ≥ 1: a chain of k cubic pieces.
inline bool IsBezierCount(std::size_t n) { return n >= 4 && (n - 1) % 3 == 0; }

// The halves of the cubic (a, b, c, d) at t = 1/2 by de Casteljau's
// construction, with the midpoint rule of the point type: the first half is
// (a, Left1, Left2, Middle), the second (Middle, Right1, Right2, d).
template <class TPointType>
struct TCubicHalves {
  TPointType Left1, Left2, Middle, Right1, Right2;
};

template <class TPointType, class TMidpoint>
TCubicHalves<TPointType> SplitCubic(const TPointType& a, const TPointType& b, const TPointType& c,
                                    const TPointType& d, TMidpoint mid) {
  const TPointType ab = mid(a, b);
  const TPointType bc = mid(b, c);
  const TPointType cd = mid(c, d);
  const TPointType abc = mid(ab, bc);
  const TPointType bcd = mid(bc, cd);
  return {ab, abc, mid(abc, bcd), bcd, cd};
}

// 13 control points: four cubic pieces from the left middle of the box over
// the top, the right and the bottom back to the left middle.
TArrayOfFixedPoint EllipseBezier(TFixed l, TFixed t, TFixed r, TFixed b);
TArrayOfFixedPoint EllipseBezier(const TPoint& topLeft, const TPoint& bottomRight);
// Control points of the arc of the ellipse in the box, angles in radians
// growing counter-clockwise on screen; equal angles give the whole ellipse.
TArrayOfFixedPoint ArcBezier(const TPoint& p1, const TPoint& p2, double startAngle, double endAngle);
// The box of the flattened chain, or of the points when they are not a chain.
TFixedRect BezierBounds(std::span<const TFixedPoint> points);
// The on-curve ends of the pieces the Bézier is cut into. Pieces whose
// control points all lie outside one side of a clip rectangle (when one is
// given and not all zero) stay whole.
TArrayOfFixedPoint FlattenBezier(std::span<const TFixedPoint> points, TFixed tolerance = FlattenTolerance,
                                 const TFixedRect* clip = nullptr);
// Flattens into output unless every point lies outside the surface on one
// side; then output is left as it is and the answer is false.
bool FlattenBezierVisible(std::span<const TFixedPoint> points, const TBitmap32& surface,
                          TArrayOfFixedPoint& output);
// 1 right, 3 below, 0 left, 2 above, 4 inside, tested in that order.
std::int32_t OutCode(const TFixedPoint& p, const TFixedRect& r);

}  // namespace lumora

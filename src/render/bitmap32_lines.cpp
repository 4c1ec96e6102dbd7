// One-pixel lines of TBitmap32: aliased, blended and anti-aliased, with the
// polylines built on them.
#include <algorithm>
#include <cstdlib>

#include "render/bitmap32.h"
#include "render/wide_math_p.h"

namespace lumora {

namespace {

using wide::ceilDiv;
using wide::floorDiv;
using wide::kOne;
using wide::Wide;

// The bounding rectangle of the pixels an operation wrote.
class TouchedArea {
 public:
  void add(std::int32_t x, std::int32_t y) {
    fRect = fEmpty ? TRect{x, y, x + 1, y + 1}
                   : TRect{std::min(fRect.Left, x), std::min(fRect.Top, y), std::max(fRect.Right, x + 1),
                           std::max(fRect.Bottom, y + 1)};
    fEmpty = false;
  }
  void notify(TBitmap32& surface) const {
    if (!fEmpty) surface.Changed(fRect);
  }

 private:
  TRect fRect;
  bool fEmpty = true;
};

// Walks a segment along its major axis a (b is the minor axis), both in 16.16.
// Visits every pixel column k of [lo, hi) whose centre k lies in [a1, a2) when
// walking forwards or in (a2, a1] when walking backwards, so that a chain of
// segments visits each joint once; visit(k, b) gets the minor coordinate there.
template <class Visit>
void walkSegment(std::int64_t a1, std::int64_t b1, std::int64_t a2, std::int64_t b2, std::int64_t lo, std::int64_t hi,
                 Visit visit) {
  if (a1 == a2) return;
  const bool forwards = a2 > a1;
  const std::int64_t length = forwards ? a2 - a1 : a1 - a2;
  std::int64_t colLo = forwards ? ceilDiv(a1, kOne) : floorDiv(a2, kOne) + 1;
  std::int64_t colHi = forwards ? ceilDiv(a2, kOne) - 1 : floorDiv(a1, kOne);
  colLo = std::max(colLo, lo);
  colHi = std::min(colHi, hi - 1);
  if (colLo > colHi) return;

  // b = b1 + d × (b2 − b1) / length, d the distance walked from a1, kept as a
  // quotient and a remainder so that each column costs two additions.
  const std::int64_t first = forwards ? colLo : colHi;
  const std::int64_t db = b2 - b1;
  const Wide startNum = Wide{forwards ? first * kOne - a1 : a1 - first * kOne} * db;
  std::int64_t q = floorDiv(startNum, length);
  std::int64_t rem = static_cast<std::int64_t>(startNum - Wide{q} * length);
  const Wide stepNum = Wide{kOne} * db;
  const std::int64_t dq = floorDiv(stepNum, length);
  const std::int64_t drem = static_cast<std::int64_t>(stepNum - Wide{dq} * length);
  const std::int64_t step = forwards ? 1 : -1;
  for (std::int64_t k = first, n = colHi - colLo + 1; n > 0; --n, k += step) {
    visit(k, b1 + q);
    q += dq;
    rem += drem;
    if (rem >= length) {
      rem -= length;
      ++q;
    }
  }
}

// Calls plot(x, y, weight) for the pixels inside the clip rectangle of the
// line between two 16.16 ends, pixel centres on whole coordinates. Aliased
// lines take the nearest pixel across the major axis with weight 255; smooth
// lines split 255 between the two pixels around the exact position.
template <class Plot>
void traceLine(const TRect& clip, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, bool smooth,
               Plot plot) {
  const bool xMajor = std::abs(x2 - x1) >= std::abs(y2 - y1);
  const std::int64_t minorLo = xMajor ? clip.Top : clip.Left;
  const std::int64_t minorHi = xMajor ? clip.Bottom : clip.Right;
  auto put = [&](std::int64_t k, std::int64_t minor, std::int32_t weight) {
    if (minor < minorLo || minor >= minorHi || weight == 0) return;
    const auto major = static_cast<std::int32_t>(k);
    const auto other = static_cast<std::int32_t>(minor);
    if (xMajor) {
      plot(major, other, weight);
    } else {
      plot(other, major, weight);
    }
  };
  auto visit = [&](std::int64_t k, std::int64_t b) {
    if (!smooth) {
      put(k, (b + kFixedHalf) >> 16, 255);
      return;
    }
    const auto fraction = static_cast<std::int32_t>((b >> 8) & 255);
    put(k, b >> 16, 255 - fraction);
    put(k, (b >> 16) + 1, fraction);
  };
  if (xMajor) {
    walkSegment(x1, y1, x2, y2, clip.Left, clip.Right, visit);
  } else {
    walkSegment(y1, x1, y2, x2, clip.Top, clip.Bottom, visit);
  }
}

std::int64_t wideFixed(std::int32_t n) { return std::int64_t{n} * kOne; }

TColor32 combineWeighted(TCombineMode mode, TColor32 c, TColor32 b, std::uint8_t weight) {
  return mode == cmMerge ? MergeReg(c, b, weight) : BlendReg(c, b, weight);
}

// The line kinds on 16.16 ends; each records what it wrote.
void opaqueLine(TBitmap32& s, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, TColor32 c,
                TouchedArea& area) {
  traceLine(s.ClipRect(), x1, y1, x2, y2, false, [&](std::int32_t x, std::int32_t y, std::int32_t) {
    s.WritePixel(x, y, c);
    area.add(x, y);
  });
}

void blendLine(TBitmap32& s, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, TColor32 c,
               bool smooth, TouchedArea& area) {
  traceLine(s.ClipRect(), x1, y1, x2, y2, smooth, [&](std::int32_t x, std::int32_t y, std::int32_t weight) {
    TColor32* p = s.PixelAddress(x, y);
    *p = combineWeighted(s.CombineMode, c, *p, static_cast<std::uint8_t>(weight));
    area.add(x, y);
  });
}

void blendPoint(TBitmap32& s, std::int32_t x, std::int32_t y, TColor32 c, TouchedArea& area) {
  if (!PtInRect(s.ClipRect(), {x, y})) return;
  TColor32* p = s.PixelAddress(x, y);
  *p = combineWeighted(s.CombineMode, c, *p, 255);
  area.add(x, y);
}

// Segments between consecutive points, plus the closing one; a single closed
// point is one pixel at its rounded position.
template <class Segment>
void tracePolyline(TBitmap32& s, std::span<const TFixedPoint> points, TColor32 c, bool closed, Segment segment) {
  TouchedArea area;
  if (points.size() == 1 && closed) {
    blendPoint(s, FixedRound(points[0].X), FixedRound(points[0].Y), c, area);
  } else if (points.size() > 1) {
    for (std::size_t i = 1; i < points.size(); ++i) segment(points[i - 1], points[i], area);
    if (closed) segment(points.back(), points.front(), area);
  }
  area.notify(s);
}

}  // namespace

void TBitmap32::LineOpaque(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 c) {
  TouchedArea area;
  opaqueLine(*this, wideFixed(x1), wideFixed(y1), wideFixed(x2), wideFixed(y2), c, area);
  area.notify(*this);
}

void TBitmap32::LineBlend(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 c) {
  TouchedArea area;
  blendLine(*this, wideFixed(x1), wideFixed(y1), wideFixed(x2), wideFixed(y2), c, false, area);
  area.notify(*this);
}

void TBitmap32::LineSmooth(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 c) {
  TouchedArea area;
  blendLine(*this, wideFixed(x1), wideFixed(y1), wideFixed(x2), wideFixed(y2), c, true, area);
  area.notify(*this);
}

// A position within one pixel left of or above the clip rectangle still
// lends its lower weight to the first clip column or row; tracing the whole
// line and writing only inside the clip rectangle keeps that share.
void TBitmap32::LineSmoothFixed(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c) {
  TouchedArea area;
  blendLine(*this, x1, y1, x2, y2, c, true, area);
  area.notify(*this);
}

void TBitmap32::LineToFixed(TFixed x, TFixed y) {
  LineSmoothFixed(fPenPosFixed.X, fPenPosFixed.Y, x, y, PenColor);
  fPenPosFixed = {x, y};
}

void TBitmap32::PolylineBlend(std::span<const TFixedPoint> points, TColor32 c, bool closed) {
  tracePolyline(*this, points, c, closed, [&](const TFixedPoint& p, const TFixedPoint& q, TouchedArea& area) {
    blendLine(*this, wideFixed(FixedRound(p.X)), wideFixed(FixedRound(p.Y)), wideFixed(FixedRound(q.X)),
              wideFixed(FixedRound(q.Y)), c, false, area);
  });
}

void TBitmap32::PolylineSmooth(std::span<const TFixedPoint> points, TColor32 c, bool closed) {
  tracePolyline(*this, points, c, closed, [&](const TFixedPoint& p, const TFixedPoint& q, TouchedArea& area) {
    blendLine(*this, wideFixed(FixedRound(p.X)), wideFixed(FixedRound(p.Y)), wideFixed(FixedRound(q.X)),
              wideFixed(FixedRound(q.Y)), c, true, area);
  });
}

// Draws as a chain of LineToFixed in colour c and leaves the pen on the last
// point reached.
void TBitmap32::PolylineSmoothFixed(std::span<const TFixedPoint> points, TColor32 c, bool closed) {
  tracePolyline(*this, points, c, closed, [&](const TFixedPoint& p, const TFixedPoint& q, TouchedArea& area) {
    blendLine(*this, p.X, p.Y, q.X, q.Y, c, true, area);
    fPenPosFixed = q;
  });
}

}  // namespace lumora

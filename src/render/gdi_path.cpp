#include "render/gdi_path.h"

#include <polyclipping/clipper.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <tuple>

#include "render/bezier.h"

namespace lumora {
namespace {

// A curve is flat when its control points lie within this distance (in
// pixels) of its chord: the curve stays inside their hull, so the chord is
// then within the same distance of the curve.
constexpr double kFlatness = 0.25;
// 2^16 pieces per cubic at most, so hostile control points cannot make the
// flattening run away; curves that large are flat enough at that depth.
constexpr int kMaxFlattenDepth = 16;
// Widening works on device units scaled by 256 so that round joins and half
// pixel pen widths stay precise before they are rounded back.
constexpr int kWidenShift = 8;
constexpr std::int64_t kWidenScale = std::int64_t{1} << kWidenShift;
// Round joins keep within 1/16 pixel of the true arc, well below the
// rounding to device units, so that small joins still get several points.
constexpr double kArcTolerance = kWidenScale / 16.0;
// Round joins of very wide pens get no more points than this per full turn.
constexpr double kMaxArcSteps = 1024.0;
constexpr std::int32_t kFixedMin = -32768;
constexpr std::int32_t kFixedMax = 32767;

bool hasClose(std::uint8_t type) { return (type & PT_CLOSEFIGURE) != 0; }
std::uint8_t baseType(std::uint8_t type) { return type & ~PT_CLOSEFIGURE; }

using TCurvePoint = TDoublePoint;

TCurvePoint midpoint(const TCurvePoint& a, const TCurvePoint& b) { return {(a.X + b.X) / 2, (a.Y + b.Y) / 2}; }

double squaredDistanceToSegment(const TCurvePoint& p, const TCurvePoint& a, const TCurvePoint& b) {
  const double dx = b.X - a.X;
  const double dy = b.Y - a.Y;
  const double lengthSquared = dx * dx + dy * dy;
  double t = 0;
  if (lengthSquared > 0) t = std::clamp(((p.X - a.X) * dx + (p.Y - a.Y) * dy) / lengthSquared, 0.0, 1.0);
  const double ex = p.X - (a.X + t * dx);
  const double ey = p.Y - (a.Y + t * dy);
  return ex * ex + ey * ey;
}

bool isFlat(const TCurvePoint& a, const TCurvePoint& b, const TCurvePoint& c, const TCurvePoint& d) {
  constexpr double kLimit = kFlatness * kFlatness;
  return squaredDistanceToSegment(b, a, d) <= kLimit && squaredDistanceToSegment(c, a, d) <= kLimit;
}

TPoint roundCurvePoint(const TCurvePoint& p) { return {RoundToInt(p.X), RoundToInt(p.Y)}; }

// The on-curve points after a, without d, by de Casteljau halving.
void subdivideCubic(const TCurvePoint& a, const TCurvePoint& b, const TCurvePoint& c, const TCurvePoint& d,
                    int depth, TPoints& out) {
  if (depth >= kMaxFlattenDepth || isFlat(a, b, c, d)) return;
  const TCubicHalves<TCurvePoint> h = SplitCubic(a, b, c, d, midpoint);
  subdivideCubic(a, h.Left1, h.Left2, h.Middle, depth + 1, out);
  out.push_back(roundCurvePoint(h.Middle));
  subdivideCubic(h.Middle, h.Right1, h.Right2, d, depth + 1, out);
}

TCurvePoint curvePoint(const TPoint& p) { return {static_cast<double>(p.X), static_cast<double>(p.Y)}; }

// The flattened points of one cubic after its start, ending with its end.
TPoints flattenCubic(const TPoint& a, const TPoint& b, const TPoint& c, const TPoint& d) {
  TPoints inner;
  subdivideCubic(curvePoint(a), curvePoint(b), curvePoint(c), curvePoint(d), 0, inner);
  TPoints out;
  TPoint previous = a;
  for (const TPoint& p : inner) {
    if (p == previous) continue;
    out.push_back(p);
    previous = p;
  }
  out.push_back(d);
  return out;
}

struct TFigure {
  TPoints Points;
  bool Closed = false;
};

// The figures of a path holding only lines.
std::vector<TFigure> lineFigures(const TGdiPath& flat) {
  std::vector<TFigure> figures;
  const TPoints& points = flat.Points();
  const std::vector<std::uint8_t>& types = flat.Types();
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (baseType(types[i]) == PT_MOVETO || figures.empty()) figures.emplace_back();
    figures.back().Points.push_back(points[i]);
    if (hasClose(types[i])) figures.back().Closed = true;
  }
  return figures;
}

void checkWidenable(const TGdiPath& path, std::int32_t penWidth) {
  const auto beyond = [](std::int32_t v) { return v > kMaxWidenCoordinate || v < -kMaxWidenCoordinate; };
  if (beyond(penWidth)) throw std::out_of_range("pen width beyond 2^27 cannot be widened");
  for (const TPoint& p : path.Points()) {
    if (beyond(p.X) || beyond(p.Y)) throw std::out_of_range("path coordinate beyond ±2^27 cannot be widened");
  }
}

ClipperLib::Path scaledFigure(const TFigure& figure) {
  ClipperLib::Path path;
  for (const TPoint& p : figure.Points) {
    const ClipperLib::IntPoint q(p.X * kWidenScale, p.Y * kWidenScale);
    if (path.empty() || !(path.back() == q)) path.push_back(q);
  }
  if (figure.Closed && path.size() > 1 && path.front() == path.back()) path.pop_back();
  return path;
}

// Tolerance of the round joins: kArcTolerance, coarser only where a pen is
// so wide that the join would need more than kMaxArcSteps points per turn.
double arcTolerance(double delta) {
  return std::max(kArcTolerance, delta * (1 - std::cos(std::numbers::pi / kMaxArcSteps)));
}

// Halves round up, so that an odd pen width keeps its whole width in device
// units (ties to even would round both sides of a 3-pixel band inwards).
std::int32_t unscale(ClipperLib::cInt v) {
  return static_cast<std::int32_t>((v + kWidenScale / 2) >> kWidenShift);
}

TPoints unscaledRing(const ClipperLib::Path& ring) {
  TPoints points;
  for (const ClipperLib::IntPoint& q : ring) {
    const TPoint p{unscale(q.X), unscale(q.Y)};
    if (points.empty() || points.back() != p) points.push_back(p);
  }
  while (points.size() > 1 && points.front() == points.back()) points.pop_back();
  return points;
}

bool topLeftFirst(const TPoint& a, const TPoint& b) { return std::tie(a.Y, a.X) < std::tie(b.Y, b.X); }

// Each ring starts at its topmost, then leftmost point, and the rings follow
// each other in the order of those points, whatever order Clipper used.
std::vector<TPoints> canonicalRings(const ClipperLib::Paths& solution) {
  std::vector<TPoints> rings;
  for (const ClipperLib::Path& ring : solution) {
    TPoints points = unscaledRing(ring);
    if (points.size() < 3) continue;
    std::rotate(points.begin(), std::min_element(points.begin(), points.end(), topLeftFirst), points.end());
    rings.push_back(std::move(points));
  }
  std::stable_sort(rings.begin(), rings.end(), [](const TPoints& a, const TPoints& b) {
    if (a.front() != b.front()) return topLeftFirst(a.front(), b.front());
    return a.size() < b.size();
  });
  return rings;
}

}  // namespace

void TGdiPath::MoveTo(const TPoint& p) {
  if (!fTypes.empty() && fTypes.back() == PT_MOVETO) {
    fPoints.back() = p;
  } else {
    fPoints.push_back(p);
    fTypes.push_back(PT_MOVETO);
  }
  fFigureStart = fPoints.size() - 1;
  fCurrent = p;
}

void TGdiPath::LineTo(const TPoint& p) {
  if (fPoints.empty() || hasClose(fTypes.back()) || fPoints.back() != fCurrent) MoveTo(fCurrent);
  fPoints.push_back(p);
  fTypes.push_back(PT_LINETO);
  fCurrent = p;
}

void TGdiPath::PolyBezierTo(std::span<const TPoint> points) {
  if (points.empty() || points.size() % 3 != 0) return;
  if (fPoints.empty() || hasClose(fTypes.back()) || fPoints.back() != fCurrent) MoveTo(fCurrent);
  for (const TPoint& p : points) {
    fPoints.push_back(p);
    fTypes.push_back(PT_BEZIERTO);
  }
  fCurrent = points.back();
}

void TGdiPath::PolyBezier(std::span<const TPoint> points) {
  if (points.size() < 4 || points.size() % 3 != 1) return;
  const TPoint current = fCurrent;
  MoveTo(points[0]);
  PolyBezierTo(points.subspan(1));
  fCurrent = current;
}

void TGdiPath::Polyline(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  const TPoint current = fCurrent;
  MoveTo(points[0]);
  for (const TPoint& p : points.subspan(1)) {
    fPoints.push_back(p);
    fTypes.push_back(PT_LINETO);
  }
  fCurrent = current;
}

void TGdiPath::Polygon(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  Polyline(points);
  fTypes.back() |= PT_CLOSEFIGURE;
}

void TGdiPath::CloseFigure() {
  if (fTypes.empty() || fTypes.back() == PT_MOVETO || hasClose(fTypes.back())) return;
  fTypes.back() |= PT_CLOSEFIGURE;
  fCurrent = fPoints[fFigureStart];
}

TGdiPath TGdiPath::Flattened() const {
  TGdiPath flat;
  for (std::size_t i = 0; i < fPoints.size(); ++i) {
    const std::uint8_t type = baseType(fTypes[i]);
    if (type == PT_MOVETO) {
      flat.fPoints.push_back(fPoints[i]);
      flat.fTypes.push_back(PT_MOVETO);
      flat.fFigureStart = flat.fPoints.size() - 1;
      continue;
    }
    std::size_t last = i;
    if (type == PT_BEZIERTO && i + 2 < fPoints.size() && i > 0) {
      last = i + 2;
      for (const TPoint& p : flattenCubic(fPoints[i - 1], fPoints[i], fPoints[i + 1], fPoints[i + 2])) {
        flat.fPoints.push_back(p);
        flat.fTypes.push_back(PT_LINETO);
      }
    } else {
      flat.fPoints.push_back(fPoints[i]);
      flat.fTypes.push_back(PT_LINETO);
    }
    if (hasClose(fTypes[last])) flat.fTypes.back() |= PT_CLOSEFIGURE;
    i = last;
  }
  flat.fCurrent = fCurrent;
  return flat;
}

TGdiPath TGdiPath::Widened(std::int32_t penWidth) const {
  if (penWidth <= 1) return *this;
  checkWidenable(*this, penWidth);
  const double delta = static_cast<double>(penWidth) * kWidenScale / 2;
  ClipperLib::ClipperOffset offset;
  offset.ArcTolerance = arcTolerance(delta);
  for (const TFigure& figure : lineFigures(Flattened())) {
    const ClipperLib::Path path = scaledFigure(figure);
    if (path.size() < 2) continue;
    offset.AddPath(path, ClipperLib::jtRound, figure.Closed ? ClipperLib::etClosedLine : ClipperLib::etOpenButt);
  }
  ClipperLib::Paths solution;
  offset.Execute(solution, delta);
  TGdiPath widened;
  for (const TPoints& ring : canonicalRings(solution)) {
    widened.Polygon(ring);
  }
  widened.fCurrent = fCurrent;
  return widened;
}

TArrayOfArrayOfFixedPoint TGdiPath::FixedFigures() const {
  TArrayOfArrayOfFixedPoint contours;
  for (const TFigure& figure : lineFigures(Flattened())) {
    if (figure.Points.size() < 2) continue;
    TArrayOfFixedPoint contour;
    contour.reserve(figure.Points.size());
    for (const TPoint& p : figure.Points) {
      if (p.X < kFixedMin || p.X > kFixedMax || p.Y < kFixedMin || p.Y > kFixedMax) {
        throw std::out_of_range("path coordinate beyond the 16.16 range");
      }
      contour.push_back(FixedPoint(p));
    }
    contours.push_back(std::move(contour));
  }
  return contours;
}

}  // namespace lumora

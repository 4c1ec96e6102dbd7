#include "render/bezier.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <stdexcept>

namespace lumora {

namespace {

// The flattening buffer a thread's drawing objects share: one per thread,
// and not re-entrant. It starts with room for 512 points and grows, by at
// least 512, whenever it is at least half full minus four points, which
// leaves room for the points emitted between two checks. Its sizes follow
// the same steps on every thread, so a curve flattens alike on any thread.
class TFlattenBuffer {
 public:
  TFlattenBuffer() { fPoints.reserve(fCapacity); }

  void Reset() { fPoints.clear(); }
  void Emit(const TFixedPoint& p) { fPoints.push_back(p); }
  void Emit(const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d) {
    Emit(b);
    Emit(c);
    Emit(d);
  }
  // False when the buffer needed to grow and could not, or would pass its
  // cap; the caller then emits the piece unsplit.
  bool EnsureRoom() {
    if (fPoints.size() + 4 < fCapacity / 2) return true;
    // Growing by the capacity itself (never by less than 512 points) keeps
    // the copying linear for curves of millions of points.
    const std::size_t wanted = fCapacity + std::max(kGrowth, fCapacity);
    if (wanted > kMaxPoints) return false;
    try {
      fPoints.reserve(wanted);
    } catch (const std::bad_alloc&) {
      return false;
    }
    fCapacity = wanted;
    return true;
  }
  const std::vector<TFixedPoint>& Points() const { return fPoints; }

 private:
  static constexpr std::size_t kGrowth = 512;
  // 8 MiB of points (8 million pixels of curve at the 8-pixel tolerance):
  // what a file's curve may make before its pieces stay whole.
  static constexpr std::size_t kMaxPoints = std::size_t{1} << 20;
  std::size_t fCapacity = kGrowth;
  std::vector<TFixedPoint> fPoints;
};

TFlattenBuffer& flattenBuffer() {
  thread_local TFlattenBuffer buffer;
  return buffer;
}

// Every halving shortens a piece by about half, so 32 levels end any curve of
// 32-bit coordinates; the cap only guards against a tolerance of zero.
constexpr int kMaxSubdivisionDepth = 32;

// Halves the sum, truncating toward zero.
TFixedPoint mid(const TFixedPoint& a, const TFixedPoint& b) {
  return {static_cast<TFixed>((std::int64_t{a.X} + b.X) / 2), static_cast<TFixed>((std::int64_t{a.Y} + b.Y) / 2)};
}

std::int64_t manhattan(const TFixedPoint& a, const TFixedPoint& b) {
  return std::llabs(std::int64_t{b.X} - a.X) + std::llabs(std::int64_t{b.Y} - a.Y);
}

std::int64_t polyLength(const TFixedPoint& a, const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d) {
  return manhattan(a, b) + manhattan(b, c) + manhattan(c, d);
}

class TFlattener {
 public:
  TFlattener(TFlattenBuffer& buffer, TFixed tolerance, const TFixedRect* clip)
      : fBuffer(buffer), fTolerance(tolerance), fClip(clip != nullptr && !(*clip == TFixedRect{}) ? clip : nullptr) {}

  void Subdivide(const TFixedPoint& a, const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d,
                 int depth = 0) {
    if ((b == a && c == d) || outsideOneSide(a, b, c, d) || depth >= kMaxSubdivisionDepth ||
        !fBuffer.EnsureRoom()) {
      fBuffer.Emit(b, c, d);
      return;
    }
    const TCubicHalves<TFixedPoint> h = SplitCubic(a, b, c, d, mid);
    if (polyLength(a, h.Left1, h.Left2, h.Middle) > fTolerance) {
      Subdivide(a, h.Left1, h.Left2, h.Middle, depth + 1);
    } else {
      fBuffer.Emit(h.Left1, h.Left2, h.Middle);
    }
    if (polyLength(h.Middle, h.Right1, h.Right2, d) > fTolerance) {
      Subdivide(h.Middle, h.Right1, h.Right2, d, depth + 1);
    } else {
      fBuffer.Emit(h.Right1, h.Right2, d);
    }
  }

 private:
  bool outsideOneSide(const TFixedPoint& a, const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d) const {
    if (fClip == nullptr) return false;
    const std::int32_t code = OutCode(a, *fClip);
    return code != 4 && OutCode(b, *fClip) == code && OutCode(c, *fClip) == code &&
           OutCode(d, *fClip) == code;
  }

  TFlattenBuffer& fBuffer;
  TFixed fTolerance;
  const TFixedRect* fClip;
};

TFixed clampToFixed(std::int64_t v) {
  return static_cast<TFixed>(
      std::clamp<std::int64_t>(v, std::numeric_limits<TFixed>::min(), std::numeric_limits<TFixed>::max()));
}

// Angles from files are whole degrees; more than 512 turns is not an arc.
constexpr double kMaxArcAngle = 1024 * std::numbers::pi;

class TArcBuilder {
 public:
  TArcBuilder(TFixed rx, TFixed ry) : fRx(rx), fRy(ry) {}

  void ArcSegment(double a0, double a1) {
    const double delta = a1 - a0;
    if (100 > std::abs(delta) * (static_cast<double>(fRx) + fRy)) return;
    if (std::abs(delta) >= std::numbers::pi) {
      ArcSegment(a0, a0 + delta / 2);
      ArcSegment(a0 + delta / 2, a1);
      return;
    }
    const double k = (1 - std::cos(delta / 2)) * 4 / 3 / std::sin(delta / 2);
    const double c0 = std::cos(a0);
    const double s0 = std::sin(a0);
    const double c1 = std::cos(a1);
    const double s1 = std::sin(a1);
    if (fPoints.empty()) add(c0, s0);
    add(c0 - s0 * k, s0 + c0 * k);
    add(c1 + s1 * k, s1 - c1 * k);
    add(c1, s1);
  }

  TArrayOfFixedPoint Take() { return std::move(fPoints); }

 private:
  // Y is subtracted, so growing angles run counter-clockwise on screen.
  void add(double cosine, double sine) {
    fPoints.push_back({WrapAdd(fRx, RoundToInt(fRx * cosine)), WrapSub(fRy, RoundToInt(fRy * sine))});
  }

  TFixed fRx;  // the radii, which are also the centre relative to the box
  TFixed fRy;
  TArrayOfFixedPoint fPoints;
};

}  // namespace

TArrayOfFixedPoint EllipseBezier(TFixed l, TFixed t, TFixed r, TFixed b) {
  const auto cx = static_cast<TFixed>((std::int64_t{l} + r) / 2);
  const auto cy = static_cast<TFixed>((std::int64_t{t} + b) / 2);
  const TFixed dx = clampToFixed(static_cast<std::int64_t>((std::int64_t{r} - l) * EllipseFactor));
  const TFixed dy = clampToFixed(static_cast<std::int64_t>((std::int64_t{b} - t) * EllipseFactor));
  return {{l, cy},
          {l, WrapSub(cy, dy)},
          {WrapSub(cx, dx), t},
          {cx, t},
          {WrapAdd(cx, dx), t},
          {r, WrapSub(cy, dy)},
          {r, cy},
          {r, WrapAdd(cy, dy)},
          {WrapAdd(cx, dx), b},
          {cx, b},
          {WrapSub(cx, dx), b},
          {l, WrapAdd(cy, dy)},
          {l, cy}};
}

TArrayOfFixedPoint EllipseBezier(const TPoint& topLeft, const TPoint& bottomRight) {
  return EllipseBezier(FixedFromInt(topLeft.X), FixedFromInt(topLeft.Y), FixedFromInt(bottomRight.X),
                       FixedFromInt(bottomRight.Y));
}

TArrayOfFixedPoint ArcBezier(const TPoint& p1, const TPoint& p2, double startAngle, double endAngle) {
  if (!(std::abs(startAngle) <= kMaxArcAngle && std::abs(endAngle) <= kMaxArcAngle)) {
    throw std::invalid_argument("Arc angles out of range");
  }
  const TFixed rx = FixedFromFloat(static_cast<float>((static_cast<double>(p2.X) - p1.X) / 2));
  const TFixed ry = FixedFromFloat(static_cast<float>((static_cast<double>(p2.Y) - p1.Y) / 2));
  TArcBuilder arc(rx, ry);
  if (endAngle > startAngle) {
    arc.ArcSegment(startAngle, endAngle);
  } else {
    arc.ArcSegment(startAngle, 2 * std::numbers::pi);
    arc.ArcSegment(0, endAngle);
  }
  return arc.Take();
}

TFixedRect BezierBounds(std::span<const TFixedPoint> points) {
  if (IsBezierCount(points.size())) return PointsBounds(FlattenBezier(points));
  return PointsBounds(points);
}

TArrayOfFixedPoint FlattenBezier(std::span<const TFixedPoint> points, TFixed tolerance, const TFixedRect* clip) {
  TFlattenBuffer& buffer = flattenBuffer();
  buffer.Reset();
  if (points.empty()) return {};
  buffer.Emit(points[0]);
  TFlattener flattener(buffer, tolerance, clip);
  for (std::size_t j = 0; 3 * j + 3 < points.size(); ++j) {
    flattener.Subdivide(points[3 * j], points[3 * j + 1], points[3 * j + 2], points[3 * j + 3]);
  }
  // The buffer holds the start followed by point triples whose last points
  // are the on-curve ends.
  const std::vector<TFixedPoint>& emitted = buffer.Points();
  TArrayOfFixedPoint result;
  result.reserve((emitted.size() - 1) / 3 + 1);
  for (std::size_t i = 0; i < emitted.size(); i += 3) result.push_back(emitted[i]);
  return result;
}

bool FlattenBezierVisible(std::span<const TFixedPoint> points, const TBitmap32& surface,
                          TArrayOfFixedPoint& output) {
  const TFixedRect r{0, 0, clampToFixed(std::int64_t{surface.Width()} << 16),
                     clampToFixed(std::int64_t{surface.Height()} << 16)};
  if (points.empty()) return false;
  const std::int32_t code = OutCode(points[0], r);
  if (code != 4 &&
      std::all_of(points.begin(), points.end(), [&](const TFixedPoint& p) { return OutCode(p, r) == code; })) {
    return false;
  }
  output = FlattenBezier(points, FlattenTolerance, &r);
  return true;
}

std::int32_t OutCode(const TFixedPoint& p, const TFixedRect& r) {
  if (p.X > r.Right) return 1;
  if (p.Y > r.Bottom) return 3;
  if (p.X < r.Left) return 0;
  if (p.Y < r.Top) return 2;
  return 4;
}

}  // namespace lumora

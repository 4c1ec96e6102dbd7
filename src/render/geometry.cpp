#include "render/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace lumora {

namespace {

constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t saturate(double integral) {
  if (std::isnan(integral)) return 0;
  if (integral <= kInt32Min) return std::numeric_limits<std::int32_t>::min();
  if (integral >= kInt32Max) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(integral);
}

TFixedPoint fixedFromDouble(const TDoublePoint& p) {
  return FixedPoint(static_cast<float>(p.X), static_cast<float>(p.Y));
}

}  // namespace

std::int32_t RoundToInt(double value) { return saturate(std::nearbyint(value)); }

std::int32_t TruncToInt(double value) { return saturate(std::trunc(value)); }

TFixed FixedFromFloat(float s) { return RoundToInt(static_cast<double>(s) * 65536.0); }

TFixedPoint FixedPoint(std::int32_t x, std::int32_t y) { return {FixedFromInt(x), FixedFromInt(y)}; }
TFixedPoint FixedPoint(float x, float y) { return {FixedFromFloat(x), FixedFromFloat(y)}; }
TFixedPoint FixedPoint(const TFloatPoint& p) { return FixedPoint(p.X, p.Y); }
TFixedPoint FixedPoint(const TPoint& p) { return FixedPoint(p.X, p.Y); }

TFixedRect FixedRect(const TFloatRect& r) {
  return {FixedFromFloat(r.Left), FixedFromFloat(r.Top), FixedFromFloat(r.Right), FixedFromFloat(r.Bottom)};
}
TFixedRect FixedRect(const TRect& r) {
  return {FixedFromInt(r.Left), FixedFromInt(r.Top), FixedFromInt(r.Right), FixedFromInt(r.Bottom)};
}

TFloatPoint FloatPoint(const TFixedPoint& p) { return {FixedToFloat(p.X), FixedToFloat(p.Y)}; }
TFloatPoint FloatPoint(const TPoint& p) { return {static_cast<float>(p.X), static_cast<float>(p.Y)}; }
TFloatRect FloatRect(const TFixedRect& r) {
  return {FixedToFloat(r.Left), FixedToFloat(r.Top), FixedToFloat(r.Right), FixedToFloat(r.Bottom)};
}
TFloatRect FloatRect(const TRect& r) {
  return {static_cast<float>(r.Left), static_cast<float>(r.Top), static_cast<float>(r.Right),
          static_cast<float>(r.Bottom)};
}

TPoint PointFromFixed(const TFixedPoint& p) { return {FixedRound(p.X), FixedRound(p.Y)}; }

TRect RectFromFixedRect(const TFixedRect& r, TRectRounding mode) {
  switch (mode) {
    case RoundOutside:
      return {FixedFloor(r.Left), FixedFloor(r.Top), FixedCeil(r.Right), FixedCeil(r.Bottom)};
    case RoundInside: {
      TRect result{FixedCeil(r.Left), FixedCeil(r.Top), FixedFloor(r.Right), FixedFloor(r.Bottom)};
      result.Right = std::max(result.Right, result.Left);
      result.Bottom = std::max(result.Bottom, result.Top);
      return result;
    }
    case RoundClosest:
      break;
  }
  return {FixedRound(r.Left), FixedRound(r.Top), FixedRound(r.Right), FixedRound(r.Bottom)};
}

TPoint RoundPoint(const TDoublePoint& p) { return {RoundToInt(p.X), RoundToInt(p.Y)}; }

namespace {

template <class TRectType, class TPointType>
TRectType boundsOf(std::span<const TPointType> points) {
  TBoundsBuilder<TRectType> bounds;
  for (const TPointType& p : points) bounds.Add(p);
  return bounds.Box();
}

template <class TRectType>
void uniteBounds(TRectType& into, const TRectType& r) {
  if (IsRectEmpty(r)) return;
  if (IsRectEmpty(into)) {
    into = r;
    return;
  }
  into = {std::min(into.Left, r.Left), std::min(into.Top, r.Top), std::max(into.Right, r.Right),
          std::max(into.Bottom, r.Bottom)};
}

}  // namespace

TFixedRect PointsBounds(std::span<const TFixedPoint> points) { return boundsOf<TFixedRect>(points); }
TFloatRect PointsBounds(std::span<const TFloatPoint> points) { return boundsOf<TFloatRect>(points); }

bool IsRectEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }
bool IsRectEmpty(const TFixedRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

void UniteBounds(TRect& into, const TRect& r) { uniteBounds(into, r); }
void UniteBounds(TFixedRect& into, const TFixedRect& r) { uniteBounds(into, r); }

bool PtInRect(const TRect& r, const TPoint& p) {
  return r.Left <= p.X && p.X < r.Right && r.Top <= p.Y && p.Y < r.Bottom;
}

bool IntersectRectInclusive(TRect& result, const TRect& a, const TRect& b) {
  result = {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
  if (result.Right >= result.Left && result.Bottom >= result.Top) return true;
  result = {};
  return false;
}

TRect UnionRectChecked(const TRect& a, const TRect& b) {
  if (IsRectEmpty(b)) return a;
  TRect result{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
  if (IsRectEmpty(result)) return {};
  return result;
}

TRect InflateRect(const TRect& r, std::int32_t dx, std::int32_t dy) {
  return {r.Left - dx, r.Top - dy, r.Right + dx, r.Bottom + dy};
}

TRect OffsetRect(const TRect& r, std::int32_t dx, std::int32_t dy) {
  return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

TDoublePoint operator+(const TDoublePoint& a, const TDoublePoint& b) { return {a.X + b.X, a.Y + b.Y}; }
TDoublePoint operator-(const TDoublePoint& a, const TDoublePoint& b) { return {a.X - b.X, a.Y - b.Y}; }

double VectorAngle(const TDoublePoint& v) {
  double angle;
  if (v.X != 0) {
    angle = std::atan(v.Y / v.X);
  } else if (v.Y > 0) {
    angle = std::numbers::pi / 2;
  } else if (v.Y == 0) {
    angle = 0;
  } else {
    angle = -std::numbers::pi / 2;
  }
  if (v.X < 0) angle = v.Y >= 0 ? angle - std::numbers::pi : angle + std::numbers::pi;
  if (angle < 0) angle += 2 * std::numbers::pi;
  return angle;
}

double VectorLength(const TDoublePoint& v) {
  const long double x = v.X;
  const long double y = v.Y;
  return static_cast<double>(std::sqrt(x * x + y * y));
}

double AngleBetween(const TDoublePoint& p, const TDoublePoint& q) { return VectorAngle(q - p); }
double DistanceBetween(const TDoublePoint& p, const TDoublePoint& q) { return VectorLength(q - p); }

TDoublePoint RotateVector(const TDoublePoint& v, double angle) {
  const long double c = std::cos(static_cast<long double>(angle));
  const long double s = std::sin(static_cast<long double>(angle));
  return {static_cast<double>(v.X * c - v.Y * s), static_cast<double>(v.X * s + v.Y * c)};
}

TDoublePoint RotateAround(const TDoublePoint& p, const TDoublePoint& centre, double angle) {
  return centre + RotateVector(p - centre, angle);
}

TDoublePoint PolarOffset(const TDoublePoint& p, double distance, double angle) {
  return {p.X + distance * std::cos(angle), p.Y + distance * std::sin(angle)};
}

void OffsetPoints(TArrayOfFixedPoint& points, TFixed dx, TFixed dy) {
  for (TFixedPoint& p : points) {
    p.X = WrapAdd(p.X, dx);
    p.Y = WrapAdd(p.Y, dy);
  }
}

void TransformPoints(TArrayOfFixedPoint& points, const float (&c)[6]) {
  for (TFixedPoint& p : points) {
    const long double x = p.X;
    const long double y = p.Y;
    p = {RoundToInt(static_cast<double>(c[0] * x + c[1] * y + c[4])),
         RoundToInt(static_cast<double>(c[2] * x + c[3] * y + c[5]))};
  }
}

TArrayOfFixedPoint ScalePoints(const TPoints& points, double scale) {
  TArrayOfFixedPoint result;
  result.reserve(points.size());
  for (const TPoint& p : points) {
    result.push_back(FixedPoint(RoundToInt(p.X * scale), RoundToInt(p.Y * scale)));
  }
  return result;
}

TArrayOfFixedPoint StarPoints(std::int32_t tips, double size, double innerPercent) {
  if (tips <= 0) return {};
  const double radius = size / 2;
  const TDoublePoint centre{radius, radius};
  const TDoublePoint outer{radius, 0};
  const TDoublePoint inner{radius, (100 - innerPercent) * radius / 100};
  const std::int32_t last = 2 * tips;
  TArrayOfFixedPoint result(static_cast<std::size_t>(last) + 1);
  result.front() = fixedFromDouble(outer);
  for (std::int32_t i = 1; i < last; ++i) {
    const TDoublePoint& start = i % 2 == 0 ? outer : inner;
    result[i] = fixedFromDouble(RotateAround(start, centre, std::numbers::pi * i / tips));
  }
  result.back() = fixedFromDouble(outer);
  return result;
}

TArrayOfFixedPoint RegularPolygonPoints(std::int32_t corners, double size) {
  if (corners <= 0) return {};
  const float radius = static_cast<float>(size / 2);
  const TDoublePoint centre{radius, radius};
  const TDoublePoint top{radius, 0};
  TArrayOfFixedPoint result(static_cast<std::size_t>(corners) + 1);
  result.front() = fixedFromDouble(top);
  for (std::int32_t i = 1; i < corners; ++i) {
    result[i] = fixedFromDouble(RotateAround(top, centre, 2 * std::numbers::pi * i / corners));
  }
  result.back() = fixedFromDouble(top);
  return result;
}

}  // namespace lumora

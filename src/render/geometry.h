// Number formats of the raster core: 16.16 fixed point, single and double
// points, integer points and rectangles, with every conversion between them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora {

// 16.16 fixed point in a signed 32-bit integer; 65536 is one pixel.
using TFixed = std::int32_t;
inline constexpr TFixed kFixedOne = 0x10000;
inline constexpr TFixed kFixedHalf = 0x8000;

struct TFixedPoint {
  TFixed X = 0;
  TFixed Y = 0;
  friend bool operator==(const TFixedPoint&, const TFixedPoint&) = default;
};
using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;

struct TFixedRect {
  TFixed Left = 0;
  TFixed Top = 0;
  TFixed Right = 0;
  TFixed Bottom = 0;
  friend bool operator==(const TFixedRect&, const TFixedRect&) = default;
};

struct TFloatPoint {
  float X = 0;
  float Y = 0;
  friend bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};

struct TFloatRect {
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
  friend bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

struct TDoublePoint {
  double X = 0;
  double Y = 0;
  friend bool operator==(const TDoublePoint&, const TDoublePoint&) = default;
};

// Windows integer point and rectangle; right and bottom are exclusive.
struct TPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};
using TPoints = std::vector<TPoint>;

struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
  std::int32_t Width() const { return Right - Left; }
  std::int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};
using TRects = std::vector<TRect>;

// Rounding to nearest with ties to even, as the processor rounds by default.
// Values beyond the 32-bit range saturate and NaN gives 0, so that geometry a
// file controls never reaches an undefined conversion.
std::int32_t RoundToInt(double value);
// Truncation toward zero with the same saturation.
std::int32_t TruncToInt(double value);

// 32-bit arithmetic that wraps like the processor's instead of overflowing.
inline std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t WrapSub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
inline std::int32_t WrapShl(std::int32_t a, int shift) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) << shift);
}

inline TFixed FixedFromInt(std::int32_t n) { return WrapShl(n, 16); }
TFixed FixedFromFloat(float s);
inline std::int32_t FixedFloor(TFixed f) { return f >> 16; }
inline std::int32_t FixedCeil(TFixed f) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(f) + 0xFFFF) >> 16);
}
// Halves round up: 0.5 gives 1 and −0.5 gives 0.
inline std::int32_t FixedRound(TFixed f) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(f) + kFixedHalf) >> 16);
}
// (a × b) sar 16 of the 64-bit product.
inline TFixed FixedMul(TFixed a, TFixed b) {
  return static_cast<TFixed>((static_cast<std::int64_t>(a) * b) >> 16);
}
inline float FixedToFloat(TFixed f) { return static_cast<float>(f * (1.0 / 65536.0)); }

TFixedPoint FixedPoint(std::int32_t x, std::int32_t y);
TFixedPoint FixedPoint(float x, float y);
TFixedPoint FixedPoint(const TFloatPoint& p);
TFixedPoint FixedPoint(const TPoint& p);
TFixedRect FixedRect(const TFloatRect& r);
TFixedRect FixedRect(const TRect& r);
TFloatPoint FloatPoint(const TFixedPoint& p);
TFloatPoint FloatPoint(const TPoint& p);
TFloatRect FloatRect(const TFixedRect& r);
TFloatRect FloatRect(const TRect& r);
TPoint PointFromFixed(const TFixedPoint& p);

enum TRectRounding { RoundClosest = 0, RoundOutside = 1, RoundInside = 2 };
TRect RectFromFixedRect(const TFixedRect& r, TRectRounding mode);
TPoint RoundPoint(const TDoublePoint& p);

// The box of points added one by one: Left, Top, Right and Bottom are the
// least and greatest coordinates, all zero before the first point.
template <class TRectType>
class TBoundsBuilder {
 public:
  template <class TPointType>
  void Add(const TPointType& p) {
    if (fEmpty) {
      fBox = {p.X, p.Y, p.X, p.Y};
      fEmpty = false;
      return;
    }
    fBox.Left = std::min(fBox.Left, p.X);
    fBox.Top = std::min(fBox.Top, p.Y);
    fBox.Right = std::max(fBox.Right, p.X);
    fBox.Bottom = std::max(fBox.Bottom, p.Y);
  }
  const TRectType& Box() const { return fBox; }

 private:
  TRectType fBox{};
  bool fEmpty = true;
};

TFixedRect PointsBounds(std::span<const TFixedPoint> points);
TFloatRect PointsBounds(std::span<const TFloatPoint> points);

// Rectangle helpers.
bool IsRectEmpty(const TRect& r);
bool IsRectEmpty(const TFixedRect& r);
// Widens into to cover r; an empty r adds nothing and an empty into becomes
// r, so that empty boxes never stretch a union towards the origin.
void UniteBounds(TRect& into, const TRect& r);
void UniteBounds(TFixedRect& into, const TFixedRect& r);
bool PtInRect(const TRect& r, const TPoint& p);
// Max of lefts and tops, min of rights and bottoms; succeeds when the result
// has Right >= Left and Bottom >= Top, otherwise yields the all-zero rectangle.
bool IntersectRectInclusive(TRect& result, const TRect& a, const TRect& b);
// A unchanged when B is empty, else the covering rectangle; empty becomes zero.
TRect UnionRectChecked(const TRect& a, const TRect& b);
TRect InflateRect(const TRect& r, std::int32_t dx, std::int32_t dy);
TRect OffsetRect(const TRect& r, std::int32_t dx, std::int32_t dy);

// Double-point geometry; angles in radians, growing clockwise on screen.
TDoublePoint operator+(const TDoublePoint& a, const TDoublePoint& b);
TDoublePoint operator-(const TDoublePoint& a, const TDoublePoint& b);
double VectorAngle(const TDoublePoint& v);
double VectorLength(const TDoublePoint& v);
double AngleBetween(const TDoublePoint& p, const TDoublePoint& q);
double DistanceBetween(const TDoublePoint& p, const TDoublePoint& q);
TDoublePoint RotateVector(const TDoublePoint& v, double angle);
TDoublePoint RotateAround(const TDoublePoint& p, const TDoublePoint& centre, double angle);
TDoublePoint PolarOffset(const TDoublePoint& p, double distance, double angle);

// Point arrays.
void OffsetPoints(TArrayOfFixedPoint& points, TFixed dx, TFixed dy);
// coefficients = (a, b, c, d, e, f): X' = a·X + b·Y + e, Y' = c·X + d·Y + f on
// the raw 16.16 values.
void TransformPoints(TArrayOfFixedPoint& points, const float (&coefficients)[6]);
TArrayOfFixedPoint ScalePoints(const TPoints& points, double scale);
TArrayOfFixedPoint StarPoints(std::int32_t tips, double size, double innerPercent);
TArrayOfFixedPoint RegularPolygonPoints(std::int32_t corners, double size);

}  // namespace lumora

#include "render/geometry.h"

#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(FixedConversions, RoundingRules) {
  EXPECT_EQ(FixedRound(0x8000), 1);
  EXPECT_EQ(FixedRound(-0x8000), 0);
  EXPECT_EQ(FixedRound(0x17FFF), 1);
  EXPECT_EQ(FixedFloor(-1), -1);
  EXPECT_EQ(FixedFloor(0x1FFFF), 1);
  EXPECT_EQ(FixedCeil(1), 1);
  EXPECT_EQ(FixedCeil(-0xFFFF), 0);
  EXPECT_EQ(FixedCeil(0x10000), 1);
  EXPECT_EQ(FixedFromInt(3), 0x30000);
  EXPECT_EQ(FixedFromInt(-2), -0x20000);
}

TEST(FixedConversions, NearestTiesToEven) {
  // 0.5 / 65536 and 1.5 / 65536 are exact singles.
  EXPECT_EQ(FixedFromFloat(0.5f / 65536), 0);
  EXPECT_EQ(FixedFromFloat(1.5f / 65536), 2);
  EXPECT_EQ(FixedFromFloat(-0.5f / 65536), 0);
  EXPECT_EQ(FixedFromFloat(1.25f), 81920);
  EXPECT_EQ(FixedFromFloat(-2.0f), -0x20000);
  const TPoint rounded = RoundPoint({2.5, 3.5});
  EXPECT_EQ(rounded, (TPoint{2, 4}));
  EXPECT_EQ(RoundPoint({-2.5, -3.5}), (TPoint{-2, -4}));
}

TEST(FixedConversions, HostileValuesSaturate) {
  EXPECT_EQ(RoundToInt(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToInt(1e300), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(RoundToInt(-std::numeric_limits<double>::infinity()), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(FixedFromFloat(1e9f), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(FixedRound(std::numeric_limits<std::int32_t>::max()), 32768);
  EXPECT_EQ(FixedCeil(std::numeric_limits<std::int32_t>::max()), 32768);
}

TEST(FixedConversions, PointsAndRects) {
  EXPECT_EQ(FixedPoint(TPoint{2, -3}), (TFixedPoint{0x20000, -0x30000}));
  EXPECT_EQ(FixedPoint(1.5f, 0.25f), (TFixedPoint{0x18000, 0x4000}));
  EXPECT_EQ(FloatPoint(TFixedPoint{0x18000, -0x4000}), (TFloatPoint{1.5f, -0.25f}));
  EXPECT_EQ(FixedRect(TRect{1, 2, 3, 4}), (TFixedRect{0x10000, 0x20000, 0x30000, 0x40000}));
  EXPECT_EQ(FloatRect(TRect{1, 2, 3, 4}), (TFloatRect{1, 2, 3, 4}));
  EXPECT_EQ(PointFromFixed({0x18000, 0x17FFF}), (TPoint{2, 1}));

  const TFixedRect r{0x18000, 0x14000, 0x38000, 0x3C000};  // 1.5, 1.25, 3.5, 3.75
  EXPECT_EQ(RectFromFixedRect(r, RoundClosest), (TRect{2, 1, 4, 4}));
  EXPECT_EQ(RectFromFixedRect(r, RoundOutside), (TRect{1, 1, 4, 4}));
  EXPECT_EQ(RectFromFixedRect(r, RoundInside), (TRect{2, 2, 3, 3}));
  // Inside rounding of a rectangle thinner than a pixel collapses, never inverts.
  EXPECT_EQ(RectFromFixedRect({0x18000, 0x18000, 0x1C000, 0x1C000}, RoundInside), (TRect{2, 2, 2, 2}));
}

TEST(RectHelpers, IntersectUnionInflateOffset) {
  TRect result;
  EXPECT_TRUE(IntersectRectInclusive(result, {0, 0, 5, 5}, {5, 0, 9, 5}));
  EXPECT_EQ(result, (TRect{5, 0, 5, 5}));
  EXPECT_FALSE(IntersectRectInclusive(result, {0, 0, 5, 5}, {6, 0, 9, 5}));
  EXPECT_EQ(result, TRect{});
  EXPECT_TRUE(IntersectRectInclusive(result, {0, 0, 10, 10}, {2, 3, 20, 8}));
  EXPECT_EQ(result, (TRect{2, 3, 10, 8}));

  EXPECT_EQ(UnionRectChecked({1, 1, 3, 3}, {5, 5, 5, 9}), (TRect{1, 1, 3, 3})) << "B empty: A unchanged";
  EXPECT_EQ(UnionRectChecked({1, 1, 3, 3}, {2, 0, 6, 2}), (TRect{1, 0, 6, 3}));
  EXPECT_EQ(UnionRectChecked({4, 4, 4, 4}, {2, 2, 3, 3}), (TRect{2, 2, 4, 4}));

  EXPECT_TRUE(IsRectEmpty(TRect{3, 0, 3, 5}));
  EXPECT_FALSE(IsRectEmpty(TRect{3, 0, 4, 5}));
  EXPECT_TRUE(PtInRect({0, 0, 2, 2}, {1, 1}));
  EXPECT_FALSE(PtInRect({0, 0, 2, 2}, {2, 1}));
  EXPECT_EQ(InflateRect({2, 2, 4, 4}, 1, 2), (TRect{1, 0, 5, 6}));
  EXPECT_EQ(OffsetRect({2, 2, 4, 4}, -2, 3), (TRect{0, 5, 2, 7}));
}

TEST(DoubleGeometry, AnglesGrowClockwiseOnScreen) {
  EXPECT_DOUBLE_EQ(VectorAngle({0, 0}), 0);
  EXPECT_DOUBLE_EQ(VectorAngle({-1, 0}), std::numbers::pi);
  EXPECT_DOUBLE_EQ(VectorAngle({0, -1}), 3 * std::numbers::pi / 2);
  EXPECT_DOUBLE_EQ(VectorAngle({0, 1}), std::numbers::pi / 2);
  EXPECT_DOUBLE_EQ(VectorAngle({1, 1}), std::numbers::pi / 4);
  EXPECT_DOUBLE_EQ(VectorAngle({-1, -1}), 5 * std::numbers::pi / 4);
  EXPECT_DOUBLE_EQ(VectorAngle({1, -1}), 7 * std::numbers::pi / 4);
  EXPECT_DOUBLE_EQ(AngleBetween({1, 1}, {1, 3}), std::numbers::pi / 2);
  EXPECT_DOUBLE_EQ(DistanceBetween({1, 1}, {4, 5}), 5);
  EXPECT_DOUBLE_EQ(VectorLength({-3, 4}), 5);
}

TEST(DoubleGeometry, RotationsAndOffsets) {
  const TDoublePoint turned = RotateVector({1, 0}, std::numbers::pi / 2);
  EXPECT_NEAR(turned.X, 0, 1e-15);
  EXPECT_NEAR(turned.Y, 1, 1e-15);
  const TDoublePoint around = RotateAround({3, 1}, {1, 1}, std::numbers::pi);
  EXPECT_NEAR(around.X, -1, 1e-14);
  EXPECT_NEAR(around.Y, 1, 1e-14);
  const TDoublePoint polar = PolarOffset({1, 2}, 2, std::numbers::pi / 2);
  EXPECT_NEAR(polar.X, 1, 1e-15);
  EXPECT_NEAR(polar.Y, 4, 1e-15);
  EXPECT_EQ((TDoublePoint{1, 2} + TDoublePoint{3, 4}), (TDoublePoint{4, 6}));
  EXPECT_EQ((TDoublePoint{1, 2} - TDoublePoint{3, 5}), (TDoublePoint{-2, -3}));
}

TEST(PointArrays, StarPoints) {
  const TArrayOfFixedPoint star = StarPoints(5, 100, 50);
  ASSERT_EQ(star.size(), 11u);
  EXPECT_EQ(star.front(), (TFixedPoint{50 << 16, 0}));
  EXPECT_EQ(star.back(), (TFixedPoint{50 << 16, 0}));
  auto radius = [](const TFixedPoint& p) {
    return std::hypot(p.X / 65536.0 - 50, p.Y / 65536.0 - 50);
  };
  EXPECT_NEAR(radius(star[1]), 25, 1e-4);
  for (std::size_t i = 0; i < star.size(); ++i) EXPECT_NEAR(radius(star[i]), i % 2 ? 25 : 50, 1e-4) << i;
  // Clockwise on screen from the top: the second tip lies right of the centre.
  EXPECT_GT(star[2].X, 50 << 16);
  EXPECT_LT(star[2].Y, 50 << 16);
  // The tip two steps on is turned by 2π/5 around (50, 50).
  EXPECT_EQ(star[2], FixedPoint(static_cast<float>(50 + 50 * std::sin(2 * std::numbers::pi / 5)),
                                static_cast<float>(50 - 50 * std::cos(2 * std::numbers::pi / 5))));
}

TEST(PointArrays, RegularPolygonPoints) {
  const TArrayOfFixedPoint square = RegularPolygonPoints(4, 20);
  ASSERT_EQ(square.size(), 5u);
  const TFixedPoint expected[] = {{10 << 16, 0}, {20 << 16, 10 << 16}, {10 << 16, 20 << 16}, {0, 10 << 16}, {10 << 16, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(square[i].X, expected[i].X, 1) << i;
    EXPECT_NEAR(square[i].Y, expected[i].Y, 1) << i;
  }
  EXPECT_TRUE(RegularPolygonPoints(0, 20).empty());
  EXPECT_TRUE(StarPoints(0, 20, 50).empty());
}

TEST(PointArrays, OffsetTransformScale) {
  TArrayOfFixedPoint points{{0x10000, 0x20000}, {-0x8000, 0}};
  OffsetPoints(points, 0x8000, -0x10000);
  EXPECT_EQ(points[0], (TFixedPoint{0x18000, 0x10000}));
  EXPECT_EQ(points[1], (TFixedPoint{0, -0x10000}));

  // Swap the axes, double X and shift by half a pixel (e and f are raw units).
  TArrayOfFixedPoint raw{{3, 5}, {0x10000, 0}};
  TransformPoints(raw, {0, 2, 1, 0, 0x8000, 0});
  EXPECT_EQ(raw[0], (TFixedPoint{10 + 0x8000, 3}));
  EXPECT_EQ(raw[1], (TFixedPoint{0x8000, 0x10000}));
  TArrayOfFixedPoint halves{{1, 3}};
  TransformPoints(halves, {0.5f, 0, 0, 0.5f, 0, 0});
  EXPECT_EQ(halves[0], (TFixedPoint{0, 2})) << "0.5 and 1.5 round to even";

  const TArrayOfFixedPoint scaled = ScalePoints({{3, 5}, {-1, 2}}, 0.5);
  ASSERT_EQ(scaled.size(), 2u);
  EXPECT_EQ(scaled[0], (TFixedPoint{2 << 16, 2 << 16}));
  EXPECT_EQ(scaled[1], (TFixedPoint{0, 1 << 16}));
}

}  // namespace
}  // namespace lumora

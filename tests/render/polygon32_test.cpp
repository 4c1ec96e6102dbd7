#include "render/polygon32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace lumora {
namespace {

constexpr TFixed px(std::int32_t v) { return v * 65536; }

TPolygon32 polygonOf(const TArrayOfFixedPoint& points, bool closed) {
  TPolygon32 polygon;
  polygon.Closed = closed;
  polygon.AddPoints(points);
  return polygon;
}

TEST(Polygon32, ContainerBasics) {
  TPolygon32 polygon;
  ASSERT_EQ(polygon.Points().size(), 1u) << "a new polygon holds one empty contour";
  EXPECT_TRUE(polygon.Closed);
  EXPECT_EQ(polygon.FillMode, pfAlternate);
  EXPECT_FALSE(polygon.Antialiased);
  EXPECT_EQ(polygon.AntialiasLevel, 2);
  polygon.AddPoint({1, 2});
  polygon.NewContour();
  polygon.AddPoints(std::vector<TFixedPoint>{{3, 4}, {5, 6}});
  ASSERT_EQ(polygon.Points().size(), 2u);
  EXPECT_EQ(polygon.Points()[1].size(), 2u);
  polygon.Clear();
  ASSERT_EQ(polygon.Points().size(), 1u);
  EXPECT_TRUE(polygon.Points()[0].empty());
}

TEST(Polygon32, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 1, 4), 1);
  EXPECT_EQ(MulDiv(65536, 65536, 65536), 65536) << "the 64-bit product does not overflow";
  EXPECT_EQ(MulDiv(7, 5, 0), -1) << "no quotient";
  EXPECT_EQ(MulDiv(0x40000000, 8, 1), -1) << "overflowing quotient";
}

TEST(Polygon32, OutlineOfClosedAndOpenContours) {
  const TArrayOfFixedPoint points{{0, 0}, {px(1), 0}, {px(1), px(1)}};
  const auto closed = polygonOf(points, true).Outline();
  ASSERT_EQ(closed->Points().size(), 2u);
  EXPECT_EQ(closed->Points()[0], points);
  EXPECT_EQ(closed->Points()[1], (TArrayOfFixedPoint{{px(1), px(1)}, {px(1), 0}, {0, 0}}));
  EXPECT_TRUE(closed->Closed) << "the outline takes over the settings";

  const auto open = polygonOf(points, false).Outline();
  ASSERT_EQ(open->Points().size(), 1u);
  EXPECT_EQ(open->Points()[0], (TArrayOfFixedPoint{{0, 0}, {px(1), 0}, {px(1), px(1)}, {px(1), px(1)}, {px(1), 0}, {0, 0}}));
  EXPECT_FALSE(open->Closed);
}

TEST(Polygon32, GrowMitresASquareOutwards) {
  TPolygon32 square = polygonOf({{0, 0}, {px(10), 0}, {px(10), px(10)}, {0, px(10)}}, true);
  square.FillMode = pfWinding;
  const auto grown = square.Grow(px(1), 0.5f);
  ASSERT_EQ(grown->Points().size(), 1u);
  EXPECT_EQ(grown->Points()[0],
            (TArrayOfFixedPoint{{px(-1), px(-1)}, {px(11), px(-1)}, {px(11), px(11)}, {px(-1), px(11)}}));
  EXPECT_EQ(grown->FillMode, pfWinding);

  const auto same = square.Grow(0, 0.5f);
  EXPECT_EQ(same->Points(), square.Points()) << "no delta copies the contours";
}

TEST(Polygon32, GrowOpenSegmentUsesTheEdgeNormalAtBothEnds) {
  const auto grown = polygonOf({{0, 0}, {px(10), 0}}, false).Grow(px(2), 0.5f);
  ASSERT_EQ(grown->Points().size(), 1u);
  EXPECT_EQ(grown->Points()[0], (TArrayOfFixedPoint{{0, px(-2)}, {px(10), px(-2)}}));
}

TEST(Polygon32, GrowOfAnOutlinedSegmentGivesFlatCaps) {
  // The widening of a two-point line: outline, then grow by half the width.
  const auto outline = polygonOf({{0, 0}, {px(10), 0}}, false).Outline();
  const auto grown = outline->Grow(px(1), 0.5f);
  ASSERT_EQ(grown->Points().size(), 1u);
  // The doubled end point has a zero-length edge: one mitred point before
  // it, then the reversal splits into the point itself and its mirror.
  EXPECT_EQ(grown->Points()[0],
            (TArrayOfFixedPoint{{0, px(-1)}, {px(10), px(-1)}, {px(10), 0}, {px(10), px(1)}, {0, px(1)}}));
}

// The normal's coordinates are each divided by the length. Edges where
// multiplying by the length's reciprocal rounds to another 16.16 value are
// found by a seeded search, and their normals checked against the quotient
// worked out in double precision (exact for a quotient of two singles).
TEST(Polygon32, EdgeNormalDividesByTheLength) {
  std::mt19937 random(20261210);
  std::uniform_int_distribution<TFixed> coordinate(-px(40), px(40));
  int found = 0;
  for (int attempt = 0; attempt < 1'000'000 && found < 8; ++attempt) {
    const TFixedPoint a{coordinate(random), coordinate(random)};
    const TFixedPoint b{coordinate(random), coordinate(random)};
    const float dx = static_cast<float>(b.X - a.X);
    const float dy = static_cast<float>(b.Y - a.Y);
    if (dx == 0 && dy == 0) continue;
    const float length = std::hypot(dx, dy);
    const TFixedPoint quotient{FixedFromFloat(static_cast<float>(static_cast<double>(dy) / length)),
                               FixedFromFloat(static_cast<float>(-static_cast<double>(dx) / length))};
    const float reciprocal = 1.0f / length;
    const TFixedPoint product{FixedFromFloat(dy * reciprocal), FixedFromFloat(-dx * reciprocal)};
    if (quotient == product) continue;
    ++found;
    const TPolygon32 edge = polygonOf({a, b}, false);
    ASSERT_EQ(edge.Normals()[0].size(), 2u);
    EXPECT_EQ(edge.Normals()[0][0], quotient) << "edge (" << a.X << ", " << a.Y << ") to (" << b.X << ", " << b.Y << ")";
    const auto grown = edge.Grow(kFixedOne, 0.5f);
    EXPECT_EQ(grown->Points()[0][0], (TFixedPoint{a.X + quotient.X, a.Y + quotient.Y})) << "grown by one pixel";
  }
  EXPECT_EQ(found, 8) << "the search finds edges where the two forms differ";
}

TEST(Polygon32, GrowSplitsSharpCorners) {
  // Triangle with a corner of about 5.7 degrees at (100, 0). The edge
  // (100, 0) → (0, 10) has the unit normal (10, 100) / √10100, in 16.16
  // (6521, 65211) after single-precision division.
  const auto grown = polygonOf({{0, 0}, {px(100), 0}, {0, px(10)}}, true).Grow(px(1), 0.5f);
  ASSERT_EQ(grown->Points().size(), 1u);
  const TArrayOfFixedPoint expected{
      {px(-1), px(-1)},             // right angle: R = 65536 > T = 32768, one mitred point
      {px(100), px(-1)},            // sharp: R = 325, two points
      {px(100) + 6521, 65211},
      {-65535, px(10) + 72415},     // R = 59016: MulDiv(-59015, 65536, R), MulDiv(65211, 65536, R)
  };
  EXPECT_EQ(grown->Points()[0], expected);
}

TEST(Polygon32, GrowDropsContoursOfOnePoint) {
  TPolygon32 polygon = polygonOf({{0, 0}}, true);
  polygon.NewContour();
  polygon.AddPoints(std::vector<TFixedPoint>{{0, 0}, {px(4), 0}, {px(4), px(4)}});
  const auto grown = polygon.Grow(px(1), 0.5f);
  EXPECT_EQ(grown->Points().size(), 1u);
}

}  // namespace
}  // namespace lumora

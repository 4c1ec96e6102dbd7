#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "render/gdi_path.h"

namespace lumora {
namespace {

// Whether the centre of pixel (x, y) is inside, by casting a ray to the right
// from just right of the centre: an edge crossing exactly at the centre is
// left of the ray, so a centre on an edge counts when the inside lies to its
// right. Doubled coordinates keep everything integer.
bool referenceInside(const std::vector<TPoints>& contours, TPolyFillMode mode, std::int64_t x, std::int64_t y) {
  const std::int64_t cx = 2 * x + 1;
  const std::int64_t cy = 2 * y + 1;
  int winding = 0;
  for (const TPoints& contour : contours) {
    for (std::size_t i = 0; i < contour.size(); ++i) {
      const TPoint& a = contour[i];
      const TPoint& b = contour[(i + 1) % contour.size()];
      const std::int64_t ay = 2 * std::int64_t{a.Y};
      const std::int64_t by = 2 * std::int64_t{b.Y};
      const bool down = ay < by;
      const std::int64_t top = down ? ay : by;
      const std::int64_t bottom = down ? by : ay;
      if (!(top <= cy && cy < bottom)) continue;
      // The crossing x is 2·a.X + (cy − ay)·(2·b.X − 2·a.X)/(by − ay); right of cx?
      const std::int64_t dy = by - ay;
      const std::int64_t lhs = (2 * std::int64_t{a.X} - cx) * dy + (cy - ay) * (2 * std::int64_t{b.X} - 2 * std::int64_t{a.X});
      if ((dy > 0 && lhs > 0) || (dy < 0 && lhs < 0)) winding += down ? 1 : -1;
    }
  }
  return mode == pfWinding ? winding != 0 : (winding & 1) != 0;
}

// The rectangles form bands from top to bottom, each sorted left to right
// without touching or overlapping, and no band could be merged with the one
// above it.
void expectBanded(const TGdiRegion& region, const std::string& what) {
  const TRects& rects = region.Rects();
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const TRect& r = rects[i];
    ASSERT_LT(r.Left, r.Right) << what << " rect " << i;
    ASSERT_LT(r.Top, r.Bottom) << what << " rect " << i;
    if (i == 0) continue;
    const TRect& p = rects[i - 1];
    if (p.Top == r.Top) {
      ASSERT_EQ(p.Bottom, r.Bottom) << what << " rect " << i;
      ASSERT_LT(p.Right, r.Left) << what << " rect " << i << " touches or overlaps its left neighbour";
    } else {
      ASSERT_LE(p.Bottom, r.Top) << what << " rect " << i << " overlaps the band above";
    }
  }
  // Identical touching bands must have been merged.
  std::vector<std::pair<std::size_t, std::size_t>> bands;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (i == 0 || rects[i].Top != rects[i - 1].Top) bands.push_back({i, i});
    bands.back().second = i + 1;
  }
  for (std::size_t b = 1; b < bands.size(); ++b) {
    const auto [s0, e0] = bands[b - 1];
    const auto [s1, e1] = bands[b];
    if (rects[s0].Bottom != rects[s1].Top || e0 - s0 != e1 - s1) continue;
    bool same = true;
    for (std::size_t k = 0; k < e0 - s0; ++k) {
      same = same && rects[s0 + k].Left == rects[s1 + k].Left && rects[s0 + k].Right == rects[s1 + k].Right;
    }
    EXPECT_FALSE(same) << what << ": bands " << b - 1 << " and " << b << " should be one";
  }
}

std::int64_t areaOf(const TGdiRegion& region) {
  std::int64_t area = 0;
  for (const TRect& r : region.Rects()) area += std::int64_t{r.Width()} * r.Height();
  return area;
}

// Every pixel of the window agrees with the reference, and the rectangles
// cover nothing else.
void expectMatchesReference(const TGdiRegion& region, const std::vector<TPoints>& contours, TPolyFillMode mode,
                            const TRect& window, const std::string& what) {
  expectBanded(region, what);
  std::int64_t expected = 0;
  for (std::int32_t y = window.Top; y < window.Bottom; ++y) {
    for (std::int32_t x = window.Left; x < window.Right; ++x) {
      const bool inside = referenceInside(contours, mode, x, y);
      expected += inside ? 1 : 0;
      ASSERT_EQ(region.Contains({x, y}), inside) << what << " pixel (" << x << ", " << y << ")";
    }
  }
  EXPECT_EQ(areaOf(region), expected) << what << ": rectangles reach beyond the reference pixels";
}

std::string ruleName(TPolyFillMode mode) { return mode == pfWinding ? "winding" : "alternate"; }

TEST(GdiRegion, SquareIsExactlyItsRectangle) {
  const TPoints square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
    const TGdiRegion region = TGdiRegion::FromPolygon(square, mode);
    ASSERT_EQ(region.Rects().size(), 1u) << ruleName(mode);
    EXPECT_EQ(region.Rects()[0], (TRect{0, 0, 10, 10})) << ruleName(mode);
    EXPECT_EQ(region.Box(), (TRect{0, 0, 10, 10})) << ruleName(mode);
    expectMatchesReference(region, {square}, mode, {-3, -3, 13, 13}, "square " + ruleName(mode));
  }
  // The other orientation gives the same pixels.
  const TPoints reversed{{0, 10}, {10, 10}, {10, 0}, {0, 0}};
  EXPECT_EQ(TGdiRegion::FromPolygon(reversed, pfWinding).Rects(), (TRects{{0, 0, 10, 10}}));
}

TEST(GdiRegion, DiagonalThroughCentresBelongsToTheSideOnItsRight) {
  // Both triangles share the diagonal x = y, which runs through the centre of
  // every pixel (k, k). Those pixels belong to the triangle whose inside lies
  // to their right, so together the triangles cover the square exactly once.
  const TPoints upper{{0, 0}, {10, 0}, {10, 10}};
  const TPoints lower{{0, 0}, {10, 10}, {0, 10}};
  for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
    const TGdiRegion a = TGdiRegion::FromPolygon(upper, mode);
    const TGdiRegion b = TGdiRegion::FromPolygon(lower, mode);
    EXPECT_EQ(areaOf(a), 55) << ruleName(mode);
    EXPECT_EQ(areaOf(b), 45) << ruleName(mode);
    EXPECT_TRUE(a.Contains({3, 3}));
    EXPECT_FALSE(b.Contains({3, 3}));
    EXPECT_TRUE(a.Combine(b, RGN_AND).IsEmpty()) << ruleName(mode);
    EXPECT_EQ(a.Combine(b, RGN_OR).Rects(), (TRects{{0, 0, 10, 10}})) << ruleName(mode);
    expectMatchesReference(a, {upper}, mode, {-2, -2, 12, 12}, "upper triangle " + ruleName(mode));
    expectMatchesReference(b, {lower}, mode, {-2, -2, 12, 12}, "lower triangle " + ruleName(mode));
  }
  // Row 2 of the upper triangle runs from the diagonal pixel to the right edge.
  const TGdiRegion upperRegion = TGdiRegion::FromPolygon(upper, pfAlternate);
  EXPECT_EQ(upperRegion.Rects()[2], (TRect{2, 2, 10, 3}));
  EXPECT_EQ(upperRegion.Rects().size(), 10u);
}

TEST(GdiRegion, TriangleMatchesReference) {
  const TPoints triangle{{3, 1}, {27, 9}, {8, 22}};
  for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
    const TGdiRegion region = TGdiRegion::FromPolygon(triangle, mode);
    expectMatchesReference(region, {triangle}, mode, {0, 0, 30, 25}, "triangle " + ruleName(mode));
    EXPECT_EQ(region.Box().Top, 1);
  }
}

TEST(GdiRegion, SelfIntersectingStarUnderBothRules) {
  const TPoints star{{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  const TGdiRegion alternate = TGdiRegion::FromPolygon(star, pfAlternate);
  const TGdiRegion winding = TGdiRegion::FromPolygon(star, pfWinding);
  expectMatchesReference(alternate, {star}, pfAlternate, {-2, -2, 102, 94}, "star alternate");
  expectMatchesReference(winding, {star}, pfWinding, {-2, -2, 102, 94}, "star winding");
  // The inner pentagon is wound twice: a hole only under the alternate rule.
  EXPECT_FALSE(alternate.Contains({50, 50}));
  EXPECT_TRUE(winding.Contains({50, 50}));
  EXPECT_TRUE(alternate.Contains({50, 10}));
  EXPECT_EQ(winding.Combine(alternate, RGN_DIFF).Box().Top, 35);
  EXPECT_EQ(winding.Box(), (TRect{3, 2, 97, 90}));
}

TEST(GdiRegion, RandomPolygonsMatchReference) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<std::int32_t> coordinate(-5, 35);
  std::uniform_int_distribution<int> count(3, 12);
  for (int round = 0; round < 150; ++round) {
    std::vector<TPoints> contours(1 + round % 3);
    for (TPoints& contour : contours) {
      contour.resize(count(random));
      for (TPoint& p : contour) p = {coordinate(random), coordinate(random)};
    }
    for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
      const TGdiRegion region = TGdiRegion::FromPolyPolygon(contours, mode);
      expectMatchesReference(region, contours, mode, {-7, -7, 38, 38},
                             "random polygon " + std::to_string(round) + " " + ruleName(mode));
    }
  }
}

TEST(GdiRegion, BoxAndContains) {
  const TGdiRegion empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.Box(), (TRect{0, 0, 0, 0}));
  EXPECT_FALSE(empty.Contains({0, 0}));

  // An L shape: a wide band on top of a narrow one.
  const TPoints shape{{2, 1}, {12, 1}, {12, 4}, {5, 4}, {5, 9}, {2, 9}};
  const TGdiRegion region = TGdiRegion::FromPolygon(shape, pfAlternate);
  EXPECT_EQ(region.Rects(), (TRects{{2, 1, 12, 4}, {2, 4, 5, 9}}));
  EXPECT_EQ(region.Box(), (TRect{2, 1, 12, 9}));
  EXPECT_TRUE(region.Contains({2, 1}));
  EXPECT_TRUE(region.Contains({11, 3}));
  EXPECT_FALSE(region.Contains({12, 3})) << "right side is exclusive";
  EXPECT_FALSE(region.Contains({5, 4}));
  EXPECT_TRUE(region.Contains({4, 8}));
  EXPECT_FALSE(region.Contains({4, 9})) << "bottom is exclusive";
  EXPECT_FALSE(region.Contains({1, 2}));
  EXPECT_FALSE(region.Contains({3, 0}));

  EXPECT_EQ(TGdiRegion::FromRect({10, 8, 2, 3}).Rects(), (TRects{{2, 3, 10, 8}})) << "reversed sides are swapped";
  EXPECT_TRUE(TGdiRegion::FromRect({4, 4, 4, 9}).IsEmpty());
}

TEST(GdiRegion, CombineOverlappingSquares) {
  const TGdiRegion a = TGdiRegion::FromRect({0, 0, 10, 10});
  const TGdiRegion b = TGdiRegion::FromRect({5, 5, 15, 15});
  EXPECT_EQ(a.Combine(b, RGN_AND).Rects(), (TRects{{5, 5, 10, 10}}));
  EXPECT_EQ(a.Combine(b, RGN_OR).Rects(), (TRects{{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}}));
  EXPECT_EQ(a.Combine(b, RGN_XOR).Rects(),
            (TRects{{0, 0, 10, 5}, {0, 5, 5, 10}, {10, 5, 15, 10}, {5, 10, 15, 15}}));
  EXPECT_EQ(a.Combine(b, RGN_DIFF).Rects(), (TRects{{0, 0, 10, 5}, {0, 5, 5, 10}}));
  EXPECT_EQ(a.Combine(b, RGN_COPY).Rects(), a.Rects());
  EXPECT_TRUE(a.Combine(TGdiRegion::FromRect({20, 0, 30, 10}), RGN_AND).IsEmpty());
  // Side by side squares join into one rectangle.
  EXPECT_EQ(a.Combine(TGdiRegion::FromRect({10, 0, 20, 10}), RGN_OR).Rects(), (TRects{{0, 0, 20, 10}}));
  EXPECT_EQ(a.Combine(TGdiRegion::FromRect({0, 10, 10, 20}), RGN_OR).Rects(), (TRects{{0, 0, 10, 20}}));
  EXPECT_TRUE(a.Combine(a, RGN_XOR).IsEmpty());
  EXPECT_THROW((void)a.Combine(b, static_cast<TRegionCombine>(9)), std::invalid_argument);
}

TEST(GdiRegion, CombineMatchesPixelwiseReference) {
  std::mt19937 random(77);
  std::uniform_int_distribution<std::int32_t> coordinate(0, 24);
  for (int round = 0; round < 60; ++round) {
    std::vector<TPoints> first(1, TPoints(6));
    std::vector<TPoints> second(1, TPoints(5));
    for (TPoint& p : first[0]) p = {coordinate(random), coordinate(random)};
    for (TPoint& p : second[0]) p = {coordinate(random), coordinate(random)};
    const TGdiRegion a = TGdiRegion::FromPolygon(first[0], pfWinding);
    const TGdiRegion b = TGdiRegion::FromPolygon(second[0], pfAlternate);
    for (TRegionCombine mode : {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY}) {
      const TGdiRegion c = a.Combine(b, mode);
      const std::string what = "round " + std::to_string(round) + " mode " + std::to_string(mode);
      expectBanded(c, what);
      std::int64_t expected = 0;
      for (std::int32_t y = -1; y < 26; ++y) {
        for (std::int32_t x = -1; x < 26; ++x) {
          const bool inA = a.Contains({x, y});
          const bool inB = b.Contains({x, y});
          const bool want = mode == RGN_AND    ? inA && inB
                            : mode == RGN_OR   ? inA || inB
                            : mode == RGN_XOR  ? inA != inB
                            : mode == RGN_DIFF ? inA && !inB
                                               : inA;
          expected += want ? 1 : 0;
          ASSERT_EQ(c.Contains({x, y}), want) << what << " pixel (" << x << ", " << y << ")";
        }
      }
      EXPECT_EQ(areaOf(c), expected) << what;
    }
  }
}

TEST(GdiRegion, PathRegions) {
  // Open figures are closed; two nested squares of the same direction make a
  // frame under the alternate rule and a full square under the winding rule.
  TGdiPath path;
  path.Polyline(TPoints{{0, 0}, {20, 0}, {20, 20}, {0, 20}});
  path.Polygon(TPoints{{5, 5}, {15, 5}, {15, 15}, {5, 15}});
  EXPECT_EQ(TGdiRegion::FromPath(path, pfWinding).Rects(), (TRects{{0, 0, 20, 20}}));
  EXPECT_EQ(TGdiRegion::FromPath(path, pfAlternate).Rects(),
            (TRects{{0, 0, 20, 5}, {0, 5, 5, 15}, {15, 5, 20, 15}, {0, 15, 20, 20}}));

  // A Bézier figure gives the region of its flattened outline.
  TGdiPath curve;
  curve.PolyBezier(TPoints{{0, 30}, {0, 0}, {40, 0}, {40, 30}});
  curve.CloseFigure();
  const TGdiPath flat = curve.Flattened();
  const TGdiRegion region = TGdiRegion::FromPath(curve, pfAlternate);
  EXPECT_EQ(region.Rects(), TGdiRegion::FromPolygon(flat.Points(), pfAlternate).Rects());
  EXPECT_TRUE(region.Contains({20, 20}));
  EXPECT_FALSE(region.Contains({1, 1}));
  EXPECT_EQ(region.Box().Bottom, 30);

  EXPECT_TRUE(TGdiRegion::FromPath(TGdiPath(), pfWinding).IsEmpty());
}

TEST(GdiRegion, HostileInput) {
  EXPECT_TRUE(TGdiRegion::FromPolygon({}, pfAlternate).IsEmpty());
  EXPECT_TRUE(TGdiRegion::FromPolygon(TPoints{{5, 5}}, pfAlternate).IsEmpty());
  EXPECT_TRUE(TGdiRegion::FromPolygon(TPoints{{5, 5}, {50, 70}}, pfWinding).IsEmpty());
  EXPECT_TRUE(TGdiRegion::FromPolygon(TPoints{{0, 3}, {40, 3}, {90, 3}}, pfWinding).IsEmpty());
  EXPECT_TRUE(TGdiRegion::FromPolyPolygon(std::vector<TPoints>{{}, {}}, pfWinding).IsEmpty());

  // Far from the origin but small: exact all the same.
  constexpr std::int32_t kFar = kMaxRegionCoordinate - 10;
  const TGdiRegion far = TGdiRegion::FromPolygon(TPoints{{-kFar, kFar - 4}, {-kFar + 4, kFar - 4}, {-kFar + 4, kFar}, {-kFar, kFar}}, pfWinding);
  EXPECT_EQ(far.Rects(), (TRects{{-kFar, kFar - 4, -kFar + 4, kFar}}));

  const TPoints beyond{{0, 0}, {kMaxRegionCoordinate + 1, 0}, {0, 5}};
  EXPECT_THROW((void)TGdiRegion::FromPolygon(beyond, pfAlternate), std::out_of_range);
  const TPoints extreme{{INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {0, INT32_MAX}};
  EXPECT_THROW((void)TGdiRegion::FromPolygon(extreme, pfWinding), std::out_of_range);
  const TPoints tall{{0, 0}, {1, 0}, {1, kMaxRegionExtent + 1}};
  EXPECT_THROW((void)TGdiRegion::FromPolygon(tall, pfAlternate), std::out_of_range);
  const TPoints wide{{0, 0}, {kMaxRegionExtent + 1, 0}, {0, 1}};
  EXPECT_THROW((void)TGdiRegion::FromPolygon(wide, pfAlternate), std::out_of_range);
  const TPoints largest{{0, 0}, {kMaxRegionExtent, 0}, {kMaxRegionExtent, 2}, {0, 2}};
  EXPECT_EQ(TGdiRegion::FromPolygon(largest, pfAlternate).Rects(), (TRects{{0, 0, kMaxRegionExtent, 2}}));
  // A comb of 2,049 teeth as tall as the largest extent: its edges cross
  // 2 x 2,049 x 32,767 rows, just past 2^27, so it is refused before the scan.
  constexpr std::int32_t kHeight = kMaxRegionExtent;
  TPoints comb{{0, kHeight}};
  for (std::int32_t i = 0; i < 2049; ++i) {
    comb.insert(comb.end(), {{2 * i, 0}, {2 * i + 1, 0}, {2 * i + 1, kHeight - 1}, {2 * i + 2, kHeight - 1}});
  }
  comb.push_back({2 * 2049, kHeight});
  EXPECT_THROW((void)TGdiRegion::FromPolygon(comb, pfAlternate), std::out_of_range);
  // A huge rectangle region costs one rectangle.
  EXPECT_EQ(TGdiRegion::FromRect({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}).Rects().size(), 1u);
}

}  // namespace
}  // namespace lumora

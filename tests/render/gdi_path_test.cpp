#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "render/gdi_path.h"

namespace lumora {
namespace {

using TTypes = std::vector<std::uint8_t>;

TEST(GdiPath, PointTypesOfEachOperation) {
  TGdiPath lines;
  lines.MoveTo({1, 2});
  lines.LineTo({5, 2});
  lines.LineTo({5, 6});
  lines.CloseFigure();
  EXPECT_EQ(lines.Points(), (TPoints{{1, 2}, {5, 2}, {5, 6}}));
  EXPECT_EQ(lines.Types(), (TTypes{6, 2, 3}));
  EXPECT_EQ(lines.CurrentPosition(), (TPoint{1, 2})) << "closing returns to the figure's start";
  // A line after a closed figure starts a new one at the current position.
  lines.LineTo({9, 9});
  EXPECT_EQ(lines.Points(), (TPoints{{1, 2}, {5, 2}, {5, 6}, {1, 2}, {9, 9}}));
  EXPECT_EQ(lines.Types(), (TTypes{6, 2, 3, 6, 2}));

  TGdiPath fresh;
  fresh.LineTo({3, 4});
  EXPECT_EQ(fresh.Points(), (TPoints{{0, 0}, {3, 4}})) << "the current position starts at the origin";
  EXPECT_EQ(fresh.Types(), (TTypes{6, 2}));

  TGdiPath moves;
  moves.MoveTo({1, 1});
  moves.MoveTo({2, 2});
  moves.PolyBezierTo(TPoints{{3, 0}, {4, 0}, {5, 2}, {6, 4}, {7, 4}, {8, 2}});
  EXPECT_EQ(moves.Points().front(), (TPoint{2, 2})) << "a bare move-to is replaced";
  EXPECT_EQ(moves.Types(), (TTypes{6, 4, 4, 4, 4, 4, 4}));
  EXPECT_EQ(moves.CurrentPosition(), (TPoint{8, 2}));
  moves.CloseFigure();
  EXPECT_EQ(moves.Types().back(), 5);

  TGdiPath figures;
  figures.MoveTo({100, 100});
  figures.PolyBezier(TPoints{{0, 0}, {1, 5}, {4, 5}, {5, 0}});
  figures.Polyline(TPoints{{10, 10}, {20, 10}, {20, 20}});
  figures.Polygon(TPoints{{30, 30}, {40, 30}, {40, 40}});
  EXPECT_EQ(figures.Types(), (TTypes{6, 4, 4, 4, 6, 2, 2, 6, 2, 3}));
  EXPECT_EQ(figures.Points().front(), (TPoint{0, 0}));
  EXPECT_EQ(figures.CurrentPosition(), (TPoint{100, 100})) << "whole figures leave the current position";
  // The current position no longer ends the last figure, so a line starts anew.
  figures.LineTo({101, 100});
  EXPECT_EQ(figures.Types(), (TTypes{6, 4, 4, 4, 6, 2, 2, 6, 2, 3, 6, 2}));
}

TEST(GdiPath, RefusedPointCountsAddNothing) {
  TGdiPath path;
  path.Polyline(TPoints{{1, 1}});
  path.Polygon(TPoints{});
  path.PolyBezier(TPoints{{0, 0}, {1, 1}, {2, 2}});
  path.PolyBezier(TPoints{{0, 0}});
  path.PolyBezierTo(TPoints{{0, 0}, {1, 1}});
  path.CloseFigure();
  EXPECT_TRUE(path.IsEmpty());
  path.MoveTo({4, 4});
  path.CloseFigure();
  EXPECT_EQ(path.Types(), (TTypes{6})) << "a bare move-to has nothing to close";
}

// Distance from p to the cubic, by dense sampling of the curve.
double distanceToCubic(const TPoint& p, const TPoints& c) {
  double best = 1e300;
  constexpr int kSamples = 20000;
  for (int i = 0; i <= kSamples; ++i) {
    const double t = static_cast<double>(i) / kSamples;
    const double u = 1 - t;
    const double x = u * u * u * c[0].X + 3 * u * u * t * c[1].X + 3 * u * t * t * c[2].X + t * t * t * c[3].X;
    const double y = u * u * u * c[0].Y + 3 * u * u * t * c[1].Y + 3 * u * t * t * c[2].Y + t * t * t * c[3].Y;
    best = std::min(best, std::hypot(x - p.X, y - p.Y));
  }
  return best;
}

TEST(GdiPath, FlatteningKeepsEndsAndFollowsTheCurve) {
  const TPoints control{{0, 0}, {0, 200}, {300, 200}, {300, 0}};
  TGdiPath path;
  path.PolyBezier(control);
  const TGdiPath flat = path.Flattened();
  const TPoints& points = flat.Points();
  ASSERT_GT(points.size(), 10u);
  EXPECT_LT(points.size(), 200u);
  EXPECT_EQ(points.front(), control.front());
  EXPECT_EQ(points.back(), control.back());
  EXPECT_EQ(flat.Types()[0], PT_MOVETO);
  for (std::size_t i = 1; i < points.size(); ++i) {
    EXPECT_EQ(flat.Types()[i], PT_LINETO) << "point " << i;
    EXPECT_NE(points[i], points[i - 1]) << "repeated point " << i;
  }
  // Within a quarter pixel before rounding, plus half a diagonal pixel after.
  constexpr double kTolerance = 0.25 + 0.7072 + 0.01;
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_LE(distanceToCubic(points[i], control), kTolerance) << "point " << i;
    if (i == 0) continue;
    const TPoint mid{(points[i].X + points[i - 1].X) / 2, (points[i].Y + points[i - 1].Y) / 2};
    EXPECT_LE(distanceToCubic(mid, control), kTolerance + 1) << "segment " << i;
  }
  EXPECT_EQ(path.Flattened().Points(), points) << "flattening is deterministic";

  // The close flag of the Bézier's last point moves to the last line point;
  // lines stay as they are.
  TGdiPath closed;
  closed.MoveTo({0, 0});
  closed.LineTo({10, 0});
  closed.PolyBezierTo(TPoints{{20, 0}, {20, 20}, {10, 20}});
  closed.CloseFigure();
  const TGdiPath closedFlat = closed.Flattened();
  EXPECT_EQ(closedFlat.Points()[1], (TPoint{10, 0}));
  EXPECT_EQ(closedFlat.Points().back(), (TPoint{10, 20}));
  EXPECT_EQ(closedFlat.Types().back(), PT_LINETO | PT_CLOSEFIGURE);

  // A curve with all points equal still ends its figure on its end point.
  TGdiPath dot;
  dot.PolyBezier(TPoints{{5, 5}, {5, 5}, {5, 5}, {5, 5}});
  EXPECT_EQ(dot.Flattened().Points(), (TPoints{{5, 5}, {5, 5}}));
}

TEST(GdiPath, FlatteningHugeCurvesStaysBounded) {
  TGdiPath path;
  path.PolyBezier(TPoints{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MAX}});
  const TGdiPath flat = path.Flattened();
  EXPECT_LE(flat.Points().size(), (1u << 16) + 1);
  EXPECT_EQ(flat.Points().back(), (TPoint{INT32_MAX, INT32_MAX}));
}

// The points of a widened path, ignoring where each ring starts.
std::vector<TPoints> ringsOf(const TGdiPath& path) {
  std::vector<TPoints> rings;
  for (std::size_t i = 0; i < path.Points().size(); ++i) {
    if (path.Types()[i] == PT_MOVETO) rings.emplace_back();
    rings.back().push_back(path.Points()[i]);
  }
  return rings;
}

void expectClosedLineFigures(const TGdiPath& path) {
  const TTypes& types = path.Types();
  for (std::size_t i = 0; i < types.size(); ++i) {
    const bool first = i == 0 || (types[i - 1] & PT_CLOSEFIGURE) != 0;
    const bool last = i + 1 == types.size() || types[i + 1] == PT_MOVETO;
    const std::uint8_t expected = first ? PT_MOVETO : (last ? PT_LINETO | PT_CLOSEFIGURE : PT_LINETO);
    EXPECT_EQ(types[i], expected) << "point " << i;
  }
}

TEST(GdiPath, WidenedSegmentHasFlatCaps) {
  TGdiPath segment;
  segment.MoveTo({10, 5});
  segment.LineTo({20, 5});
  const TGdiPath even = segment.Widened(4);
  expectClosedLineFigures(even);
  const std::vector<TPoints> rings = ringsOf(even);
  ASSERT_EQ(rings.size(), 1u);
  TPoints corners = rings[0];
  std::sort(corners.begin(), corners.end(), [](const TPoint& a, const TPoint& b) {
    return std::tie(a.Y, a.X) < std::tie(b.Y, b.X);
  });
  EXPECT_EQ(corners, (TPoints{{10, 3}, {20, 3}, {10, 7}, {20, 7}}));
  EXPECT_EQ(rings[0].front(), (TPoint{10, 3})) << "rings start at their top left point";
  EXPECT_EQ(TGdiRegion::FromPath(even, pfAlternate).Rects(), (TRects{{10, 3, 20, 7}}));

  // An odd width keeps all of its rows; the half pixel goes downwards.
  EXPECT_EQ(TGdiRegion::FromPath(segment.Widened(3), pfAlternate).Rects(), (TRects{{10, 4, 20, 7}}));
  // A vertical segment gets caps at its ends too.
  TGdiPath vertical;
  vertical.MoveTo({7, 30});
  vertical.LineTo({7, 10});
  EXPECT_EQ(TGdiRegion::FromPath(vertical.Widened(6), pfWinding).Rects(), (TRects{{4, 10, 10, 30}}));
}

TEST(GdiPath, WidenedCornerHasRoundJoin) {
  TGdiPath polyline;
  polyline.Polyline(TPoints{{10, 10}, {50, 10}, {50, 50}});
  const TGdiPath wide = polyline.Widened(10);
  expectClosedLineFigures(wide);
  const std::vector<TPoints> rings = ringsOf(wide);
  ASSERT_EQ(rings.size(), 1u);
  int outerCorner = 0;
  for (const TPoint& p : rings[0]) {
    EXPECT_GE(p.X, 10) << "nothing passes the flat start cap";
    EXPECT_LE(p.Y, 50) << "nothing passes the flat end cap";
    if (p.X > 50 && p.Y < 10) {
      ++outerCorner;
      EXPECT_NEAR(std::hypot(p.X - 50.0, p.Y - 10.0), 5.0, 1.0) << "(" << p.X << ", " << p.Y << ")";
    }
  }
  EXPECT_GE(outerCorner, 3) << "the outer corner is rounded, not mitred or bevelled";
  EXPECT_NE(std::find(rings[0].begin(), rings[0].end(), TPoint{10, 5}), rings[0].end());
  EXPECT_NE(std::find(rings[0].begin(), rings[0].end(), TPoint{10, 15}), rings[0].end());
  EXPECT_NE(std::find(rings[0].begin(), rings[0].end(), TPoint{45, 50}), rings[0].end());
  EXPECT_NE(std::find(rings[0].begin(), rings[0].end(), TPoint{55, 50}), rings[0].end());
  const TGdiRegion region = TGdiRegion::FromPath(wide, pfAlternate);
  EXPECT_TRUE(region.Contains({53, 7}));
  EXPECT_FALSE(region.Contains({54, 5})) << "a mitred corner would hold this pixel";
  EXPECT_EQ(polyline.Widened(10).Points(), wide.Points()) << "widening is deterministic";
}

TEST(GdiPath, WidenedClosedFigureIsARing) {
  TGdiPath square;
  square.Polygon(TPoints{{10, 10}, {30, 10}, {30, 30}, {10, 30}});
  const TGdiPath wide = square.Widened(4);
  expectClosedLineFigures(wide);
  ASSERT_EQ(ringsOf(wide).size(), 2u);
  const TGdiRegion region = TGdiRegion::FromPath(wide, pfAlternate);
  EXPECT_EQ(TGdiRegion::FromPath(wide, pfWinding).Rects(), region.Rects());
  EXPECT_TRUE(region.Contains({9, 20}));
  EXPECT_TRUE(region.Contains({11, 20}));
  EXPECT_FALSE(region.Contains({20, 20})) << "the inside stays open";
  EXPECT_EQ(region.Box(), (TRect{8, 8, 32, 32}));
}

TEST(GdiPath, ThinPensLeaveThePath) {
  TGdiPath path;
  path.MoveTo({0, 0});
  path.PolyBezierTo(TPoints{{5, 9}, {9, 5}, {20, 0}});
  for (std::int32_t width : {1, 0, -7}) {
    const TGdiPath same = path.Widened(width);
    EXPECT_EQ(same.Points(), path.Points()) << "width " << width;
    EXPECT_EQ(same.Types(), path.Types()) << "width " << width;
  }
}

TEST(GdiPath, WideningHostileInput) {
  EXPECT_TRUE(TGdiPath().Widened(10).IsEmpty());
  TGdiPath point;
  point.MoveTo({5, 5});
  EXPECT_TRUE(point.Widened(10).IsEmpty());
  TGdiPath zeroLength;
  zeroLength.MoveTo({5, 5});
  zeroLength.LineTo({5, 5});
  EXPECT_TRUE(zeroLength.Widened(10).IsEmpty()) << "flat caps of nothing are nothing";

  TGdiPath far;
  far.MoveTo({0, 0});
  far.LineTo({kMaxWidenCoordinate + 1, 0});
  EXPECT_THROW((void)far.Widened(4), std::out_of_range);
  TGdiPath extreme;
  extreme.MoveTo({INT32_MIN, 0});
  extreme.LineTo({INT32_MAX, 0});
  EXPECT_THROW((void)extreme.Widened(4), std::out_of_range);
  TGdiPath small;
  small.Polyline(TPoints{{0, 0}, {10, 0}, {10, 10}});
  EXPECT_THROW((void)small.Widened(INT32_MAX), std::out_of_range);
  // The widest pen allowed keeps its round join to a bounded number of points.
  const TGdiPath huge = small.Widened(kMaxWidenCoordinate);
  EXPECT_FALSE(huge.IsEmpty());
  EXPECT_LT(huge.Points().size(), 2000u);
  for (const TPoint& p : huge.Points()) {
    EXPECT_LE(std::abs(p.X), kMaxWidenCoordinate);
    EXPECT_LE(std::abs(p.Y), kMaxWidenCoordinate);
  }
}

TEST(GdiPath, FixedFigures) {
  TGdiPath path;
  path.Polygon(TPoints{{1, 2}, {3, 2}, {3, 5}});
  path.MoveTo({-4, 7});
  path.LineTo({-4, 9});
  path.MoveTo({8, 8});
  const TArrayOfArrayOfFixedPoint figures = path.FixedFigures();
  ASSERT_EQ(figures.size(), 2u) << "a bare move-to makes no contour";
  EXPECT_EQ(figures[0], (TArrayOfFixedPoint{{0x10000, 0x20000}, {0x30000, 0x20000}, {0x30000, 0x50000}}));
  EXPECT_EQ(figures[1], (TArrayOfFixedPoint{{-0x40000, 0x70000}, {-0x40000, 0x90000}}));

  TGdiPath curve;
  curve.PolyBezier(TPoints{{0, 0}, {0, 40}, {40, 40}, {40, 0}});
  const TArrayOfArrayOfFixedPoint flat = curve.FixedFigures();
  ASSERT_EQ(flat.size(), 1u);
  EXPECT_EQ(flat[0].size(), curve.Flattened().Points().size());
  EXPECT_EQ(flat[0].back(), (TFixedPoint{40 << 16, 0}));

  TGdiPath edge;
  edge.Polyline(TPoints{{-32768, 0}, {32767, 0}});
  EXPECT_EQ(edge.FixedFigures()[0][0].X, INT32_MIN);
  TGdiPath beyond;
  beyond.Polyline(TPoints{{0, 0}, {32768, 0}});
  EXPECT_THROW((void)beyond.FixedFigures(), std::out_of_range);
  EXPECT_TRUE(TGdiPath().FixedFigures().empty());
}

}  // namespace
}  // namespace lumora

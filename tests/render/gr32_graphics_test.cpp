#include "render/gr32_graphics.h"

#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "render/bezier.h"
#include "render/gdi_path.h"

namespace lumora {
namespace {

constexpr TColor32 kRed = 0xFFFF0000;
constexpr TColor32 kBlue = 0xFF0000FF;

TFixedPoint px(double x, double y) { return {static_cast<TFixed>(x * 65536), static_cast<TFixed>(y * 65536)}; }

// A drawing object on a cleared 100 × 100 surface, set up as the graphics
// set up their painters: both colours equal, anti-aliasing on.
struct TPainter {
  TBitmap32 Surface;
  TGR32Graphics G;

  explicit TPainter(TColor32 colour = kRed, TFixed width = 4 << 16) {
    Surface.Resize(100, 100);
    Surface.Clear(0);
    G.Bitmap = &Surface;
    G.Antialias = true;
    G.PenColor = colour;
    G.BrushColor = colour;
    G.PenWidth = width;
  }
  std::vector<TColor32> Pixels() const { return {Surface.Bits().begin(), Surface.Bits().end()}; }
  int PaintedCount() const {
    int n = 0;
    for (TColor32 p : Surface.Bits()) n += p != 0;
    return n;
  }
};

TEST(GR32Graphics, CreatedState) {
  TGR32Graphics g;
  EXPECT_EQ(g.Bitmap, nullptr);
  EXPECT_FALSE(g.Antialias);
  EXPECT_EQ(g.PenWidth, 1);
  EXPECT_EQ(g.PenColor, 0xFF000000u);
  EXPECT_EQ(g.BrushColor, 0xFFFFFFFFu);
  ASSERT_NE(g.WorkPolygon, nullptr);
  EXPECT_FALSE(g.ReuseMask);
  EXPECT_EQ(g.ClassName(), "TGR32Graphics");
  // Without a surface nothing is drawn and nothing breaks.
  g.FillPolygon(std::vector<TFixedPoint>{px(1, 1), px(5, 1), px(5, 5)});
  EXPECT_TRUE(g.Coverage.CoverageRows.empty());
}

TEST(GR32Graphics, PenWidthOfOnePixelIsThin) {
  TPainter thin(kRed, 65536);
  thin.G.DrawLine(px(10, 10), px(30, 10));
  EXPECT_TRUE(thin.G.Coverage.CoverageRows.empty()) << "65536 draws a thin anti-aliased line";
  EXPECT_GT(thin.PaintedCount(), 0);

  TPainter wide(kRed, 65537);
  wide.G.DrawLine(px(10, 10), px(30, 10));
  EXPECT_FALSE(wide.G.Coverage.CoverageRows.empty()) << "65537 takes the wide path";
}

TEST(GR32Graphics, WholePixelLinesGrowRightAndDown) {
  TPainter p(kRed, 3 << 16);
  p.G.DrawLine(px(10, 5), px(20, 5));
  for (std::int32_t y = 0; y < 100; ++y) {
    for (std::int32_t x = 0; x < 100; ++x) {
      const bool inside = x >= 10 && x < 23 && y >= 5 && y < 8;
      ASSERT_EQ(p.Surface.ReadPixel(x, y), inside ? kRed : 0u) << x << ", " << y;
    }
  }
  TPainter vertical(kRed, 2 << 16);
  vertical.G.DrawLinePixels({40, 30}, {40, 20});
  EXPECT_EQ(vertical.PaintedCount(), 2 * 12);
  EXPECT_EQ(vertical.Surface.ReadPixel(41, 30), kRed);
}

TEST(GR32Graphics, DiagonalPixelLinesUseTheWidenedOutline) {
  TPainter solid(kRed, 5 << 16);
  solid.G.Antialias = false;
  solid.G.DrawLinePixels({10, 10}, {40, 30});
  EXPECT_FALSE(solid.G.RegionRects.empty());
  EXPECT_TRUE(solid.G.OutlinePoints.empty());
  EXPECT_EQ(solid.Surface.ReadPixel(25, 20), kRed);

  // Anti-aliased and 2 pixels wide: the 1-pixel outline alone, which for a
  // width of one is the line there and back.
  TPainter outline(kRed, 2 << 16);
  outline.G.DrawLinePixels({10, 10}, {40, 30});
  EXPECT_TRUE(outline.G.RegionRects.empty());
  EXPECT_EQ(outline.G.OutlinePoints, (TPoints{{10, 10}, {40, 30}, {10, 10}}));

  TPainter thin(kRed, 1 << 16);
  thin.G.WidenLineByGdi({10, 10}, {40, 30});
  EXPECT_TRUE(thin.G.OutlinePoints.empty());
  EXPECT_TRUE(thin.G.RegionRects.empty());
}

TEST(GR32Graphics, HalfPixelWidthWidensByTheMinimumStroke) {
  TPainter half(kRed, 32768);
  half.G.DrawLineWideFixed(px(10, 10), px(30, 10));
  // Half of 1.25 pixels (40960) on either side of the line.
  const TArrayOfFixedPoint expected{{655360, 614400}, {1966080, 614400}, {1966080, 655360},
                                    {1966080, 696320}, {655360, 696320}};
  ASSERT_EQ(half.G.WorkPolygon->Points().size(), 1u);
  EXPECT_EQ(half.G.WorkPolygon->Points()[0], expected);
  EXPECT_EQ(half.G.WorkPolygon->FillMode, pfWinding);
  EXPECT_FALSE(half.G.WorkPolygon->Closed);
  EXPECT_TRUE(half.G.WorkPolygon->Antialiased);
  // Sub-lines 76 … 84 are covered: four in row 9, five in row 10.
  ASSERT_EQ(half.G.Coverage.RowOrigins, (TPoints{{10, 9}, {10, 10}}));
  std::vector<std::uint8_t> row9(20, 127);
  std::vector<std::uint8_t> row10(20, 159);
  row9.insert(row9.end(), 2, 0);
  row10.insert(row10.end(), 2, 0);
  EXPECT_EQ(half.G.Coverage.CoverageRows, (TArrayofByteArray{row9, row10}));

  for (const TFixed width : {65535, 81920}) {
    TPainter same(kRed, width);
    same.G.DrawLineWideFixed(px(10, 10), px(30, 10));
    EXPECT_EQ(same.G.Coverage.CoverageRows, half.G.Coverage.CoverageRows) << "width " << width;
  }
  TPainter none(kRed, 0);
  none.G.DrawLineWideFixed(px(10, 10), px(30, 10));
  EXPECT_TRUE(none.G.Coverage.CoverageRows.empty()) << "no width draws a thin line";
  EXPECT_GT(none.PaintedCount(), 0);
}

TEST(GR32Graphics, TransparentBrushAndEmptyMasks) {
  const std::vector<TFixedPoint> square{px(10, 10), px(20, 10), px(20, 20), px(10, 20)};
  TPainter transparent(0x00FF0000);
  transparent.G.FillPolygon(square);
  EXPECT_TRUE(transparent.G.Coverage.CoverageRows.empty());
  EXPECT_EQ(transparent.PaintedCount(), 0);

  TPainter reuse;
  reuse.G.ReuseMask = true;
  reuse.G.FillPolygon(square);
  reuse.G.FillBezierPath(std::vector<TFixedPoint>{px(1, 1), px(50, 1), px(50, 50), px(1, 50)});
  EXPECT_EQ(reuse.PaintedCount(), 0) << "an empty mask paints nothing";
  EXPECT_TRUE(reuse.G.Coverage.CoverageRows.empty());
}

TEST(GR32Graphics, BezierFillNeedsThreeKPlusOnePoints) {
  TPainter p;
  p.G.FillPolygon(std::vector<TFixedPoint>{px(10, 10), px(20, 10), px(20, 20), px(10, 20)});
  const TArrayofByteArray before = p.G.Coverage.CoverageRows;
  p.Surface.Clear(0);
  p.G.FillBezierPath(std::vector<TFixedPoint>{px(1, 1), px(50, 1), px(50, 50), px(1, 50), px(1, 1)});
  EXPECT_EQ(p.PaintedCount(), 0) << "five control points do nothing";
  EXPECT_EQ(p.G.Coverage.CoverageRows, before);

  // Seven points: two curves that close on the start.
  p.G.FillBezierPath(std::vector<TFixedPoint>{px(10, 50), px(10, 10), px(90, 10), px(90, 50), px(90, 90), px(10, 90),
                                              px(10, 50)});
  EXPECT_NE(p.G.Coverage.CoverageRows, before);
  EXPECT_EQ(p.Surface.ReadPixel(50, 50), kRed);
  EXPECT_EQ(p.Surface.ReadPixel(5, 50), 0u);
}

TEST(GR32Graphics, EllipseBezier) {
  const TArrayOfFixedPoint e = EllipseBezier(0, 0, 100 << 16, 100 << 16);
  const TFixed c = 50 << 16;
  const TFixed d = 1738122;
  const TFixed f = 100 << 16;
  const TArrayOfFixedPoint expected{{0, c},     {0, c - d}, {c - d, 0}, {c, 0},     {c + d, 0}, {f, c - d}, {f, c},
                                    {f, c + d}, {c + d, f}, {c, f},     {c - d, f}, {0, c + d}, {0, c}};
  EXPECT_EQ(e, expected);
  EXPECT_EQ(EllipseBezier(TPoint{0, 0}, TPoint{100, 100}), expected);
  // Centre truncates: (−3 + 0) div 2 = −1.
  EXPECT_EQ(EllipseBezier(-3, -3, 0, 0)[0], (TFixedPoint{-3, -1}));
}

TEST(GR32Graphics, ArcBezier) {
  const TFixed r = 50 << 16;
  const TArrayOfFixedPoint full = ArcBezier({0, 0}, {100, 100}, 0, 0);
  // Equal angles: 0 → 2π, split into pieces below π, then 0 → 0 adds nothing.
  ASSERT_EQ(full.size(), 13u);
  EXPECT_EQ(full[0], (TFixedPoint{2 * r, r}));
  EXPECT_EQ(full[3], (TFixedPoint{r, 0})) << "growing angles run counter-clockwise: up first";
  EXPECT_EQ(full[6], (TFixedPoint{0, r}));
  EXPECT_EQ(full[9], (TFixedPoint{r, 2 * r}));
  EXPECT_EQ(full[12], full[0]);
  const double k = (1 - std::cos(std::numbers::pi / 4)) * 4 / 3 / std::sin(std::numbers::pi / 4);
  EXPECT_EQ(full[1], (TFixedPoint{2 * r, r - RoundToInt(r * k)}));

  // From 1 radian round to 1 radian: 1 → 2π in two halves, then 0 → 1.
  const TArrayOfFixedPoint around = ArcBezier({0, 0}, {100, 60}, 1, 1);
  ASSERT_EQ(around.size(), 10u);
  const TFixed rx = 50 << 16;
  const TFixed ry = 30 << 16;
  auto onEllipse = [&](double a) {
    return TFixedPoint{rx + RoundToInt(rx * std::cos(a)), ry - RoundToInt(ry * std::sin(a))};
  };
  EXPECT_EQ(around[0], onEllipse(1));
  EXPECT_EQ(around[3], onEllipse(1 + (2 * std::numbers::pi - 1) / 2));
  EXPECT_EQ(around[6], onEllipse(2 * std::numbers::pi));
  EXPECT_EQ(around[9], onEllipse(1));

  EXPECT_EQ(ArcBezier({0, 0}, {100, 100}, 0, std::numbers::pi / 2).size(), 4u);
  EXPECT_TRUE(ArcBezier({0, 0}, {100, 100}, 0, 1e-12).empty()) << "too short to draw";
  EXPECT_THROW(ArcBezier({0, 0}, {100, 100}, 0, 1e30), std::invalid_argument);
  EXPECT_THROW(ArcBezier({0, 0}, {100, 100}, std::nan(""), 1), std::invalid_argument);
}

TEST(GR32Graphics, Bounds) {
  EXPECT_EQ(PointsBounds(std::span<const TFixedPoint>()), (TFixedRect{}));
  const std::vector<TFixedPoint> points{{5, -3}, {-7, 9}, {2, 4}};
  EXPECT_EQ(PointsBounds(points), (TFixedRect{-7, -3, 5, 9}));
  EXPECT_EQ(BezierBounds(points), (TFixedRect{-7, -3, 5, 9}));
  // The curve's own extent, not its control points'.
  const std::vector<TFixedPoint> arch{px(0, 100), px(0, 0), px(100, 0), px(100, 100)};
  const TFixedRect b = BezierBounds(arch);
  EXPECT_EQ(b.Left, 0);
  EXPECT_EQ(b.Right, 100 << 16);
  EXPECT_EQ(b.Bottom, 100 << 16);
  EXPECT_NEAR(b.Top, 25 << 16, 1 << 16);
}

TEST(GR32Graphics, FlattenBezierOfAHostileChainStaysBounded) {
  // 1,000 loops of 8,000 pixels would flatten to about 7 million points.
  // The shared buffer stops growing at 2^20 points (it grows when half full,
  // and keeps every third point), after which the pieces stay whole; it
  // grows without quadratic copying on the way.
  std::vector<TFixedPoint> chain{px(0, 0)};
  for (int i = 0; i < 1000; ++i) {
    chain.insert(chain.end(), {px(0, 8000), px(8000, 8000), px(8000, 0)});
    chain.insert(chain.end(), {px(8000, -8000), px(0, -8000), px(0, 0)});
  }
  const TArrayOfFixedPoint flat = FlattenBezier(chain);
  EXPECT_GT(flat.size(), std::size_t{1} << 17) << "curves are flattened up to the cap";
  EXPECT_LT(flat.size(), std::size_t{1} << 18);
  EXPECT_EQ(flat.front(), chain.front());
  EXPECT_EQ(flat.back(), chain.back());
}

TEST(GR32Graphics, FlattenBezier) {
  // A straight piece stays whole.
  EXPECT_EQ(FlattenBezier(std::vector<TFixedPoint>{px(0, 0), px(0, 0), px(9, 9), px(9, 9)}),
            (TArrayOfFixedPoint{px(0, 0), px(9, 9)}));
  // A long curve needs more than the first 512 buffer points.
  const std::vector<TFixedPoint> big{px(0, 0), px(0, 20000), px(20000, 20000), px(20000, 0)};
  const TArrayOfFixedPoint flat = FlattenBezier(big);
  EXPECT_GT(flat.size(), 512u);
  EXPECT_EQ(flat.front(), big.front());
  EXPECT_EQ(flat.back(), big.back());
  for (std::size_t i = 1; i < flat.size(); ++i) {
    const std::int64_t step = std::llabs(std::int64_t{flat[i].X} - flat[i - 1].X) +
                              std::llabs(std::int64_t{flat[i].Y} - flat[i - 1].Y);
    ASSERT_LE(step, 3 * FlattenTolerance) << "piece " << i;
  }
  // Pieces lying wholly outside one side of the clip stay whole.
  const TFixedRect clip{0, 0, 10 << 16, 10 << 16};
  const std::vector<TFixedPoint> right{px(20, 0), px(20, 20000), px(20000, 20000), px(20000, 0)};
  EXPECT_EQ(FlattenBezier(right, FlattenTolerance, &clip).size(), 2u);

  EXPECT_EQ(OutCode(px(20, 20), clip), 1);
  EXPECT_EQ(OutCode(px(5, 20), clip), 3);
  EXPECT_EQ(OutCode(px(-1, 20), clip), 3);
  EXPECT_EQ(OutCode(px(-1, -1), clip), 0);
  EXPECT_EQ(OutCode(px(5, -1), clip), 2);
  EXPECT_EQ(OutCode(px(10, 10), clip), 4);

  TBitmap32 surface;
  surface.Resize(10, 10);
  TArrayOfFixedPoint output{px(1, 1)};
  EXPECT_FALSE(FlattenBezierVisible(
      std::vector<TFixedPoint>{px(-5, 1), px(-1, 5), px(-9, 2), px(-2, 3)}, surface, output));
  EXPECT_EQ(output, (TArrayOfFixedPoint{px(1, 1)})) << "left as the caller gave it";
  EXPECT_FALSE(FlattenBezierVisible({}, surface, output));
  EXPECT_TRUE(FlattenBezierVisible(
      std::vector<TFixedPoint>{px(-5, 1), px(20, 5), px(20, 5), px(-2, 3)}, surface, output));
  EXPECT_EQ(output.back(), px(-2, 3));
}

TEST(GR32Graphics, PathToPolygon) {
  TPainter p;
  TPolygon32 polygon;
  const std::vector<TPoint> points{{1, 1}, {5, 1}, {5, 5}, {10, 10}, {20, 10}, {20, 10}, {20, 20}, {2, 2}};
  const std::vector<std::uint8_t> types{6, 2, 3, 6, 4, 4, 5, 0};
  p.G.PathToPolygon(points, types, polygon);
  const auto f = [](std::int32_t x, std::int32_t y) { return FixedPoint(TPoint{x, y}); };
  ASSERT_EQ(polygon.Points().size(), 3u);
  EXPECT_TRUE(polygon.Points()[0].empty());
  EXPECT_EQ(polygon.Points()[1], (TArrayOfFixedPoint{f(1, 1), f(5, 1), f(5, 5), f(1, 1)}));
  // The curve's flattened points (the first repeats the current point), then
  // the figure start because its last point closes the figure.
  const TArrayOfFixedPoint& curve = polygon.Points()[2];
  ASSERT_GT(curve.size(), 4u);
  EXPECT_EQ(curve[0], f(10, 10));
  EXPECT_EQ(curve[1], f(10, 10));
  EXPECT_EQ(curve[curve.size() - 2], f(20, 20));
  EXPECT_EQ(curve.back(), f(10, 10));

  // A curve lying wholly outside still ends at its end point.
  TPolygon32 outside;
  p.G.PathToPolygon(std::vector<TPoint>{{-5, 50}, {-10, 50}, {-20, 60}, {-10, 70}, {50, 70}},
                    std::vector<std::uint8_t>{6, 4, 4, 4, 2}, outside);
  EXPECT_EQ(outside.Points()[1], (TArrayOfFixedPoint{f(-5, 50), f(-10, 70), f(50, 70)}));
}

TEST(GR32Graphics, WidenWorkPolygon) {
  TPainter p(kRed, 4 << 16);
  p.G.WorkPolygon->AddPoints(std::vector<TFixedPoint>{px(10, 10), px(30, 10), px(30, 30), px(10, 30)});
  p.G.WidenWorkPolygon(true);
  ASSERT_EQ(p.G.WorkPolygon->Points().size(), 2u) << "a closed contour and its reverse";
  EXPECT_EQ(p.G.WorkPolygon->FillMode, pfWinding);
  ComputeCoveragePoly(p.G.Coverage, p.Surface, p.G.WorkPolygon->Points(), nullptr, 2, true, kRed);
  PaintCoverage(p.Surface, p.G.Coverage, kRed);
  EXPECT_EQ(p.Surface.ReadPixel(20, 20), 0u) << "a ring, hollow inside";
  EXPECT_EQ(p.Surface.ReadPixel(20, 10), kRed);
  EXPECT_EQ(p.Surface.ReadPixel(31, 20), kRed);
}

TEST(GR32Graphics, MaskCoverageByAlpha) {
  TPainter p;
  p.G.FillPolygon(std::vector<TFixedPoint>{px(10, 10), px(20, 10), px(20, 20), px(10, 20)});
  TBitmap32 transparent;
  transparent.Resize(100, 100);
  transparent.Clear(0x00FFFFFF);
  p.G.MaskCoverageByAlpha(transparent);
  EXPECT_TRUE(p.G.Coverage.RowOrigins.empty());
  EXPECT_TRUE(p.G.Coverage.CoverageRows.empty());

  TBitmap32 mask;
  mask.Resize(6, 2);
  mask.Clear(0xFF000000);
  mask.WritePixel(2, 0, 0x00000000);
  mask.WritePixel(3, 0, 0x80000000);
  mask.WritePixel(5, 0, 0x00000000);
  p.G.Coverage.RowOrigins = {{2, 0}, {0, 1}, {4, 1}, {0, 1}};
  p.G.Coverage.CoverageRows = {{255, 255, 10, 0}, {0}, {100, 200, 7}, {0, 0}};
  p.G.MaskCoverageByAlpha(mask);
  // Row 0: 0, 128, 10, 0 cut to its non-zero span. Row 1 is a single zero
  // byte, which is kept. Row 2 runs off the surface after two bytes. Row 3
  // has no coverage left.
  EXPECT_EQ(p.G.Coverage.RowOrigins, (TPoints{{3, 0}, {0, 1}, {4, 1}}));
  EXPECT_EQ(p.G.Coverage.CoverageRows, (TArrayofByteArray{{128, 10}, {0}, {100, 200}}));
}

// Computes with ReuseMask clear in one colour, then repaints with ReuseMask
// set in another colour and with the shape moved: the repaint must equal a
// fresh computation of the first shape in the second colour.
void expectFrozenRepaint(const char* what, TFixed width, const std::function<void(TGR32Graphics&, double)>& draw) {
  TPainter frozen(kRed, width);
  draw(frozen.G, 0);
  frozen.G.ReuseMask = true;
  frozen.G.PenColor = frozen.G.BrushColor = kBlue;
  frozen.Surface.Clear(0);
  draw(frozen.G, 7);

  TPainter fresh(kBlue, width);
  draw(fresh.G, 0);
  EXPECT_GT(fresh.PaintedCount(), 0) << what;
  EXPECT_TRUE(frozen.Pixels() == fresh.Pixels()) << what << ": the repaint differs from a fresh drawing";
}

TEST(GR32Graphics, ReuseMaskRepaintsWithoutComputing) {
  expectFrozenRepaint("FillPolygon", 1, [](TGR32Graphics& g, double d) {
    g.FillPolygon(std::vector<TFixedPoint>{px(10.3 + d, 10.6), px(40, 12 + d), px(25, 37.2)});
  });
  expectFrozenRepaint("DrawLineWideFixed", 5 << 16, [](TGR32Graphics& g, double d) {
    g.DrawLineWideFixed(px(10.5, 10.5 + d), px(60.25, 40));
  });
  expectFrozenRepaint("DrawPolylineWide", 3 << 16, [](TGR32Graphics& g, double d) {
    g.DrawPolylineWide(std::vector<TFixedPoint>{px(10, 10), px(50 + d, 20), px(30, 60), px(10, 10)});
  });
  expectFrozenRepaint("FillBezierPath", 1, [](TGR32Graphics& g, double d) {
    g.FillBezierPath(EllipseBezier(TPoint{10 + static_cast<int>(d), 10}, TPoint{60, 50}));
  });
  expectFrozenRepaint("DrawBezierWide", 3 << 16, [](TGR32Graphics& g, double d) {
    g.DrawBezierWide(std::vector<TPoint>{{10, 10}, {20, 80}, {60 + static_cast<int>(d), 0}, {90, 50}});
  });
  expectFrozenRepaint("StrokeGlyphPath", 2 << 16, [](TGR32Graphics& g, double d) {
    g.StrokeGlyphPath(std::vector<TPoint>{{10, 10}, {60, 10 + static_cast<int>(d)}, {60, 60}, {10, 60}},
                      std::vector<std::uint8_t>{6, 2, 2, 3});
  });
  expectFrozenRepaint("DrawLinePixels", 6 << 16, [](TGR32Graphics& g, double d) {
    g.DrawLinePixels({10, 10}, {60, 40 + static_cast<int>(d)});
  });
}

TEST(GR32Graphics, FillsWithOutline) {
  TPainter p;
  p.G.FillPolygonWithOutline(
      std::vector<TFixedPoint>{px(10.5, 10.5), px(20.5, 10.5), px(20.5, 20.5), px(10.5, 20.5), px(10.5, 10.5)});
  // The inside of the axis rectangle is filled exactly, its sides drawn smooth.
  EXPECT_EQ(p.Surface.ReadPixel(11, 11), kRed);
  EXPECT_EQ(p.Surface.ReadPixel(19, 19), kRed);
  EXPECT_EQ(p.Surface.ReadPixel(15, 25), 0u);
  EXPECT_EQ(p.Surface.UpdateCount(), 0);

  TPainter gdi;
  gdi.G.FillBezierPathGdi(EllipseBezier(TPoint{10, 10}, TPoint{60, 50}));
  EXPECT_FALSE(gdi.G.RegionRects.empty());
  EXPECT_EQ(gdi.Surface.ReadPixel(35, 30), kRed);
  EXPECT_EQ(gdi.Surface.ReadPixel(5, 5), 0u);
}

TEST(GR32Graphics, DrawDot) {
  TBitmap32 surface;
  surface.Resize(40, 40);
  surface.Clear(0);
  TGR32Graphics::DrawDot(surface, px(20, 20), 10 << 16, kBlue);
  EXPECT_EQ(surface.ReadPixel(20, 20), kBlue);
  EXPECT_EQ(surface.ReadPixel(12, 20), kBlue);
  EXPECT_EQ(surface.ReadPixel(31, 20), 0u);
  EXPECT_EQ(surface.ReadPixel(11, 11), 0u) << "round, not square";
  TGR32Graphics::DrawDot(surface, px(-50, 20), 10 << 16, kRed);
  for (TColor32 c : surface.Bits()) ASSERT_NE(c, kRed) << "a dot outside the surface draws nothing";
}

}  // namespace
}  // namespace lumora

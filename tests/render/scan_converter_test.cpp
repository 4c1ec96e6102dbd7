#include "render/scan_converter.h"

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/scan_converter_p.h"

namespace lumora {
namespace {

constexpr TColor32 kRed = 0xFFFF0000;

TFixedPoint px(double x, double y) { return {static_cast<TFixed>(x * 65536), static_cast<TFixed>(y * 65536)}; }

TArrayOfFixedPoint rectangle(double l, double t, double r, double b) {
  return {px(l, t), px(r, t), px(r, b), px(l, b)};
}

std::vector<std::uint8_t> row(std::initializer_list<std::pair<std::size_t, std::uint8_t>> runs) {
  std::vector<std::uint8_t> bytes;
  for (const auto& [count, value] : runs) bytes.insert(bytes.end(), count, value);
  return bytes;
}

// A surface with a recorder of the areas it reports as changed.
struct TTarget {
  TBitmap32 Surface;
  TCoverageMask Mask;
  std::vector<TRect> Changes;

  explicit TTarget(std::int32_t w = 100, std::int32_t h = 100) {
    Surface.Resize(w, h);
    Surface.Clear(0);
    Surface.OnAreaChanged = [this](const TRect& r) { Changes.push_back(r); };
  }
  void Fill(std::span<const TFixedPoint> contour, std::int32_t level = 2, bool nonZero = true) {
    ComputeCoverage(Mask, Surface, contour, nullptr, level, nonZero, nullptr, kRed);
  }
};

TEST(ScanConverter, WholePixelSquareAtLevelTwo) {
  TTarget t;
  t.Fill(rectangle(10, 10, 20, 20));
  const TPoints& origins = t.Mask.RowOrigins;
  const TArrayofByteArray& rows = t.Mask.CoverageRows;
  ASSERT_EQ(origins.size(), 11u);
  ASSERT_EQ(rows.size(), 11u);
  for (std::int32_t k = 0; k < 11; ++k) EXPECT_EQ(origins[k], (TPoint{10, 10 + k})) << "row " << k;
  // The top sub-line only carries a zero-width span.
  EXPECT_EQ(rows[0], row({{10, 223}, {2, 0}}));
  for (std::size_t k = 1; k < 10; ++k) EXPECT_EQ(rows[k], row({{10, 255}, {2, 0}})) << "row " << k;
  EXPECT_EQ(rows[10], row({{2, 0}}));
  ASSERT_EQ(t.Changes.size(), 1u);
  EXPECT_EQ(t.Changes[0], (TRect{10, 10, 20, 20}));
  EXPECT_EQ(t.Surface.UpdateCount(), 0);
}

TEST(ScanConverter, LevelZeroNeverReachesFullCoverage) {
  TTarget t;
  t.Fill(rectangle(10, 10, 20, 20), 0);
  const TArrayofByteArray& rows = t.Mask.CoverageRows;
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[0], row({{10, 244}, {2, 0}}));
  for (std::size_t k = 1; k < 10; ++k) EXPECT_EQ(rows[k], row({{10, 251}, {2, 0}})) << "row " << k;
  // So even the inside is blended when painted.
  PaintCoverage(t.Surface, t.Mask, kRed);
  EXPECT_EQ(t.Surface.ReadPixel(15, 15), BlendPixel(0xFBFF0000, 0, 255));
}

TEST(ScanConverter, EveryLevelCoversAWholePixelFully) {
  for (std::int32_t level = 1; level <= 4; ++level) {
    TTarget t;
    t.Fill(rectangle(10, 10, 20, 20), level);
    ASSERT_EQ(t.Mask.CoverageRows.size(), 11u) << "level " << level;
    EXPECT_EQ(t.Mask.CoverageRows[5], row({{10, 255}, {2, 0}})) << "level " << level;
  }
}

TEST(ScanConverter, HorizontalEdges) {
  // One sub-line high: the top edge's sub-line holds nothing, the bottom
  // edge's a zero-width span, so the row exists with no coverage.
  TTarget t;
  t.Fill(rectangle(10, 10, 20, 10.125));
  ASSERT_EQ(t.Mask.CoverageRows.size(), 1u);
  EXPECT_EQ(t.Mask.RowOrigins[0], (TPoint{10, 10}));
  EXPECT_EQ(t.Mask.CoverageRows[0], row({{12, 0}}));
  // Two sub-lines: exactly one covered.
  TTarget two;
  two.Fill(rectangle(10, 10, 20, 10.25));
  EXPECT_EQ(two.Mask.CoverageRows[0], row({{10, 7 * 1167 >> 8}, {2, 0}}));
}

TEST(ScanConverter, NothingToDo) {
  TTarget flat;
  flat.Fill(TArrayOfFixedPoint{px(10, 10), px(20, 10), px(30, 10), px(5, 10)});
  EXPECT_TRUE(flat.Mask.RowOrigins.empty());
  EXPECT_TRUE(flat.Changes.empty()) << "a flat contour reports nothing";

  TTarget above;
  above.Surface.SetClipRect({0, 50, 100, 100});
  above.Fill(rectangle(10, 10, 20, 20));
  EXPECT_TRUE(above.Mask.CoverageRows.empty());
  EXPECT_TRUE(above.Changes.empty()) << "a contour above the clip rectangle changes nothing";

  TTarget few;
  few.Fill(TArrayOfFixedPoint{px(10, 10), px(20, 20)});
  EXPECT_TRUE(few.Mask.CoverageRows.empty());

  TTarget transparent;
  const TArrayOfFixedPoint square = rectangle(10, 10, 20, 20);
  ComputeCoverage(transparent.Mask, transparent.Surface, square, nullptr, 2, true, nullptr, 0x00FF0000);
  EXPECT_TRUE(transparent.Mask.CoverageRows.empty()) << "a transparent colour computes nothing";
  const TFillLineEvent callback = [](std::span<TColor32>, std::int32_t, std::int32_t, std::span<const std::uint8_t>) {};
  ComputeCoverage(transparent.Mask, transparent.Surface, square, nullptr, 2, true, &callback, 0x00FF0000);
  EXPECT_EQ(transparent.Mask.CoverageRows.size(), 11u) << "a fill callback stands in for the colour";

  TTarget empty(0, 0);
  empty.Fill(square);
  EXPECT_TRUE(empty.Mask.CoverageRows.empty());
}

TEST(ScanConverter, CrossingsClampToTheClipRectangle) {
  TTarget t;
  t.Fill(rectangle(-5, 10, 20, 20));
  ASSERT_EQ(t.Mask.CoverageRows.size(), 11u);
  EXPECT_EQ(t.Mask.RowOrigins[1], (TPoint{0, 11}));
  EXPECT_EQ(t.Mask.CoverageRows[1], row({{20, 255}, {2, 0}}));
  EXPECT_EQ(t.Changes[0], (TRect{-5, 10, 20, 20})) << "the changed area is the unclipped bounds";

  TTarget right;
  right.Surface.SetClipRect({0, 0, 15, 100});
  right.Fill(rectangle(10, 10, 20, 20));
  EXPECT_EQ(right.Mask.CoverageRows[3], row({{5, 255}, {2, 0}}));
}

TEST(ScanConverter, OverlappingSquaresUnderBothRules) {
  const TArrayOfArrayOfFixedPoint squares{rectangle(10, 10, 20, 20), rectangle(15, 15, 25, 25)};
  TTarget winding;
  ComputeCoveragePoly(winding.Mask, winding.Surface, squares, nullptr, 2, true, kRed);
  TTarget evenOdd;
  ComputeCoveragePoly(evenOdd.Mask, evenOdd.Surface, squares, nullptr, 2, false, kRed);
  ASSERT_EQ(winding.Mask.RowOrigins[7], (TPoint{10, 17}));
  EXPECT_EQ(winding.Mask.CoverageRows[7], row({{15, 255}, {2, 0}}));
  ASSERT_EQ(evenOdd.Mask.RowOrigins[7], (TPoint{10, 17}));
  EXPECT_EQ(evenOdd.Mask.CoverageRows[7], row({{5, 255}, {5, 0}, {5, 255}, {2, 0}}));
  // Contours of fewer than three points add nothing.
  TTarget withStray;
  ComputeCoveragePoly(withStray.Mask, withStray.Surface, {rectangle(10, 10, 20, 20), {px(50, 50), px(60, 90)}},
                      nullptr, 2, true, kRed);
  EXPECT_EQ(withStray.Mask.CoverageRows.size(), 11u);
}

TEST(ScanConverter, TransformationMovesTheMaskButNotTheReportedArea) {
  TTarget t;
  TAffineTransformation shift;
  shift.Translate(5, 3);
  const TArrayOfFixedPoint square = rectangle(10, 10, 20, 20);
  ComputeCoverage(t.Mask, t.Surface, square, &shift, 2, true, nullptr, kRed);
  ASSERT_EQ(t.Mask.RowOrigins.size(), 11u);
  EXPECT_EQ(t.Mask.RowOrigins[1], (TPoint{15, 14}));
  EXPECT_EQ(t.Changes[0], (TRect{10, 10, 20, 20}));
}

TEST(ScanConverter, OddCrossingCountIsACatchableAssertion) {
  scan::TCrossingLists lists{{40, 8}, {3, 9, 5}};
  try {
    scan::SortCrossings(lists);
    FAIL() << "no assertion raised";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()), "Assertion failure");
  }
  TTarget t;
  scan::TCrossingLists odd{{80 | scan::kUpward, 160}, {80}};
  EXPECT_THROW(scan::BuildCoverageRows(t.Mask, t.Surface, odd, 80, 2, true),
               EAssertionFailed);
  EXPECT_EQ(t.Surface.UpdateCount(), 0) << "the update bracket is closed on the error";

  scan::TCrossingLists sorted{{160, 80 | scan::kUpward, 120, 100}};
  scan::SortCrossings(sorted);
  EXPECT_EQ(sorted[0], (std::vector<std::uint32_t>{80 | scan::kUpward, 100, 120, 160}));
}

TEST(ScanConverter, PaintCoverage) {
  TBitmap32 surface;
  surface.Resize(4, 2);
  surface.Clear(0xFF0000FF);
  const TCoverageMask mask{{{-1, 0}, {2, 1}, {0, 5}}, {{255, 255, 128, 0}, {255, 64, 255}, {255}}};
  PaintCoverage(surface, mask, 0x80FF0000);
  // Full coverage stores the colour with its own alpha; partial coverage
  // ignores that alpha; pixels off the surface are skipped.
  EXPECT_EQ(surface.ReadPixel(0, 0), 0x80FF0000u);
  EXPECT_EQ(surface.ReadPixel(1, 0), 0xC0800080u);
  EXPECT_EQ(surface.ReadPixel(2, 0), 0xFF0000FFu);
  EXPECT_EQ(surface.ReadPixel(2, 1), 0x80FF0000u);
  EXPECT_EQ(surface.ReadPixel(3, 1), BlendPixel(0x40FF0000, 0xFF0000FF, 255));
  EXPECT_EQ(surface.ReadPixel(0, 1), 0xFF0000FFu);
}

struct TLevelRule {
  int Lines;
  int Shift;
  std::int64_t Factor;
};
constexpr TLevelRule kRules[] = {{32, 5, 65}, {16, 4, 273}, {8, 3, 1167}, {4, 2, 5460}, {2, 1, 32662}};

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? (a + b - 1) / b : -(-a / b); }

// The crossings of an edge, one per sub-line from the start row to before
// the end row, from the exact intercepts: on sub-line k the edge lies
// v = (k·dx + ⌊(dx mod dy) / 2⌋) / dy sub-samples from its start. The
// crossing is the largest whole sub-sample strictly before v, never moving
// back, except that a jump of more than three sub-samples lands on ⌈v⌉.
std::vector<std::int64_t> edgeXs(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
  const std::int64_t dy = std::llabs(y2 - y1);
  const std::int64_t dx = std::llabs(x2 - x1);
  const std::int64_t sx = x2 > x1 ? 1 : -1;
  const std::int64_t offset = (dx % dy) / 2;
  std::vector<std::int64_t> xs{x1};
  std::int64_t previous = 0;
  for (std::int64_t k = 1; k < dy; ++k) {
    const std::int64_t numerator = k * dx + offset;
    const std::int64_t above = ceilDiv(numerator, dy);
    previous = numerator > (previous + 3) * dy ? above : std::max(previous, above - 1);
    xs.push_back(x1 + sx * previous);
  }
  return xs;
}

// Dense coverage of the surface: every sub-sample whose column is not the
// last of its pixel counts when the crossings at or left of it put it inside.
std::vector<std::uint8_t> referenceCoverage(const TArrayOfArrayOfFixedPoint& contours, const TRect& clip,
                                            std::int32_t width, std::int32_t height, int level, bool nonZero) {
  const TLevelRule& r = kRules[level];
  auto sub = [&](TFixed v) { return (std::int64_t{v} + 2047) >> (16 - r.Shift); };
  std::int64_t minY = 0x7F000000;
  std::int64_t maxY = -0x7F000000;
  for (const auto& c : contours) {
    if (c.size() < 3) continue;
    for (const auto& p : c) {
      minY = std::min(minY, sub(p.Y));
      maxY = std::max(maxY, sub(p.Y));
    }
  }
  std::vector<std::uint8_t> image(static_cast<std::size_t>(width * height));
  const std::int64_t top = std::int64_t{clip.Top} << r.Shift;
  const std::int64_t last = (std::int64_t{clip.Bottom} << r.Shift) - 1;
  const std::int64_t left = std::int64_t{clip.Left} << r.Shift;
  const std::int64_t right = (std::int64_t{clip.Right} << r.Shift) - 1;
  if (std::clamp(minY, top, last) >= std::clamp(maxY, top, last)) return image;
  struct TCross {
    std::int64_t Y;
    std::int64_t X;
    int Winding;
    bool operator<(const TCross& o) const { return Y != o.Y ? Y < o.Y : X < o.X; }
  };
  std::vector<TCross> crossings;
  for (const auto& c : contours) {
    if (c.size() < 3) continue;
    // Where the vertical direction reverses, the vertex's own sub-line holds a
    // zero-width span only, so the new edge's first crossing drops out.
    int previousDir = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
      const std::int64_t y1 = sub(c[i].Y);
      const std::int64_t y2 = sub(c[(i + 1) % c.size()].Y);
      if (y1 != y2) previousDir = y2 > y1 ? 1 : -1;
    }
    for (std::size_t i = 0; i < c.size(); ++i) {
      const TFixedPoint& a = c[i];
      const TFixedPoint& b = c[(i + 1) % c.size()];
      const std::int64_t y1 = sub(a.Y);
      const std::int64_t y2 = sub(b.Y);
      if (y1 == y2) continue;
      const int sy = y2 > y1 ? 1 : -1;
      const bool reverses = sy != previousDir;
      previousDir = sy;
      const std::vector<std::int64_t> xs = edgeXs(sub(a.X), y1, sub(b.X), y2);
      for (std::size_t k = reverses ? 1 : 0; k < xs.size(); ++k) {
        const std::int64_t y = y1 + sy * static_cast<std::int64_t>(k);
        if (y < top || y > last) continue;
        crossings.push_back({y, std::clamp(xs[k], left, right), -sy});
      }
    }
  }
  std::sort(crossings.begin(), crossings.end());
  std::vector<std::int64_t> counts(image.size());
  for (std::size_t first = 0, end = 0; first < crossings.size(); first = end) {
    const std::int64_t y = crossings[first].Y;
    for (end = first; end < crossings.size() && crossings[end].Y == y; ++end) {
    }
    // Sample every sub-sample between the first and last crossing of the line.
    std::size_t next = first;
    int winding = 0;
    for (std::int64_t j = crossings[first].X; j < crossings[end - 1].X; ++j) {
      for (; next < end && crossings[next].X <= j; ++next) winding += nonZero ? crossings[next].Winding : 1;
      const bool inside = nonZero ? winding != 0 : (winding % 2) != 0;
      if (inside && (j & (r.Lines - 1)) != r.Lines - 1) {
        ++counts[static_cast<std::size_t>((y >> r.Shift) * width + (j >> r.Shift))];
      }
    }
  }
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(((counts[i] * r.Factor) & 0xFF00) >> 8);
  return image;
}

std::vector<std::uint8_t> denseMask(const TCoverageMask& g, std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(width * height));
  for (std::size_t k = 0; k < g.RowOrigins.size(); ++k) {
    for (std::size_t i = 0; i < g.CoverageRows[k].size(); ++i) {
      const std::int64_t x = g.RowOrigins[k].X + static_cast<std::int64_t>(i);
      const std::int64_t y = g.RowOrigins[k].Y;
      const std::uint8_t b = g.CoverageRows[k][i];
      if (x < 0 || x >= width || y < 0 || y >= height) {
        EXPECT_EQ(b, 0) << "coverage off the surface at " << x << ", " << y;
        continue;
      }
      image[static_cast<std::size_t>(y * width + x)] = b;
    }
  }
  return image;
}

TEST(ScanConverter, MatchesPointSamplingReference) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pointCount(3, 7);
  std::uniform_int_distribution<int> coin(0, 3);
  std::uniform_int_distribution<int> edge(0, 3);
  TBitmap32 small;
  small.Resize(8, 8);
  TBitmap32 large;
  large.Resize(16, 16);
  int compared = 0;
  for (int iteration = 0; iteration < 2000; ++iteration) {
    const int level = iteration % 3 == 0 ? iteration / 3 % 5 : 2;
    // The coarse levels sample finer, so they get a smaller surface.
    const std::int32_t size = level <= 1 ? 8 : 16;
    std::uniform_int_distribution<TFixed> coordinate(-3 * 65536, (size + 3) * 65536);
    TArrayOfArrayOfFixedPoint contours(1 + (coin(random) == 0));
    for (auto& c : contours) {
      const int n = pointCount(random);
      for (int i = 0; i < n; ++i) {
        TFixedPoint p{coordinate(random), coordinate(random)};
        // Whole pixels and repeated coordinates give horizontal and vertical
        // edges and vertices exactly on sub-lines.
        if (coin(random) == 0) p = {p.X & ~0xFFFF, p.Y & ~0xFFFF};
        if (i > 0 && coin(random) == 0) p.Y = c.back().Y;
        c.push_back(p);
      }
    }
    TBitmap32& surface = level <= 1 ? small : large;
    surface.ResetClipRect();
    if (coin(random) == 0) surface.SetClipRect({edge(random), edge(random), size - edge(random), size - edge(random)});
    for (const bool nonZero : {false, true}) {
      TCoverageMask g;
      ComputeCoveragePoly(g, surface, contours, nullptr, level, nonZero, kRed);
      const auto expected = referenceCoverage(contours, surface.ClipRect(), size, size, level, nonZero);
      ASSERT_EQ(denseMask(g, size, size), expected)
          << "iteration " << iteration << " level " << level << (nonZero ? " non-zero" : " even-odd");
      ++compared;
    }
  }
  EXPECT_EQ(compared, 4000);
}

TEST(ScanConverter, ExtremeCoordinatesStayBounded) {
  TTarget t(64, 64);
  const TFixed big = 0x7FFFFFFF;
  const TFixed small = -0x7FFFFFFF - 1;
  const TArrayOfFixedPoint hostile{{small, small}, {big, small + 5}, {big, big}, {10 << 16, 20 << 16}, {small, big}};
  for (std::int32_t level = 0; level <= 4; ++level) {
    t.Mask.RowOrigins.clear();
    t.Mask.CoverageRows.clear();
    t.Fill(hostile, level);
    ASSERT_EQ(t.Mask.RowOrigins.size(), t.Mask.CoverageRows.size());
    for (std::size_t k = 0; k < t.Mask.RowOrigins.size(); ++k) {
      EXPECT_GE(t.Mask.RowOrigins[k].X, 0);
      EXPECT_LE(t.Mask.RowOrigins[k].X + std::int64_t(t.Mask.CoverageRows[k].size()), 64 + 2);
    }
  }
  PaintCoverage(t.Surface, t.Mask, kRed);
  EXPECT_EQ(t.Surface.UpdateCount(), 0);
}

}  // namespace
}  // namespace lumora

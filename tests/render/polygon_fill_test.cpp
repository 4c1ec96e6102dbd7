#include <vector>

#include <gtest/gtest.h>

#include "render/bitmap32.h"
#include "render/gr32_graphics.h"
#include "render/polygon32.h"

namespace lumora {
namespace {

constexpr TColor32 kGreen = 0xFF00FF00;

TFixedPoint px(double x, double y) { return {static_cast<TFixed>(x * 65536), static_cast<TFixed>(y * 65536)}; }

TArrayOfFixedPoint rectangle(double l, double t, double r, double b) {
  return {px(l, t), px(r, t), px(r, b), px(l, b)};
}

void expectFilled(const TBitmap32& s, const TRect& area, TColor32 inside, TColor32 outside, const char* what) {
  for (std::int32_t y = 0; y < s.Height(); ++y) {
    for (std::int32_t x = 0; x < s.Width(); ++x) {
      ASSERT_EQ(s.ReadPixel(x, y), PtInRect(area, {x, y}) ? inside : outside) << what << " at " << x << ", " << y;
    }
  }
}

TEST(PolygonFill, PixelCentresDecide) {
  TBitmap32 s;
  s.Resize(30, 30);
  s.Clear(0);
  s.PolygonFill(rectangle(10.25, 10.25, 20.5, 20.75), kGreen, pfAlternate);
  expectFilled(s, {10, 10, 20, 21}, kGreen, 0, "square");

  // A square traced twice winds twice: non-zero fills it, even-odd does not.
  TArrayOfFixedPoint twice = rectangle(10, 10, 20, 20);
  twice.insert(twice.end(), twice.begin(), twice.end());
  s.Clear(0);
  s.PolygonFill(twice, kGreen, pfAlternate);
  expectFilled(s, {}, 0, 0, "even-odd");
  s.PolygonFill(twice, kGreen, pfWinding);
  expectFilled(s, {10, 10, 20, 20}, kGreen, 0, "non-zero");

  s.Clear(0);
  s.SetClipRect({0, 0, 15, 30});
  s.PolygonFill(rectangle(-10, 10, 40, 20), kGreen, pfWinding);
  expectFilled(s, {0, 10, 15, 20}, kGreen, 0, "clipped");
}

TEST(PolygonFill, SmoothFillMatchesTheDrawingInterface) {
  const std::vector<TFixedPoint> shape{px(3.3, 4.1), px(27.6, 9.9), px(14.2, 26.7), px(8.8, 15.05)};
  TBitmap32 direct;
  direct.Resize(30, 30);
  direct.Clear(0xFF202020);
  direct.PolygonFillSmooth(shape, kGreen, pfWinding);

  TBitmap32 masked;
  masked.Resize(30, 30);
  masked.Clear(0xFF202020);
  TGR32Graphics g;
  g.Bitmap = &masked;
  g.BrushColor = kGreen;
  g.FillPolygon(shape);
  // The colours agree; the direct fill keeps the colour's own alpha where the
  // mask repaint puts the coverage.
  int partial = 0;
  for (std::int32_t i = 0; i < 900; ++i) {
    ASSERT_EQ(direct.Bits()[i] & 0x00FFFFFF, masked.Bits()[i] & 0x00FFFFFF) << "pixel " << i;
    ASSERT_EQ(AlphaComponent(direct.Bits()[i]), 255) << "pixel " << i;
    partial += AlphaComponent(masked.Bits()[i]) != 255;
  }
  EXPECT_GT(partial, 0);

  TBitmap32 untouched;
  untouched.Resize(4, 4);
  untouched.Clear(0);
  untouched.PolygonFillSmooth(shape, 0x00FFFFFF, pfWinding);
  untouched.PolygonFill(std::vector<TFixedPoint>{px(0, 0), px(3, 3)}, kGreen, pfWinding);
  expectFilled(untouched, {}, 0, 0, "transparent colour or too few points");
}

TEST(PolygonFill, FillOnSurface) {
  TBitmap32 s;
  s.Resize(30, 30);
  s.Clear(0);
  std::vector<TRect> changes;
  s.OnAreaChanged = [&changes](const TRect& r) { changes.push_back(r); };
  TPolygon32 polygon;
  polygon.AddPoints(rectangle(5, 5, 25, 25));
  polygon.NewContour();
  polygon.AddPoints(rectangle(10, 10, 20, 20));
  polygon.FillOnSurface(s, kGreen);
  EXPECT_EQ(s.ReadPixel(7, 7), kGreen);
  EXPECT_EQ(s.ReadPixel(15, 15), 0u) << "even-odd leaves the hole";
  ASSERT_EQ(changes.size(), 1u) << "one notification after the bracket";
  EXPECT_EQ(changes[0], (TRect{5, 5, 25, 25}));
  EXPECT_EQ(s.UpdateCount(), 0);

  polygon.FillMode = pfWinding;
  polygon.Antialiased = true;
  polygon.FillOnSurface(s, kGreen);
  EXPECT_EQ(s.ReadPixel(15, 15), kGreen);
}

TEST(PolygonFill, FillWithPattern) {
  TBitmap32 pattern;
  pattern.Resize(2, 2);
  pattern.WritePixel(0, 0, 0x00000001);
  pattern.WritePixel(1, 0, 0x00000002);
  pattern.WritePixel(0, 1, 0x00000003);
  pattern.WritePixel(1, 1, 0x80000004);
  TBitmapPolygonFiller filler;
  filler.Pattern = &pattern;
  filler.OffsetX = 1;

  TBitmap32 s;
  s.Resize(6, 6);
  s.Clear(0xFF000000);
  TPolygon32 polygon;
  polygon.AddPoints(rectangle(0, 0, 4, 4));
  polygon.FillWithPattern(s, filler);
  for (std::int32_t y = 0; y < 6; ++y) {
    for (std::int32_t x = 0; x < 6; ++x) {
      const TColor32 expected =
          x < 4 && y < 4 ? (pattern.ReadPixel(((x - 1) % 2 + 2) % 2, y % 2) | 0xFF000000) : 0xFF000000;
      ASSERT_EQ(s.ReadPixel(x, y), expected) << x << ", " << y;
    }
  }

  s.Clear(0xFF000000);
  pattern.DrawMode = dmBlend;
  polygon.FillWithPattern(s, filler);
  EXPECT_EQ(s.ReadPixel(0, 1), BlendReg(0x80000004, 0xFF000000)) << "the pattern's alpha counts";
  EXPECT_EQ(s.ReadPixel(1, 1), 0xFF000000u) << "a transparent pattern pixel changes nothing";

  // Anti-aliased: partly covered pixels blend the opaque pattern by coverage.
  s.Clear(0xFF000000);
  pattern.DrawMode = dmOpaque;
  TPolygon32 half;
  half.Antialiased = true;
  half.AddPoints(rectangle(0, 0, 4, 2.5));
  half.FillWithPattern(s, filler);
  EXPECT_EQ(s.ReadPixel(1, 1), 0xFF000003u);
  EXPECT_EQ(s.ReadPixel(1, 2), BlendPixel(0xFF000001, 0xFF000000, 4 * 7 * 1167 >> 8));

  s.Clear(0xFF000000);
  pattern.DrawMode = dmTransparent;
  polygon.FillWithPattern(s, filler);
  filler.Pattern = nullptr;
  pattern.DrawMode = dmOpaque;
  polygon.FillWithPattern(s, filler);
  expectFilled(s, {}, 0, 0xFF000000, "no pattern or a transparent one");
}

}  // namespace
}  // namespace lumora

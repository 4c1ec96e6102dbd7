#include <cstdint>
#include <limits>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "render/bitmap32.h"

namespace lumora {
namespace {

struct Pixel {
  std::int32_t x, y;
  TColor32 c;
};

// Compares the whole surface with a background holding the listed pixels.
std::string differences(const TBitmap32& b, TColor32 background, const std::vector<Pixel>& pixels) {
  std::vector<TColor32> want(b.Bits().size(), background);
  for (const Pixel& p : pixels) want[static_cast<std::size_t>(p.y) * b.Width() + p.x] = p.c;
  std::ostringstream out;
  for (std::int32_t y = 0; y < b.Height(); ++y) {
    for (std::int32_t x = 0; x < b.Width(); ++x) {
      const TColor32 got = b.ReadPixel(x, y);
      const TColor32 w = want[static_cast<std::size_t>(y) * b.Width() + x];
      if (got != w) out << "(" << x << "," << y << ") is " << std::hex << got << " not " << w << std::dec << "; ";
    }
  }
  return out.str();
}

constexpr TColor32 kRed = 0xFFFF0000;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

class Bitmap32Lines : public ::testing::Test {
 protected:
  void SetUp() override {
    b.Resize(6, 4);
    b.Clear(0);
    b.OnAreaChanged = [this](const TRect& r) { changes.push_back(r); };
  }
  TBitmap32 b;
  std::vector<TRect> changes;
};

TEST_F(Bitmap32Lines, OpaqueLinesLeaveOutTheLastPoint) {
  b.LineOpaque(0, 0, 4, 2, kRed);
  EXPECT_EQ(differences(b, 0, {{0, 0, kRed}, {1, 1, kRed}, {2, 1, kRed}, {3, 2, kRed}}), "");
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], (TRect{0, 0, 4, 3}));

  b.Clear(0);
  b.LineOpaque(4, 2, 0, 0, kRed);
  EXPECT_EQ(differences(b, 0, {{4, 2, kRed}, {3, 2, kRed}, {2, 1, kRed}, {1, 1, kRed}}), "")
      << "halves round towards larger coordinates";

  b.Clear(0);
  b.LineOpaque(1, 0, 1, 3, kRed);
  EXPECT_EQ(differences(b, 0, {{1, 0, kRed}, {1, 1, kRed}, {1, 2, kRed}}), "");

  b.Clear(0);
  changes.clear();
  b.LineOpaque(2, 2, 2, 2, kRed);
  EXPECT_EQ(differences(b, 0, {}), "") << "a line of length 0 has only its last point";
  EXPECT_TRUE(changes.empty());
}

TEST_F(Bitmap32Lines, ClippingAndHostileEnds) {
  b.SetClipRect({1, 0, 3, 4});
  b.LineOpaque(0, 1, 6, 1, kRed);
  EXPECT_EQ(differences(b, 0, {{1, 1, kRed}, {2, 1, kRed}}), "");
  EXPECT_EQ(changes.back(), (TRect{1, 1, 3, 2}));

  b.ResetClipRect();
  b.Clear(0);
  b.LineOpaque(kMin, 0, kMax, 0, kRed);
  b.LineOpaque(kMin, kMin, kMax, kMax, kRed);
  b.LineOpaque(kMax, kMin, kMin, kMin, kRed);
  b.LineOpaque(0, kMax, 1, kMin, kRed);
  std::vector<Pixel> want;
  for (std::int32_t x = 0; x < 6; ++x) want.push_back({x, 0, kRed});
  for (std::int32_t k = 1; k < 4; ++k) want.push_back({k, k, kRed});
  // x = (2^31 − 1 − y) × 65536 / (2^32 − 1), just below one half: column 0.
  for (std::int32_t y = 1; y < 4; ++y) want.push_back({0, y, kRed});
  EXPECT_EQ(differences(b, 0, want), "");

  b.Clear(0);
  b.LineSmooth(kMin, kMin, kMax, kMax, kRed);
  b.LineSmoothFixed(kMin, kMin, kMax, kMax, kRed);
  b.LineBlend(kMax, 3, kMin, 3, kRed);
  for (std::int32_t x = 0; x < 6; ++x) EXPECT_EQ(b.ReadPixel(x, 3), kRed);
}

TEST_F(Bitmap32Lines, BlendUsesTheCombineMode) {
  b.Clear(clWhite32);
  b.LineBlend(0, 0, 2, 0, 0x80FF0000);
  // Alpha 128 over white: (255 × 128 + 255 × 127 + 127) / 255 = 255 for red,
  // (255 × 127 + 127) / 255 = 127 for green and blue.
  EXPECT_EQ(differences(b, clWhite32, {{0, 0, 0xFFFF7F7F}, {1, 0, 0xFFFF7F7F}}), "");

  b.Clear(0);
  b.CombineMode = cmMerge;
  b.LineBlend(0, 1, 0, 3, 0x80FF0000);
  EXPECT_EQ(differences(b, 0, {{0, 1, 0x80FF0000}, {0, 2, 0x80FF0000}}), "")
      << "merging onto transparency keeps the colour and its alpha";
}

TEST_F(Bitmap32Lines, SmoothLinesSplitTheWeight) {
  // Red over opaque black with weight w gives red and alpha
  // (255 × (w + 1)) shr 8: 127 → 0x7F, 128 → 0x80, 191 → 0xBF, 64 → 0x40.
  b.Clear(clBlack32);
  b.LineSmooth(0, 0, 4, 2, kRed);
  EXPECT_EQ(differences(b, clBlack32,
                        {{0, 0, 0xFFFF0000}, {1, 0, 0xFF7F0000}, {1, 1, 0xFF800000}, {2, 1, 0xFFFF0000},
                         {3, 1, 0xFF7F0000}, {3, 2, 0xFF800000}}),
            "");
  EXPECT_EQ(changes.back(), (TRect{0, 0, 4, 3}));

  b.Clear(clBlack32);
  b.LineSmoothFixed(0, 0x4000, 0x30000, 0x4000, kRed);
  EXPECT_EQ(differences(b, clBlack32,
                        {{0, 0, 0xFFBF0000}, {1, 0, 0xFFBF0000}, {2, 0, 0xFFBF0000}, {0, 1, 0xFF400000},
                         {1, 1, 0xFF400000}, {2, 1, 0xFF400000}}),
            "");

  b.Clear(clBlack32);
  b.LineSmoothFixed(0x8000, 0x20000, 0x38000, 0x20000, kRed);
  EXPECT_EQ(differences(b, clBlack32, {{1, 2, kRed}, {2, 2, kRed}, {3, 2, kRed}}), "")
      << "columns whose centres lie in [0.5, 3.5)";

  b.Clear(clBlack32);
  b.LineSmooth(5, 3, 5, 0, kRed);
  b.LineBlend(0, 3, 3, 3, kRed);
  EXPECT_EQ(differences(b, clBlack32, {{5, 3, kRed}, {5, 2, kRed}, {5, 1, kRed}, {0, 3, kRed}, {1, 3, kRed},
                                       {2, 3, kRed}}),
            "")
      << "an axis-aligned smooth line is a blended one";
}

TEST_F(Bitmap32Lines, SmoothFixedReachesAcrossTheLeftAndTopEdge) {
  // Half a pixel above row 0: row −1 would take 127, row 0 takes 128.
  b.Clear(clBlack32);
  b.LineSmoothFixed(0, -0x8000, 0x20000, -0x8000, kRed);
  EXPECT_EQ(differences(b, clBlack32, {{0, 0, 0xFF800000}, {1, 0, 0xFF800000}}), "");
  b.Clear(clBlack32);
  b.LineSmoothFixed(-0x8000, 0x10000, -0x8000, 0x30000, kRed);
  EXPECT_EQ(differences(b, clBlack32, {{0, 1, 0xFF800000}, {0, 2, 0xFF800000}}), "");

  // The bottom and right edges and the clip rectangle are never crossed.
  b.Clear(clBlack32);
  b.LineSmoothFixed(0x40000, 0x38000, 0x70000, 0x38000, kRed);
  b.LineSmoothFixed(0x58000, 0, 0x58000, 0x10000, kRed);
  EXPECT_EQ(differences(b, clBlack32, {{4, 3, 0xFF7F0000}, {5, 3, 0xFF7F0000}, {5, 0, 0xFF7F0000}}), "");
  b.Clear(clBlack32);
  b.SetClipRect({1, 1, 3, 3});
  b.LineSmoothFixed(0, 0x8000, 0x40000, 0x8000, kRed);
  EXPECT_EQ(differences(b, clBlack32, {{1, 1, 0xFF800000}, {2, 1, 0xFF800000}}), "");
  EXPECT_EQ(changes.back(), (TRect{1, 1, 3, 2}));
}

TEST_F(Bitmap32Lines, PenAndPolylines) {
  // Half-transparent white over black blends to 0xFF808080 once, and to
  // 0xFFC0C0C0 if a pixel were drawn twice.
  const TColor32 half = 0x80FFFFFF;
  const TColor32 once = 0xFF808080;
  b.Clear(clBlack32);
  b.PenColor = half;
  b.MoveToFixed(0, 0);
  b.LineToFixed(0x20000, 0);
  b.LineToFixed(FixedPoint(2, 2));
  EXPECT_EQ(b.PenPosFixed(), FixedPoint(2, 2));
  EXPECT_EQ(differences(b, clBlack32, {{0, 0, once}, {1, 0, once}, {2, 0, once}, {2, 1, once}}), "");

  // Ends rounded with FixedRound: (0.5, 0.4) is pixel (1, 0).
  const std::vector<TFixedPoint> triangle{{0x8000, 0x6666}, FixedPoint(3, 0), FixedPoint(3, 2)};
  for (int kind = 0; kind < 3; ++kind) {
    b.Clear(clBlack32);
    changes.clear();
    if (kind == 0) b.PolylineBlend(triangle, half, true);
    if (kind == 1) b.PolylineSmooth(triangle, half, true);
    if (kind == 2) b.PolylineSmoothFixed(std::vector<TFixedPoint>{FixedPoint(1, 0), FixedPoint(3, 0), FixedPoint(3, 2)},
                                         half, true);
    EXPECT_EQ(differences(b, clBlack32,
                          {{1, 0, once}, {2, 0, once}, {3, 0, once}, {3, 1, once}, {3, 2, once}, {2, 1, once}}),
              "")
        << "closed polyline " << kind << ": every corner once";
    ASSERT_EQ(changes.size(), 1u) << "one notification for polyline " << kind;
    EXPECT_EQ(changes[0], (TRect{1, 0, 4, 3}));
  }

  b.Clear(clBlack32);
  b.PolylineBlend(triangle, half, false);
  EXPECT_EQ(b.ReadPixel(3, 2), clBlack32) << "an open polyline leaves out its last point";
  EXPECT_EQ(b.ReadPixel(2, 1), clBlack32) << "and has no closing segment";

  b.Clear(clBlack32);
  const std::vector<TFixedPoint> single{{0x28000, 0x17FFF}};
  b.PolylineBlend(single, half, false);
  b.PolylineSmooth({}, half, true);
  EXPECT_EQ(differences(b, clBlack32, {}), "");
  b.PolylineBlend(single, half, true);
  EXPECT_EQ(differences(b, clBlack32, {{3, 1, once}}), "") << "a single closed point is one pixel";
  b.Clear(clBlack32);
  b.PolylineSmoothFixed(single, half, true);
  b.PolylineSmooth(std::vector<TFixedPoint>{FixedPoint(-9, -9)}, half, true);
  EXPECT_EQ(differences(b, clBlack32, {{3, 1, once}}), "");
}

}  // namespace
}  // namespace lumora

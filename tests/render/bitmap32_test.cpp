#include "render/bitmap32.h"

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace lumora {
namespace {

// A surface of the given size with the pixels listed row by row.
void fill(TBitmap32& b, std::int32_t w, std::int32_t h, const std::vector<TColor32>& pixels) {
  b.Resize(w, h);
  std::copy(pixels.begin(), pixels.end(), b.Bits().begin());
}

std::vector<TColor32> pixelsOf(const TBitmap32& b) { return {b.Bits().begin(), b.Bits().end()}; }

// Records the change notifications of a surface.
struct ChangeLog {
  explicit ChangeLog(TBitmap32& b) {
    b.OnAreaChanged = [this](const TRect& r) { areas.push_back(r); };
    b.OnResize = [this] { ++resizes; };
  }
  std::vector<TRect> areas;
  int resizes = 0;
};

constexpr TColor32 kR = 0xFFFF0000;
constexpr TColor32 kG = 0xFF00FF00;
constexpr TColor32 k0 = 0;

TEST(Bitmap32Core, Resize) {
  TBitmap32 b;
  EXPECT_TRUE(b.IsEmpty());
  ChangeLog log(b);
  b.Resize(-3, 4);
  EXPECT_TRUE(b.IsEmpty()) << "a negative width counts as 0";
  EXPECT_EQ(log.resizes, 0) << "an empty surface asked for an empty size stays as it is";
  b.Resize(4, 3);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.Bits().size(), 12u);
  EXPECT_EQ(b.BoundsRect(), (TRect{0, 0, 4, 3}));
  const std::size_t changes = log.areas.size();
  const int resizes = log.resizes;
  EXPECT_EQ(resizes, 1);
  b.SetClipRect({1, 1, 2, 2});
  b.Resize(4, 3);
  EXPECT_EQ(log.areas.size(), changes) << "the same size changes nothing";
  EXPECT_EQ(log.resizes, resizes);
  EXPECT_EQ(b.ClipRect(), (TRect{1, 1, 2, 2}));
  b.Resize(2, 5);
  EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 2, 5})) << "a new size resets the clip rectangle";
  EXPECT_EQ(log.resizes, 2);
  ASSERT_FALSE(log.areas.empty());
  EXPECT_EQ(log.areas.back(), (TRect{0, 0, 2, 5}));
  b.Resize(0, 0);
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.BoundsRect(), (TRect{0, 0, 0, 0}));

  b.Resize(3, 3);
  try {
    b.Resize(1 << 15, 1 << 14);
    FAIL() << "a surface above the pixel limit must not be allocated";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(b.Width(), 3) << "a failed resize keeps the old surface";
}

TEST(Bitmap32Core, ClipRectAndClear) {
  TBitmap32 b;
  b.Resize(4, 3);
  b.SetClipRect({-5, 1, 3, 10});
  EXPECT_EQ(b.ClipRect(), (TRect{0, 1, 3, 3}));
  EXPECT_EQ(b.FixedClipRect(), (TFixedRect{0, 0x10000, 0x30000, 0x30000}));
  EXPECT_EQ(b.ClipRect256(), (TRect{0, 256, 768, 768}));
  b.SetClipRect({10, 10, 20, 20});
  EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 0, 0})) << "a clip outside the surface becomes empty";
  b.ResetClipRect();
  EXPECT_EQ(b.ClipRect(), b.BoundsRect());

  ChangeLog log(b);
  b.Clear();
  for (TColor32 p : b.Bits()) EXPECT_EQ(p, clBlack32);
  ASSERT_EQ(log.areas.size(), 1u);
  EXPECT_EQ(log.areas[0], (TRect{0, 0, 4, 3}));

  b.SetClipRect({1, 1, 3, 2});
  b.Clear(kR);
  const TColor32 K = clBlack32;
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{K, K, K, K, K, kR, kR, K, K, K, K, K}));
  EXPECT_EQ(log.areas.back(), (TRect{1, 1, 3, 2}));
}

// A clear that finds the surface still holding its colour skips the fill;
// every way of writing pixels since must make the next clear fill again.
TEST(Bitmap32Core, ClearAfterEveryKindOfWrite) {
  const std::vector<std::pair<const char*, void (*)(TBitmap32&)>> writes = {
      {"WritePixel", [](TBitmap32& b) { b.WritePixel(1, 1, kG); }},
      {"PixelAddress", [](TBitmap32& b) { *b.PixelAddress(1, 1) = kG; }},
      {"Bits", [](TBitmap32& b) { b.Bits()[5] = kG; }},
      {"FillRectClipped", [](TBitmap32& b) { b.FillRectClipped(1, 1, 2, 2, kG); }},
      {"SetAlphaAll", [](TBitmap32& b) { b.SetAlphaAll(0x10); }},
      {"FlipHorizontal after a write", [](TBitmap32& b) {
         b.WritePixel(0, 0, kG);
         b.FlipHorizontal();
       }},
      {"LoadFromBmp", [](TBitmap32& b) {
         TBitmap32 other;
         other.Resize(4, 3);
         other.Clear(kG);
         b.LoadFromBmp(other.SaveToBmp());
       }},
      {"Assign", [](TBitmap32& b) {
         TBitmap32 other;
         other.Resize(4, 3);
         other.Clear(kG);
         b.Assign(other);
       }},
      {"Clear to another colour", [](TBitmap32& b) { b.Clear(kG); }},
  };
  for (const auto& [name, write] : writes) {
    TBitmap32 b;
    b.Resize(4, 3);
    b.Clear(kR);
    b.Clear(kR);
    write(b);
    ChangeLog log(b);
    b.Clear(kR);
    EXPECT_EQ(pixelsOf(b), std::vector<TColor32>(12, kR)) << name;
    EXPECT_EQ(log.areas.size(), 1u) << name << ": a clear reports its area";
  }
  TBitmap32 resized;
  resized.Resize(2, 2);
  resized.Clear(kR);
  resized.Resize(3, 2);
  resized.Clear(kR);
  EXPECT_EQ(pixelsOf(resized), std::vector<TColor32>(6, kR)) << "a new store after a resize";
}

TEST(Bitmap32Core, AlphaAndClippedWrites) {
  TBitmap32 b;
  fill(b, 2, 2, {0x11223344, 0xFF000000, 0x00ABCDEF, 0x80808080});
  b.SetAlphaAll(0x7F);
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{0x7F223344, 0x7F000000, 0x7FABCDEF, 0x7F808080}));

  b.SetClipRect({1, 0, 2, 2});
  b.WritePixelClipped(0, 0, kG);
  b.WritePixelClipped(1, 1, kG);
  b.WritePixelClipped(2, 1, kG);
  b.WritePixelClipped(-1, -1, kG);
  EXPECT_EQ(b.ReadPixel(0, 0), 0x7F223344u) << "left of the clip rectangle";
  EXPECT_EQ(b.ReadPixel(1, 1), kG);
  EXPECT_EQ(*b.PixelAddress(1, 1), kG);
}

TEST(Bitmap32Core, SampleFixedFollowsItsFormula) {
  // GammaTable[255] = 255, [127] = [128] = 157, [191] = 208, [63] = 96.
  TBitmap32 b;
  fill(b, 3, 3,
       {Color32(255, 200, 0, 100), Color32(255, 0, 200, 100), Color32(255, 10, 20, 30),  //
        Color32(0, 100, 50, 0), Color32(255, 255, 255, 255), Color32(128, 1, 2, 3),      //
        Color32(255, 9, 8, 7), Color32(255, 60, 70, 80), Color32(255, 90, 100, 110)});
  b.OuterColor = 0x12345678;
  // An exact pixel position still gives 255/256 to the pixel and 1/256 to
  // its neighbours: top (255, 199, 0, 100), bottom (0, 100, 50, 0).
  EXPECT_EQ(b.SampleFixed(0, 0), 0xFEC60063u);
  EXPECT_EQ(b.SampleFixed(-1, 0), 0xFEC60063u) << "(-1 + 127) shr 8 = 0";
  EXPECT_EQ(b.SampleFixed(0x8000, 0), 0xFE7A4D63u) << "half way: weight 157 on the left";
  EXPECT_EQ(b.SampleFixed(0x4000, 0xC000), 0x7D8D4442u) << "weights 208 across, 96 down";
  EXPECT_EQ(b.SampleFixed(0x10000, 0x10000), 0xFEFDFDFDu);
  // On the last clip column or row: the nearest pixel, unmixed.
  EXPECT_EQ(b.SampleFixed(0x20000, 0x8000), Color32(255, 10, 20, 30));
  EXPECT_EQ(b.SampleFixed(0x20080, 0), Color32(255, 10, 20, 30)) << "(0x20080 + 127) shr 8 = 0x200";
  EXPECT_EQ(b.SampleFixed(0x8000, 0x20000), Color32(255, 9, 8, 7));
  EXPECT_EQ(b.SampleFixed(0x20000, 0x20000), Color32(255, 90, 100, 110));
  // Outside: the outer colour.
  EXPECT_EQ(b.SampleFixed(0x20081, 0), 0x12345678u);
  EXPECT_EQ(b.SampleFixed(-128, 0), 0x12345678u);
  EXPECT_EQ(b.SampleFixed(0, 0x30000), 0x12345678u);
  // The clip rectangle bounds the sampling: its last column is now column 1.
  b.SetClipRect({0, 0, 2, 3});
  EXPECT_EQ(b.SampleFixed(0x10000, 0), Color32(255, 0, 200, 100));
  EXPECT_EQ(b.SampleFixed(0x18000, 0), 0x12345678u);
}

TEST(Bitmap32Core, Fills) {
  TBitmap32 b;
  b.Resize(4, 3);
  b.Clear(k0);
  ChangeLog log(b);
  b.FillRectClipped(2, 1, 9, 9, kR);
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{k0, k0, k0, k0, k0, k0, kR, kR, k0, k0, kR, kR}));
  ASSERT_EQ(log.areas.size(), 1u);
  EXPECT_EQ(log.areas[0], (TRect{2, 1, 4, 3}));
  b.FillRectClipped(3, 1, 3, 2, kG);
  b.FillRectClipped(5, 0, 9, 2, kG);
  b.FillRectClipped(2, 2, 1, 3, kG);
  EXPECT_EQ(log.areas.size(), 1u) << "empty or outside rectangles draw nothing";
  b.SetClipRect({0, 0, 1, 3});
  b.FillRectClipped(0, 0, 4, 1, kG);
  b.FillRectUnclipped(1, 0, 2, 3, kR);
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{kG, kR, k0, k0, k0, kR, kR, kR, k0, kR, kR, kR}));

  b.ResetClipRect();
  b.Resize(5, 4);
  b.Clear(k0);
  log.areas.clear();
  b.FrameRectClipped(0, 0, 4, 4, kG);
  const std::vector<TColor32> frame{kG, kG, kG, kG, k0,  //
                                    kG, k0, k0, kG, k0,  //
                                    kG, k0, k0, kG, k0,  //
                                    kG, kG, kG, kG, k0};
  EXPECT_EQ(pixelsOf(b), frame);
  ASSERT_EQ(log.areas.size(), 1u) << "one notification after the four sides";
  EXPECT_EQ(log.areas[0], (TRect{0, 0, 4, 4}));
  b.SetClipRect({3, 0, 5, 4});
  b.FrameRectClipped(2, 1, 6, 3, kR);
  EXPECT_EQ(b.ReadPixel(2, 1), k0) << "left of the clip";
  EXPECT_EQ(b.ReadPixel(3, 1), kR);
  EXPECT_EQ(b.ReadPixel(4, 2), kR);
  EXPECT_EQ(log.areas.back(), (TRect{3, 1, 5, 3}));
}

TEST(Bitmap32Core, BorderTransparentAndFlips) {
  TBitmap32 b;
  b.Resize(4, 4);
  b.Clear(0xFF102030);
  SetBorderTransparent(b, {1, -2, 9, 3});
  // Area cut to (1, 0, 4, 3): rows 0 and 2, columns 1 and 3.
  for (std::int32_t y = 0; y < 4; ++y) {
    for (std::int32_t x = 0; x < 4; ++x) {
      const bool border = x >= 1 && y <= 2 && (y == 0 || y == 2 || x == 1 || x == 3);
      EXPECT_EQ(b.ReadPixel(x, y), border ? 0x00102030u : 0xFF102030u) << x << "," << y;
    }
  }

  fill(b, 3, 2, {1, 2, 3, 4, 5, 6});
  b.FlipHorizontal();
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{3, 2, 1, 6, 5, 4}));
  b.FlipVertical();
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{6, 5, 4, 3, 2, 1}));
  fill(b, 1, 3, {1, 2, 3});
  b.FlipVertical();
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{3, 2, 1})) << "the middle row of an odd height stays";
}

TEST(Bitmap32Core, UpdateBracketSuppressesNotifications) {
  TBitmap32 b;
  b.Resize(3, 3);
  ChangeLog log(b);
  {
    TUpdateBracket outer(b);
    b.BeginUpdate();
    b.Clear(kR);
    b.FillRectClipped(0, 0, 1, 1, kG);
    EXPECT_EQ(b.UpdateCount(), 2);
    b.EndUpdate();
    b.Clear(kR);
  }
  EXPECT_EQ(b.UpdateCount(), 0);
  EXPECT_TRUE(log.areas.empty());
  b.EndUpdate();
  EXPECT_EQ(b.UpdateCount(), 0) << "an unbalanced EndUpdate does not go negative";
  try {
    TUpdateBracket bracket(b);
    throw std::runtime_error("interrupted");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(b.UpdateCount(), 0) << "the bracket closes when an error interrupts";
  b.Changed({1, 1, 2, 2});
  ASSERT_EQ(log.areas.size(), 1u);
  EXPECT_EQ(log.areas[0], (TRect{1, 1, 2, 2}));
}

TEST(Bitmap32Core, ResamplerByName) {
  TBitmap32 b;
  EXPECT_EQ(b.Resampler(), kNearestResampler);
  b.SetResampler(kDraftResampler);
  EXPECT_EQ(b.Resampler(), "TDraftResampler");
  EXPECT_THROW(b.SetResampler("TKernelResampler"), std::invalid_argument);
  EXPECT_EQ(b.Resampler(), "TDraftResampler");
}

}  // namespace
}  // namespace lumora

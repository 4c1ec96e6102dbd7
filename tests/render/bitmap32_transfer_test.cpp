#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "render/bitmap32.h"

namespace lumora {
namespace {

void fill(TBitmap32& b, std::int32_t w, std::int32_t h, const std::vector<TColor32>& pixels) {
  b.Resize(w, h);
  std::copy(pixels.begin(), pixels.end(), b.Bits().begin());
}

std::vector<TColor32> pixelsOf(const TBitmap32& b) { return {b.Bits().begin(), b.Bits().end()}; }

constexpr TColor32 grey(std::uint8_t v) { return Color32(255, v, v, v); }

TAffineTransformation over(const TBitmap32& src) {
  TAffineTransformation t;
  t.SrcRect = FloatRect(src.BoundsRect());
  return t;
}

// Source pixels 1 … 6 in a 3 × 2 surface.
constexpr TColor32 k1 = 0xFF000001, k2 = 0xFF000002, k3 = 0xFF000003, k4 = 0xFF000004, k5 = 0xFF000005,
                   k6 = 0xFF000006, k0 = 0;

TEST(Bitmap32Transfer, TransformIdentityAndTranslation) {
  TBitmap32 src, dst;
  fill(src, 3, 2, {k1, k2, k3, k4, k5, k6});
  dst.Resize(5, 4);
  dst.Clear(k0);
  std::vector<TRect> changes;
  dst.OnAreaChanged = [&](const TRect& r) { changes.push_back(r); };
  TAffineTransformation t = over(src);
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k1, k2, k3, k0, k0, k4, k5, k6, k0, k0,  //
                                                   k0, k0, k0, k0, k0, k0, k0, k0, k0, k0}));
  // Bounds round(−0.5) … round(3.5) = 0 … 4: column 3 maps outside and stays.
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], (TRect{0, 0, 4, 2}));

  dst.Clear(k0);
  t.Translate(1, 2);
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k0, k0, k0, k0, k0, k0, k0, k0, k0, k0,  //
                                                   k0, k1, k2, k3, k0, k0, k4, k5, k6, k0}));

  // The destination's clip rectangle bounds what changes.
  dst.Clear(k0);
  dst.SetClipRect({2, 0, 5, 3});
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k0, k0, k0, k0, k0, k0, k0, k0, k0, k0,  //
                                                   k0, k0, k2, k3, k0, k0, k0, k0, k0, k0}));
  EXPECT_EQ(changes.back(), (TRect{2, 2, 4, 3}));
}

TEST(Bitmap32Transfer, TransformScaleAndRotation) {
  TBitmap32 src, dst;
  fill(src, 2, 2, {k1, k2, k3, k4});
  dst.Resize(4, 4);
  TAffineTransformation t = over(src);
  t.Scale(2, 2);
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k1, k1, k2, k2, k1, k1, k2, k2, k3, k3, k4, k4, k3, k3, k4, k4}));

  // Bilinear doubling of black and white: centres at −0.25 (clamped), 0.25,
  // 0.75 and 1.25 (clamped); weights 64 and 192 of 256 on white.
  fill(src, 2, 1, {grey(0), grey(255)});
  src.SetResampler(kLinearResampler);
  dst.Resize(4, 2);
  t = over(src);
  t.Scale(2, 2);
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{grey(0), grey(64), grey(191), grey(255),  //
                                                   grey(0), grey(64), grey(191), grey(255)}));

  // 90 degrees counter-clockwise, then down by the source width: (x, y) goes
  // to (y, 3 − x), so destination (i, j) shows source (2 − j, i).
  fill(src, 3, 2, {k1, k2, k3, k4, k5, k6});
  for (const char* resampler : {kNearestResampler, kLinearResampler, kDraftResampler}) {
    src.SetResampler(resampler);
    dst.Resize(2, 3);
    dst.Clear(k0);
    t = over(src);
    t.Rotate(0, 0, 90);
    t.Translate(0, 3);
    TransformTo(dst, src, t);
    EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k3, k6, k2, k5, k1, k4})) << resampler;
  }
}

TEST(Bitmap32Transfer, DrawModesAndMasterAlpha) {
  TBitmap32 src, dst;
  const TColor32 key = 0xFF00FF00;
  fill(src, 2, 2, {key, 0xFFFF0000, 0x80FF0000, key});
  dst.Resize(2, 2);
  dst.Clear(clBlack32);

  src.DrawMode = dmTransparent;
  src.OuterColor = key;
  src.DrawToSurface(dst, 0, 0);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{clBlack32, 0xFFFF0000, 0x80FF0000, clBlack32}));

  // Opaque red with master alpha 128 over black: alpha (255 × 129) shr 8 = 128,
  // red (255 × 128 + 127) / 255 = 128. The half-transparent red counts
  // (128 × 129) shr 8 = 64: red (255 × 64 + 127) / 255 = 64.
  fill(src, 2, 1, {0xFFFF0000, 0x80FF0000});
  dst.Resize(2, 1);
  dst.Clear(clBlack32);
  src.DrawMode = dmBlend;
  src.MasterAlpha = 128;
  src.DrawToSurface(dst, 0, 0);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{0xFF800000, 0xFF400000}));

  int notified = 0;
  dst.OnAreaChanged = [&](const TRect&) { ++notified; };
  src.MasterAlpha = 0;
  src.DrawToSurface(dst, 0, 0);
  TAffineTransformation t = over(src);
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{0xFF800000, 0xFF400000})) << "master alpha 0 draws nothing";
  EXPECT_EQ(notified, 0);

  // Merging onto transparency keeps the colour with the scaled alpha.
  dst.Clear(0);
  src.MasterAlpha = 255;
  src.CombineMode = cmMerge;
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{0xFFFF0000, 0x80FF0000}));

  src.DrawMode = dmCustom;
  src.MasterAlpha = 77;
  src.OnPixelCombine = [](TColor32 f, TColor32& b, std::uint8_t m) { b = (f & 0x00FFFFFF) | (TColor32{m} << 24); };
  src.StretchDrawToSurface(dst, {0, 0, 2, 1}, {0, 0, 2, 1});
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{0x4DFF0000, 0x4DFF0000}));
}

TEST(Bitmap32Transfer, StretchWithEachResampler) {
  TBitmap32 src, dst;
  // Shrinking 6 pixels to 2: the draft resampler averages each three, the
  // others sample the centres 1.5 and 4.5, i.e. pixels 1 and 4.
  fill(src, 6, 1, {grey(0), grey(30), grey(90), grey(150), grey(210), grey(240)});
  dst.Resize(2, 1);
  const std::vector<std::pair<const char*, std::vector<TColor32>>> shrunk{
      {kNearestResampler, {grey(30), grey(210)}},
      {kLinearResampler, {grey(30), grey(210)}},
      {kDraftResampler, {grey(40), grey(200)}}};  // (120 + 1) / 3, (600 + 1) / 3
  for (const auto& [name, want] : shrunk) {
    src.SetResampler(name);
    src.StretchDrawToSurface(dst, {0, 0, 2, 1}, src.BoundsRect());
    EXPECT_EQ(pixelsOf(dst), want) << name;
  }

  // Shrinking 2 × 2 blocks: 0, 255, 255, 255 average to (765 + 2) / 4 = 191.
  fill(src, 4, 2, {grey(0), grey(255), grey(8), grey(8), grey(255), grey(255), grey(8), grey(16)});
  src.SetResampler(kDraftResampler);
  src.StretchDrawToSurface(dst, {0, 0, 2, 1}, src.BoundsRect());
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{grey(191), grey(10)}));

  // Growing 2 × 1 to 4 × 2: nearest repeats, linear and draft interpolate.
  fill(src, 2, 1, {grey(0), grey(255)});
  dst.Resize(4, 2);
  const std::vector<TColor32> ramp{grey(0), grey(64), grey(191), grey(255)};
  const std::vector<std::pair<const char*, std::vector<TColor32>>> grown{
      {kNearestResampler, {grey(0), grey(0), grey(255), grey(255)}}, {kLinearResampler, ramp}, {kDraftResampler, ramp}};
  for (const auto& [name, row] : grown) {
    StretchTransfer(dst, dst.BoundsRect(), dst.BoundsRect(), src, src.BoundsRect(), name, dmOpaque, nullptr);
    std::vector<TColor32> want = row;
    want.insert(want.end(), row.begin(), row.end());
    EXPECT_EQ(pixelsOf(dst), want) << name;
  }
}

// Growing, the draft resampler takes the linear resampler's taps through the
// general sampler, while the linear resampler has a path of its own: both
// must give every pixel alike, clipped or not, opaque or blended.
TEST(Bitmap32Transfer, LinearStretchAgreesWithTheGeneralSampler) {
  std::mt19937 random(11);
  auto between = [&](std::int32_t lo, std::int32_t hi) {
    return lo + static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(hi - lo + 1));
  };
  for (int round = 0; round < 300; ++round) {
    TBitmap32 src;
    src.Resize(between(1, 12), between(1, 12));
    for (TColor32& p : src.Bits()) p = random();
    const TRect srcRect{between(0, src.Width() - 1), between(0, src.Height() - 1), src.Width(), src.Height()};
    const std::int32_t w = srcRect.Width() + between(0, 30);
    const std::int32_t h = srcRect.Height() + between(w == srcRect.Width() ? 1 : 0, 30);
    const std::int32_t x = between(-10, 30);
    const std::int32_t y = between(-10, 30);
    const TRect dstRect{x, y, x + w, y + h};
    const TRect clip{between(0, 10), between(0, 10), between(20, 40), between(20, 40)};
    const TDrawMode mode = round % 2 == 0 ? dmOpaque : dmBlend;
    TBitmap32 linear;
    linear.Resize(40, 40);
    for (TColor32& p : linear.Bits()) p = random();
    TBitmap32 general;
    general.Assign(linear);
    StretchTransfer(linear, dstRect, clip, src, srcRect, kLinearResampler, mode, nullptr);
    StretchTransfer(general, dstRect, clip, src, srcRect, kDraftResampler, mode, nullptr);
    ASSERT_EQ(pixelsOf(linear), pixelsOf(general)) << "round " << round;
  }
}

TEST(Bitmap32Transfer, BlockTransferAndClipping) {
  TBitmap32 src, dst;
  fill(src, 3, 2, {k1, k2, k3, k4, k5, k6});
  dst.Resize(4, 3);
  dst.Clear(k0);
  std::vector<TRect> changes;
  dst.OnAreaChanged = [&](const TRect& r) { changes.push_back(r); };

  // Equal sizes: a plain copy of the source rectangle, whatever the resampler.
  src.SetResampler(kLinearResampler);
  src.StretchDrawToSurface(dst, {2, 1, 4, 3}, {1, 0, 3, 2});
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k0, k0, k0, k0, k0, k0, k2, k3, k0, k0, k5, k6}));
  EXPECT_EQ(changes.back(), (TRect{2, 1, 4, 3}));

  // Cut by an explicit clip and by the destination's edges.
  dst.Clear(k0);
  StretchTransfer(dst, {-1, 1, 2, 3}, {0, 0, 4, 2}, src, src.BoundsRect(), kNearestResampler, dmOpaque, nullptr);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k0, k0, k0, k0, k2, k3, k0, k0, k0, k0, k0, k0}));
  EXPECT_EQ(changes.back(), (TRect{0, 1, 2, 2}));

  // Whole surface at an offset, cut by the clip rectangle.
  dst.Clear(k0);
  dst.SetClipRect({0, 0, 3, 3});
  src.DrawToSurface(dst, 1, -1);
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k0, k4, k5, k0, k0, k0, k0, k0, k0, k0, k0, k0}));
  EXPECT_EQ(changes.back(), (TRect{1, 0, 3, 1}));

  // Rectangles beyond the source or far outside draw only what exists.
  dst.ResetClipRect();
  dst.Clear(k0);
  const std::size_t before = changes.size();
  src.DrawToSurface(dst, std::numeric_limits<std::int32_t>::max(), 0);
  src.DrawToSurface(dst, std::numeric_limits<std::int32_t>::min(), 0);
  src.StretchDrawToSurface(dst, {0, 0, 0, 3}, src.BoundsRect());
  src.StretchDrawToSurface(dst, {0, 0, 4, 3}, {5, 5, 9, 9});
  EXPECT_EQ(changes.size(), before);
  src.StretchDrawToSurface(dst, {0, 0, 2, 1}, {2, 1, 4, 2});
  EXPECT_EQ(pixelsOf(dst), (std::vector<TColor32>{k6, k0, k0, k0, k0, k0, k0, k0, k0, k0, k0, k0}))
      << "the part of the source rectangle beyond the source is left out";
  src.SetResampler(kDraftResampler);
  StretchTransfer(dst, {std::numeric_limits<std::int32_t>::min(), 0, std::numeric_limits<std::int32_t>::max(), 3},
                  dst.BoundsRect(), src, src.BoundsRect(), kDraftResampler, dmOpaque, nullptr);
  EXPECT_EQ(dst.ReadPixel(0, 0), k2) << "the middle of a huge stretch shows the middle column";

  // Transformations far outside or with a broken source rectangle leave all alone.
  dst.Clear(k0);
  TAffineTransformation t = over(src);
  t.Translate(1e9f, -1e9f);
  TransformTo(dst, src, t);
  t.Clear();
  t.SrcRect = {3, 0, 0, 2};
  TransformTo(dst, src, t);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  t.SrcRect = {nan, nan, nan, nan};
  TransformTo(dst, src, t);
  EXPECT_EQ(pixelsOf(dst), std::vector<TColor32>(12, k0));
}

}  // namespace
}  // namespace lumora

#include "render/mask_maps.h"

#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace lumora {
namespace {

class SizedThing : public TObject {
 public:
  std::string ClassName() const override { return "TGraphicRect"; }
  std::optional<TPoint> SizeForMaps() const override { return TPoint{7, 3}; }
};

class SizelessThing : public TObject {
 public:
  std::string ClassName() const override { return "TLayer"; }
};

std::string errorOf(TCustomMap& map, const TObject* source) {
  try {
    map.SetSizeFrom(source);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// A map whose byte (x, y) is 1 + x + width × y.
void fillNumbered(TByteMap& map) {
  for (std::int32_t y = 0; y < map.Height(); ++y) {
    for (std::int32_t x = 0; x < map.Width(); ++x) {
      map.SetValue(x, y, static_cast<std::uint8_t>(1 + x + map.Width() * y));
    }
  }
}

// The 3 × 3 mask the sampler tests compute by hand.
void fillSamplerMask(TMaskByteMap& map) {
  map.SetSize(3, 3);
  const std::uint8_t bytes[3][3] = {{100, 200, 30}, {50, 0, 60}, {70, 80, 90}};
  for (std::int32_t y = 0; y < 3; ++y) {
    for (std::int32_t x = 0; x < 3; ++x) map.SetValue(x, y, bytes[y][x]);
  }
}

TEST(TCustomMapTest, SizesAndSetSizeFrom) {
  TMaskByteMap map;
  EXPECT_EQ(map.ClassName(), "TMaskByteMap");
  EXPECT_EQ(TByteMap().ClassName(), "TByteMap");
  EXPECT_EQ(TCustomMap().ClassName(), "TCustomMap");
  int changes = 0;
  map.OnChange = [&changes] { ++changes; };

  map.SetSize(-4, 5);
  EXPECT_EQ(map.Width(), 0) << "negative sizes count as 0";
  EXPECT_EQ(map.Height(), 5);
  EXPECT_TRUE(map.IsEmpty());

  TByteMap other;
  other.SetSize(12, 9);
  map.SetSizeFrom(&other);
  EXPECT_EQ(map.Width(), 12);
  EXPECT_EQ(map.Height(), 9);
  EXPECT_EQ(map.Bytes().size(), 108u);

  SizedThing graphic;
  map.SetSizeFrom(&graphic);
  EXPECT_EQ(map.Width(), 7);
  EXPECT_EQ(map.Height(), 3);

  map.SetSizeFrom(nullptr);
  EXPECT_EQ(map.Width(), 0);
  EXPECT_EQ(map.Height(), 0);
  EXPECT_GE(changes, 4);

  map.SetSize(2, 2);
  TBitmap32 surface;
  surface.Resize(5, 5);
  EXPECT_EQ(errorOf(map, &surface), "Can't set size from 'TBitmap32'");
  SizelessThing layer;
  EXPECT_EQ(errorOf(map, &layer), "Can't set size from 'TLayer'");
  EXPECT_EQ(map.Width(), 2) << "a failed SetSizeFrom keeps the size";

  EXPECT_THROW(map.SetSize(1 << 15, 1 << 15), std::runtime_error) << "beyond the pixel cap";
  EXPECT_THROW(map.SetSize(kMaxMapSide + 1, 1), std::runtime_error) << "beyond the side cap";
  EXPECT_THROW(map.SetSize(std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()),
               std::runtime_error);
  EXPECT_EQ(map.Width(), 2);
  EXPECT_EQ(map.Bytes().size(), 4u);
}

TEST(TByteMapTest, ReadFromAndWriteToChannels) {
  TBitmap32 surface;
  surface.Resize(2, 1);
  surface.WritePixel(0, 0, 0x80102030);
  surface.WritePixel(1, 0, 0xFF0A0B0C);
  TByteMap map;
  const std::uint8_t expected[5][2] = {{0x10, 0x0A}, {0x20, 0x0B}, {0x30, 0x0C}, {0x80, 0xFF}, {0x20, 0x0B}};
  for (int channel = 0; channel <= mcAverage; ++channel) {
    map.ReadFrom(surface, static_cast<TMapChannel>(channel));
    ASSERT_EQ(map.Width(), 2);
    ASSERT_EQ(map.Height(), 1);
    EXPECT_EQ(map.Value(0, 0), expected[channel][0]) << "channel " << channel;
    EXPECT_EQ(map.Value(1, 0), expected[channel][1]) << "channel " << channel;
  }
  EXPECT_THROW(map.ReadFrom(surface, static_cast<TMapChannel>(5)), std::invalid_argument);

  map.SetValue(0, 0, 0x44);
  map.SetValue(1, 0, 0x55);
  map.WriteTo(surface, mcAlpha);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0x44102030u) << "other channels kept";
  EXPECT_EQ(surface.ReadPixel(1, 0), 0x550A0B0Cu);
  map.WriteTo(surface, mcRed);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0x44442030u);
  map.WriteTo(surface, mcAverage);
  EXPECT_EQ(surface.ReadPixel(1, 0), 0x55555555u) << "the average writes a grey";

  TByteMap wide;
  wide.SetSize(3, 2);
  wide.Clear(9);
  wide.WriteTo(surface, mcBlue);
  EXPECT_EQ(surface.Width(), 3) << "the surface takes the map's size";
  EXPECT_EQ(surface.Height(), 2);
  EXPECT_EQ(BlueComponent(surface.ReadPixel(2, 1)), 9);

  TBitmap32 empty;
  map.ReadFrom(empty, mcAlpha);
  EXPECT_TRUE(map.IsEmpty());
}

TEST(TMaskByteMapTest, ValidRect) {
  TMaskByteMap map;
  map.SetSize(10, 8);
  EXPECT_EQ(map.ValidRect(), (TRect{0, 0, 10, 8})) << "resize resets the valid rectangle";
  EXPECT_EQ(map.ValidRect256(), (TRect{0, 0, 2560, 2048}));

  map.SetValidRect({-5, 2, 4, 100});
  EXPECT_EQ(map.ValidRect(), (TRect{0, 2, 4, 8}));
  EXPECT_EQ(map.ValidRect256(), (TRect{0, 512, 1024, 2048}));
  map.SetValidRect({20, 20, 30, 30});
  EXPECT_EQ(map.ValidRect(), (TRect{})) << "no intersection gives the zero rectangle";
  map.SetValidRect({3, 3, 3, 5});
  EXPECT_EQ(map.ValidRect(), (TRect{3, 3, 3, 5})) << "a zero width still intersects";

  map.SetSize(10, 8);
  EXPECT_EQ(map.ValidRect(), (TRect{0, 0, 10, 8})) << "the same size resets too";

  map.Clear(0);
  map.SetValue(4, 3, 77);
  map.SetValidRect({4, 3, 6, 5});
  EXPECT_EQ(map.SampleNearest(4, 3), 77);
  map.SetValidRect({5, 3, 6, 5});
  EXPECT_EQ(map.SampleNearest(4, 3), 0) << "outside ValidRect";
  EXPECT_EQ(map.SampleNearest(-1, -1), 0);
  EXPECT_EQ(map.SampleNearest(std::numeric_limits<std::int32_t>::max(), 4), 0);
}

TEST(TMaskByteMapTest, CropToContent) {
  TMaskByteMap map;
  map.SetSize(10, 10);
  map.Clear(0);
  map.SetValue(5, 7, 1);
  map.CropToContent();
  EXPECT_EQ(map.ValidRect(), (TRect{5, 7, 6, 8}));
  EXPECT_EQ(map.ValidRect256(), (TRect{0, 0, 2560, 2560})) << "ValidRect256 keeps its previous value";

  map.ResetValidRect();
  map.SetValue(2, 8, 3);
  map.SetValue(9, 1, 200);
  map.CropToContent();
  EXPECT_EQ(map.ValidRect(), (TRect{2, 1, 10, 9}));

  map.Clear(0);
  map.CropToContent();
  EXPECT_EQ(map.ValidRect(), (TRect{})) << "no content";

  TMaskByteMap empty;
  empty.CropToContent();
  EXPECT_EQ(empty.ValidRect(), (TRect{}));
}

TEST(TMaskByteMapTest, SampleMaskFixedFromTheFormula) {
  TMaskByteMap lone;
  lone.SetSize(5, 5);
  lone.Clear(0);
  lone.SetValue(2, 2, 255);
  // GammaTable[255] = 255: 254 after the horizontal step, 253 after the vertical one.
  EXPECT_EQ(lone.SampleMaskFixed(0x20000, 0x20000), 253);

  TMaskByteMap map;
  fillSamplerMask(map);
  // a = 128, b = 64: wx = GammaTable[127] = 157, wy = GammaTable[191] = 208;
  // top = LerpByte(100, 200, 157) = 138, bottom = LerpByte(50, 0, 157) = 30,
  // result = LerpByte(138, 30, 208) = 117.
  EXPECT_EQ(map.SampleMaskFixed(0x8000, 0x4000), 117);
  EXPECT_EQ(map.SampleMaskFixed(0x1C000, 0x18000), 55);
  EXPECT_EQ(map.SampleMaskFixed(0x18000, 0x18000), 46);
  EXPECT_EQ(map.SampleMaskFixed(-127, -127), 99) << "rounds up to pixel (0, 0)";
  EXPECT_EQ(map.SampleMaskFixed(-128, 0), 0) << "left of ValidRect256";
  EXPECT_EQ(map.SampleMaskFixed(0x20000, 0x8000), 30) << "exactly on the last column";
  EXPECT_EQ(map.SampleMaskFixed(0x8000, 0x20000), 70) << "exactly on the last row";
  EXPECT_EQ(map.SampleMaskFixed(0x20000, 0x20000), 90) << "the last pixel";
  EXPECT_EQ(map.SampleMaskFixed(0x20100, 0), 0) << "past the last column";
  EXPECT_EQ(map.SampleMaskFixed(std::numeric_limits<TFixed>::max(), std::numeric_limits<TFixed>::max()), 0);
  EXPECT_EQ(map.SampleMaskFixed(std::numeric_limits<TFixed>::min(), 0), 0);

  // After CropToContent the stale ValidRect256 lets the sampler fade in from
  // the zero bytes left of the content.
  TMaskByteMap cropped;
  cropped.SetSize(4, 4);
  cropped.Clear(0);
  cropped.SetValue(2, 1, 255);
  cropped.SetValue(2, 2, 255);
  cropped.CropToContent();
  ASSERT_EQ(cropped.ValidRect(), (TRect{2, 1, 3, 3}));
  EXPECT_EQ(cropped.SampleMaskFixed(0x18000, 0x10000), 98);
  EXPECT_EQ(cropped.SampleMaskFixed(0x20000, 0x10000), 255) << "last column of the content";
  cropped.SetValidRect({2, 1, 3, 3});
  EXPECT_EQ(cropped.SampleMaskFixed(0x18000, 0x10000), 0) << "a fresh ValidRect256 cuts it";

  TMaskByteMap nothing;
  nothing.SetSize(4, 4);
  nothing.Clear(0);
  nothing.CropToContent();
  EXPECT_EQ(nothing.SampleMaskFixed(0, 0), 0);
  EXPECT_EQ(nothing.SampleMaskFixed(-0x10000, -0x10000), 0);
}

TEST(TMaskByteMapTest, TransformFromNearest) {
  TMaskByteMap src;
  src.SetSize(12, 12);
  fillNumbered(src);
  TMaskByteMap dst;
  dst.SetSize(12, 12);
  dst.Clear(7);
  TAffineTransformation identity;
  dst.TransformFrom(src, identity, true, false);
  EXPECT_EQ(identity.SrcRect, (TFloatRect{3, 3, 9, 9})) << "the source shrunk by 3 pixels";
  // The transformed bounds round 3 − 0.5 = 2.5 to 2 (ties to even) and
  // 9 + 0.5 to 10, so the copied square is (2, 2, 10, 10).
  for (std::int32_t y = 0; y < 12; ++y) {
    for (std::int32_t x = 0; x < 12; ++x) {
      const bool inside = x >= 2 && x < 10 && y >= 2 && y < 10;
      EXPECT_EQ(dst.Value(x, y), inside ? src.Value(x, y) : 7) << "at " << x << ", " << y;
    }
  }

  dst.Clear(7);
  dst.TransformFrom(src, identity, false, false);
  EXPECT_EQ(dst.Value(0, 0), 1) << "without shrink everything is copied";
  EXPECT_EQ(dst.Value(11, 11), 144);

  TMaskByteMap small;
  small.SetSize(4, 4);
  fillNumbered(small);
  TMaskByteMap target;
  target.SetSize(10, 10);
  target.Clear(7);
  target.SetValidRect({0, 0, 5, 10});
  TAffineTransformation shift;
  shift.Translate(3, 2);
  target.TransformFrom(small, shift, false, false);
  // Bounds (2, 2, 8, 6) cut to the valid rectangle: (2, 2, 5, 6).
  EXPECT_EQ(target.Value(2, 3), 0) << "reverse-mapped outside the source";
  EXPECT_EQ(target.Value(3, 2), small.Value(0, 0));
  EXPECT_EQ(target.Value(4, 5), small.Value(1, 3));
  EXPECT_EQ(target.Value(1, 3), 7);
  EXPECT_EQ(target.Value(5, 3), 7) << "outside the destination's ValidRect";
  EXPECT_EQ(target.Value(3, 6), 7);

  small.SetValidRect({1, 1, 2, 2});
  target.ResetValidRect();
  target.Clear(7);
  target.TransformFrom(small, shift, false, false);
  EXPECT_EQ(target.Value(4, 3), small.Value(1, 1)) << "only the source's ValidRect";
  EXPECT_EQ(target.Value(5, 3), 0) << "inside the bounds (4, 2, 6, 4), outside the source's ValidRect";
  EXPECT_EQ(target.Value(3, 3), 7);
  EXPECT_EQ(target.Value(6, 3), 7);

  TAffineTransformation far;
  far.Translate(1e9f, -1e9f);
  target.Clear(7);
  target.TransformFrom(small, far, false, true);
  for (std::uint8_t v : target.Bytes()) ASSERT_EQ(v, 7) << "bounds outside the map change nothing";
}

TEST(TMaskByteMapTest, TransformFromSmooth) {
  TMaskByteMap src;
  fillSamplerMask(src);
  TMaskByteMap dst;
  dst.SetSize(5, 3);
  dst.Clear(7);
  TAffineTransformation half;
  half.Translate(0.5f, 0);
  dst.TransformFrom(src, half, false, true);
  // Destination x samples the source at x − 0.5 (a = 256x − 128).
  const std::uint8_t expected[3][5] = {{0, 137, 133, 0, 7}, {0, 30, 23, 0, 7}, {0, 70, 80, 0, 7}};
  for (std::int32_t y = 0; y < 3; ++y) {
    for (std::int32_t x = 0; x < 5; ++x) EXPECT_EQ(dst.Value(x, y), expected[y][x]) << "at " << x << ", " << y;
  }
}

// A source whose channels stay within 128 of the black destination, where
// BlendPixel with weight 255 reproduces them exactly.
void fillSource(TBitmap32& src) {
  for (std::int32_t y = 0; y < src.Height(); ++y) {
    for (std::int32_t x = 0; x < src.Width(); ++x) {
      src.WritePixel(x, y, Color32(255, static_cast<std::uint8_t>(10 * x), static_cast<std::uint8_t>(20 * y), 99));
    }
  }
}

// A 4 x 3 source, a black 6 x 5 destination and a full mask of its size.
class BlendThroughMaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    src.Resize(4, 3);
    fillSource(src);
    dst.Resize(6, 5);
    dst.Clear(clBlack32);
    mask.SetSize(6, 5);
    mask.Clear(255);
  }

  TBitmap32 src;
  TBitmap32 dst;
  TMaskByteMap mask;
};

TEST_F(BlendThroughMaskTest, FullMaskCopiesTheSource) {
  BlendThroughMask(&dst, 1, 2, &mask, src.BoundsRect(), &src, dst.BoundsRect());
  for (std::int32_t y = 0; y < 5; ++y) {
    for (std::int32_t x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 5 && y >= 2;
      EXPECT_EQ(dst.ReadPixel(x, y), inside ? src.ReadPixel(x - 1, y - 2) : clBlack32) << "at " << x << ", " << y;
    }
  }
}

TEST_F(BlendThroughMaskTest, RectanglesAndWeights) {
  // SrcRect (1, 1, 4, 3) placed at (−1, 0): source (2, 1) lands on (0, 0).
  mask.SetValue(1, 1, 0);
  BlendThroughMask(&dst, -1, 0, &mask, {1, 1, 4, 3}, &src, {0, 0, 6, 5});
  EXPECT_EQ(dst.ReadPixel(0, 0), src.ReadPixel(2, 1));
  EXPECT_EQ(dst.ReadPixel(1, 0), src.ReadPixel(3, 1));
  EXPECT_EQ(dst.ReadPixel(0, 1), src.ReadPixel(2, 2));
  EXPECT_EQ(dst.ReadPixel(1, 1), clBlack32) << "a zero byte leaves the pixel";
  EXPECT_EQ(dst.ReadPixel(2, 0), clBlack32) << "beyond SrcRect";
  EXPECT_EQ(dst.ReadPixel(0, 2), clBlack32);

  // MaskRect and the mask's ValidRect both cut.
  dst.Clear(clBlack32);
  mask.Clear(255);
  mask.SetValidRect({0, 0, 3, 5});
  BlendThroughMask(&dst, 0, 0, &mask, src.BoundsRect(), &src, {1, 0, 6, 5});
  EXPECT_EQ(dst.ReadPixel(0, 0), clBlack32) << "left of MaskRect";
  EXPECT_EQ(dst.ReadPixel(1, 0), src.ReadPixel(1, 0));
  EXPECT_EQ(dst.ReadPixel(2, 2), src.ReadPixel(2, 2));
  EXPECT_EQ(dst.ReadPixel(3, 0), clBlack32) << "right of ValidRect";

  // A plain byte map counts with all its bytes; weight 127 moves red 100
  // halfway: W = (128 × 255) shr 8 = 127, (100 × 127 + 128) shr 8 = 50.
  TByteMap plain;
  plain.SetSize(2, 2);
  plain.Clear(127);
  TBitmap32 red;
  red.Resize(1, 1);
  red.Clear(0xFF640000);
  dst.Clear(clBlack32);
  BlendThroughMask(&dst, 1, 1, &plain, red.BoundsRect(), &red, {0, 0, 100, 100});
  EXPECT_EQ(dst.ReadPixel(1, 1), 0xFF320000u);
  EXPECT_EQ(dst.ReadPixel(0, 0), clBlack32);
  BlendThroughMask(&dst, 2, 2, &plain, red.BoundsRect(), &red, {0, 0, 100, 100});
  EXPECT_EQ(dst.ReadPixel(2, 2), clBlack32) << "the mask ends at column 2";

  // With weight 255 a channel further than 128 from the destination's loses
  // one step: (200 × 255 + 128) shr 8 = 199.
  red.Clear(0xFFC80000);
  plain.Clear(255);
  BlendThroughMask(&dst, 0, 0, &plain, red.BoundsRect(), &red, dst.BoundsRect());
  EXPECT_EQ(dst.ReadPixel(0, 0), 0xFFC70000u);
}

TEST_F(BlendThroughMaskTest, MissingEmptyAndFarAway) {
  TBitmap32 empty;
  TMaskByteMap emptyMask;
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  BlendThroughMask(nullptr, 0, 0, &mask, src.BoundsRect(), &src, dst.BoundsRect());
  BlendThroughMask(&dst, 0, 0, nullptr, src.BoundsRect(), &src, dst.BoundsRect());
  BlendThroughMask(&dst, 0, 0, &mask, src.BoundsRect(), nullptr, dst.BoundsRect());
  BlendThroughMask(&dst, 0, 0, &mask, src.BoundsRect(), &empty, dst.BoundsRect());
  BlendThroughMask(&dst, 0, 0, &emptyMask, src.BoundsRect(), &src, dst.BoundsRect());
  BlendThroughMask(&dst, kMax, kMin, &mask, src.BoundsRect(), &src, dst.BoundsRect());
  BlendThroughMask(&dst, kMin, 0, &mask, {kMin, kMin, kMax, kMax}, &src, {kMin, kMin, kMax, kMax});
  BlendThroughMask(&dst, 0, 0, &mask, {kMax, 0, kMin, 3}, &src, dst.BoundsRect());
  for (TColor32 c : dst.Bits()) ASSERT_EQ(c, clBlack32);
  BlendThroughMask(&empty, 0, 0, &mask, src.BoundsRect(), &src, dst.BoundsRect());
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(TransformThroughMaskTest, IdentityFadesTheBorder) {
  TBitmap32 src;
  src.Resize(4, 4);
  src.Clear(0xFF102030);
  TBitmap32 dst;
  dst.Resize(6, 6);
  dst.Clear(clBlack32);
  TMaskByteMap mask;
  mask.SetSize(6, 6);
  mask.Clear(255);
  TAffineTransformation identity;
  TransformThroughMask(dst, src, identity, mask);
  EXPECT_EQ(identity.SrcRect, (TFloatRect{0, 0, 4, 4}));
  EXPECT_EQ(src.ReadPixel(0, 2), 0x00102030u) << "the source's border loses its alpha";
  EXPECT_EQ(src.ReadPixel(1, 1), 0xFF102030u);
  // Interior samples: alpha 255 at (1, 1); the gamma weight 255 mixes one
  // step of the transparent border in at (2, 1) and (1, 2), two at (2, 2).
  const TColor32 inner[2][2] = {{0xFF102030, 0xFE102030}, {0xFE102030, 0xFD10202F}};
  for (std::int32_t y = 0; y < 6; ++y) {
    for (std::int32_t x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
      EXPECT_EQ(dst.ReadPixel(x, y), inside ? inner[y - 1][x - 1] : clBlack32) << "at " << x << ", " << y;
    }
  }
}

TEST(TransformThroughMaskTest, MaskCutsAndWeights) {
  TBitmap32 src;
  src.Resize(4, 4);
  src.Clear(0xFF102030);
  TBitmap32 dst;
  dst.Resize(6, 6);
  dst.Clear(clBlack32);
  TMaskByteMap mask;
  mask.SetSize(6, 6);
  mask.Clear(255);
  mask.SetValue(3, 3, 0);
  mask.SetValidRect({0, 0, 4, 6});
  TAffineTransformation shift;
  shift.Translate(2, 1);
  TransformThroughMask(dst, src, shift, mask);
  EXPECT_EQ(dst.ReadPixel(3, 2), 0xFF102030u);
  EXPECT_EQ(dst.ReadPixel(3, 3), clBlack32) << "mask byte 0";
  EXPECT_EQ(dst.ReadPixel(4, 2), clBlack32) << "outside the mask's ValidRect";

  // A plain byte map smaller than the destination limits the area too.
  TByteMap small;
  small.SetSize(2, 2);
  small.Clear(255);
  dst.Clear(clBlack32);
  TAffineTransformation identity;
  TransformThroughMask(dst, src, identity, small);
  EXPECT_EQ(dst.ReadPixel(1, 1), 0xFF102030u);
  EXPECT_EQ(dst.ReadPixel(2, 1), clBlack32);

  TAffineTransformation far;
  far.Translate(-1e9f, 1e9f);
  dst.Clear(clBlack32);
  TransformThroughMask(dst, src, far, mask);
  TBitmap32 empty;
  TransformThroughMask(empty, src, identity, mask);
  TransformThroughMask(dst, empty, identity, mask);
  for (TColor32 c : dst.Bits()) ASSERT_EQ(c, clBlack32);
}

}  // namespace
}  // namespace lumora

#include "render/integer_map.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

namespace lumora {
namespace {

// Map pixel (i, j) is 0xFF000000 + 256 × j + i, so every pixel tells where it came from.
void fillNumbered(TMemMap& map) {
  for (std::int32_t j = 0; j < map.Height(); ++j) {
    for (std::int32_t i = 0; i < map.Width(); ++i) *map.PixelAddress(i, j) = 0xFF000000 + 256 * j + i;
  }
}

TEST(TMemMapTest, CreateResizeAndAssign) {
  TMemMap map;
  EXPECT_EQ(map.ClassName(), "TMemMap");
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_EQ(map.DrawMode, dmOpaque);
  EXPECT_EQ(map.MasterAlpha, 255);
  EXPECT_EQ(map.CombineMode, cmBlend);
  EXPECT_EQ(map.OuterColor, 0u);

  map.SetSize(3, 2);
  EXPECT_FALSE(map.IsEmpty());
  EXPECT_EQ(map.Bits().size(), 6u);
  fillNumbered(map);
  EXPECT_EQ(map.PixelAddress(2, 1), map.Bits().data() + 5) << "element X + Y × Width";
  EXPECT_THROW(map.SetSize(1 << 20, 1 << 20), std::runtime_error);
  EXPECT_EQ(map.Bits().size(), 6u) << "a refused size keeps the map";

  map.DrawMode = dmTransparent;
  map.CombineMode = cmMerge;
  map.OuterColor = 0x12345678;
  map.MasterAlpha = 40;
  TMemMap copy;
  copy.MasterAlpha = 99;
  copy.Assign(map);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.Height(), 2);
  EXPECT_TRUE(std::equal(copy.Bits().begin(), copy.Bits().end(), map.Bits().begin()));
  EXPECT_EQ(copy.DrawMode, dmTransparent);
  EXPECT_EQ(copy.CombineMode, cmMerge);
  EXPECT_EQ(copy.OuterColor, 0x12345678u);
  EXPECT_EQ(copy.MasterAlpha, 99) << "MasterAlpha is not assigned";

  TBitmap32 surface;
  surface.Resize(2, 4);
  surface.Clear(0xFF00FF00);
  surface.WritePixel(1, 3, 0x80112233);
  surface.DrawMode = dmBlend;
  surface.CombineMode = cmBlend;
  surface.OuterColor = 0xAABBCCDD;
  surface.MasterAlpha = 7;
  copy.Assign(surface);
  EXPECT_EQ(copy.Width(), 2);
  EXPECT_EQ(copy.Height(), 4);
  EXPECT_EQ(*copy.PixelAddress(1, 3), 0x80112233u);
  EXPECT_EQ(*copy.PixelAddress(0, 0), 0xFF00FF00u);
  EXPECT_EQ(copy.DrawMode, dmBlend);
  EXPECT_EQ(copy.CombineMode, cmBlend);
  EXPECT_EQ(copy.OuterColor, 0xAABBCCDDu);
  EXPECT_EQ(copy.MasterAlpha, 99) << "the surface's MasterAlpha is not taken";

  TBitmap32 empty;
  copy.Assign(empty);
  EXPECT_TRUE(copy.IsEmpty());
}

TEST(TMemMapTest, DrawMapToCutsAtTheSurface) {
  TMemMap map;
  map.SetSize(14, 2);
  fillNumbered(map);
  TBitmap32 surface;
  surface.Resize(5, 3);
  surface.Clear(0);
  map.DrawMapTo(&surface, -10, 0);
  for (std::int32_t y = 0; y < 3; ++y) {
    for (std::int32_t x = 0; x < 5; ++x) {
      const TColor32 expected = (x < 4 && y < 2) ? *map.PixelAddress(x + 10, y) : 0;
      EXPECT_EQ(surface.ReadPixel(x, y), expected) << "at " << x << ", " << y;
    }
  }

  surface.Clear(0);
  map.DrawMapTo(&surface, 3, -1);
  EXPECT_EQ(surface.ReadPixel(3, 0), *map.PixelAddress(0, 1)) << "a cut at the top starts one row in";
  EXPECT_EQ(surface.ReadPixel(4, 0), *map.PixelAddress(1, 1));
  EXPECT_EQ(surface.ReadPixel(2, 0), 0u);
  EXPECT_EQ(surface.ReadPixel(3, 1), 0u);

  surface.Clear(0);
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  map.DrawMapTo(&surface, kMax, kMax);
  map.DrawMapTo(&surface, kMin, kMin);
  map.DrawMapTo(&surface, 5, 0);
  map.DrawMapTo(&surface, -14, 0);
  map.DrawMapTo(nullptr, 0, 0);
  TMemMap empty;
  empty.DrawMapTo(&surface, 0, 0);
  for (TColor32 c : surface.Bits()) ASSERT_EQ(c, 0u);
  TBitmap32 emptySurface;
  map.DrawMapTo(&emptySurface, 0, 0);
  EXPECT_TRUE(emptySurface.IsEmpty());
}

TEST(TMemMapTest, DrawMapToModes) {
  TMemMap map;
  map.SetSize(2, 1);
  *map.PixelAddress(0, 0) = 0x80FF0000;
  *map.PixelAddress(1, 0) = 0x00000000;
  TBitmap32 surface;
  surface.Resize(2, 1);

  surface.Clear(0xFF000000);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0x80FF0000u) << "opaque copies";
  EXPECT_EQ(surface.ReadPixel(1, 0), 0u);

  // Blend over opaque black: a = 128, red (255 × 128 + 127) div 255 = 128.
  map.DrawMode = dmBlend;
  surface.Clear(0xFF000000);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0xFF800000u);
  EXPECT_EQ(surface.ReadPixel(1, 0), 0xFF000000u) << "alpha 0 leaves the pixel";
  // MasterAlpha 128: a = (128 × 129) shr 8 = 64.
  map.MasterAlpha = 128;
  surface.Clear(0xFF000000);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0xFF400000u);
  map.MasterAlpha = 0;
  surface.Clear(0xFF000000);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0xFF000000u) << "MasterAlpha 0 draws nothing";

  // Over a transparent pixel blend scales the colour, merge keeps it.
  map.MasterAlpha = 255;
  surface.Clear(0);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0x80800000u) << "blend";
  map.CombineMode = cmMerge;
  surface.Clear(0);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0x80FF0000u) << "merge";

  map.DrawMode = dmTransparent;
  map.OuterColor = 0x80FF0000;
  surface.Clear(0xFF123456);
  map.DrawMapTo(&surface, 0, 0);
  EXPECT_EQ(surface.ReadPixel(0, 0), 0xFF123456u) << "OuterColor is skipped";
  EXPECT_EQ(surface.ReadPixel(1, 0), 0u) << "every other value is copied";

  for (const auto mode : {dmCustom, static_cast<TDrawMode>(7)}) {
    map.DrawMode = mode;
    surface.Clear(0xFF123456);
    map.DrawMapTo(&surface, 0, 0);
    EXPECT_EQ(surface.ReadPixel(1, 0), 0xFF123456u) << "mode " << static_cast<int>(mode) << " draws nothing";
  }
}

}  // namespace
}  // namespace lumora

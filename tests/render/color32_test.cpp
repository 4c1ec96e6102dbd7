#include "render/color32.h"

#include <cmath>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(Color32, WindowsColourConversions) {
  EXPECT_EQ(Color32FromWinColor(0x00332211), 0xFF112233u) << "red and blue swap, alpha opaque";
  EXPECT_EQ(WinColor(0x80112233u), 0x00332211) << "alpha dropped";
  EXPECT_EQ(Color32(0x12, 0x34, 0x56, 0x78), 0x12345678u);
  // A negative value names a system colour by its low byte: 15 is the
  // button face, 0x00F0F0F0 by default; 5 the window background, white.
  EXPECT_EQ(Color32FromWinColor(static_cast<TWinColor>(0xFF00000F)), 0xFFF0F0F0u);
  EXPECT_EQ(Color32FromWinColor(static_cast<TWinColor>(0x80000005)), 0xFFFFFFFFu);
  EXPECT_EQ(Color32FromWinColor(static_cast<TWinColor>(0xFF00000D)), 0xFF3399FFu) << "highlight";
  EXPECT_EQ(GetSysColor(200), 0) << "unknown indices are black";
}

TEST(Color32, GammaTableFromItsFormula) {
  const auto& gamma = GammaTable();
  EXPECT_EQ(gamma[0], 0);
  EXPECT_EQ(gamma[255], 255);
  EXPECT_EQ(gamma[1], 5);     // (1/255)^0.7 × 255 = 5.22
  EXPECT_EQ(gamma[128], 157);  // 157.10
  EXPECT_EQ(gamma[254], 254);  // 254.30
  for (int i = 0; i < 256; ++i) {
    EXPECT_NEAR(gamma[i], std::pow(i / 255.0, 0.7) * 255.0, 0.5) << i;
    if (i > 0) {
      EXPECT_GE(gamma[i], gamma[i - 1]) << i;
    }
  }
}

TEST(Color32, BlendPixelFromItsFormula) {
  // Transparent source or zero weight: the background stays.
  EXPECT_EQ(BlendPixel(0x00FFFFFF, 0x12345678, 255), 0x12345678u);
  EXPECT_EQ(BlendPixel(0x01FFFFFF, 0x12345678, 100), 0x12345678u) << "W = (101 × 1) shr 8 = 0";
  // Opaque source, full coverage: W = (256 × 255) shr 8 = 255.
  // Channel: (B × 256 + (F − B) × 255 + 128) shr 8.
  // Alpha: (0 + 255 × 255 + 128) shr 8 = 254; red: (255 × 255 + 128) shr 8 = 254.
  EXPECT_EQ(BlendPixel(0xFFFF0000, 0x00000000, 255), 0xFEFE0000u);
  // Half coverage: W = (129 × 255) shr 8 = 128.
  // Alpha: (255 × 256 + 0 + 128) shr 8 = 255; red (0 → 200): (200 × 128 + 128) shr 8 = 100;
  // green (100 → 0): (100 × 256 − 100 × 128 + 128) shr 8 = 50; blue (40 → 40): 40.
  EXPECT_EQ(BlendPixel(0xFFC80028, 0xFF006428, 128), 0xFF643228u);
  // Source alpha 128, coverage 255: W = (256 × 128) shr 8 = 128; the alpha channel moves too.
  // Alpha (255 → 128): (255 × 256 − 127 × 128 + 128) shr 8 = 192.
  EXPECT_EQ(BlendPixel(0x80FFFFFF, 0xFF000000, 255), 0xC0808080u);
}

// The channel formula, one channel at a time.
TColor32 blendByChannel(TColor32 f, TColor32 b, std::uint32_t w) {
  TColor32 result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::int64_t fc = (f >> shift) & 0xFF;
    const std::int64_t bc = (b >> shift) & 0xFF;
    result |= static_cast<TColor32>(((bc * 256 + (fc - bc) * w + 128) >> 8) & 0xFF) << shift;
  }
  return result;
}

TEST(Color32, BlendByWeightMatchesTheChannelFormula) {
  // Every channel pair at every weight, the same value in all four channels.
  for (std::uint32_t fc = 0; fc < 256; ++fc) {
    for (std::uint32_t bc = 0; bc < 256; ++bc) {
      for (std::uint32_t w = 0; w < 256; ++w) {
        const TColor32 f = fc * 0x01010101u;
        const TColor32 b = bc * 0x01010101u;
        if (BlendByWeight(f, b, w) != blendByChannel(f, b, w)) {
          FAIL() << std::hex << "f " << f << " b " << b << std::dec << " w " << w;
        }
      }
    }
  }
  // Mixed channels, and BlendPixel's weight from coverage and alpha.
  std::mt19937 random(7);
  for (int i = 0; i < 1000000; ++i) {
    const TColor32 f = random();
    const TColor32 b = random();
    const auto m = static_cast<std::uint8_t>(random());
    const std::uint32_t w = ((m + 1u) * AlphaComponent(f)) >> 8;
    ASSERT_EQ(BlendByWeight(f, b, w), blendByChannel(f, b, w)) << std::hex << f << " " << b;
    ASSERT_EQ(BlendPixel(f, b, m), w == 0 ? b : blendByChannel(f, b, w)) << std::hex << f << " " << b;
  }
}

TEST(Color32, BlendAndMergeCombineModes) {
  EXPECT_EQ(BlendReg(0xFF123456, 0xFF000000), 0xFF123456u) << "opaque source replaces";
  EXPECT_EQ(BlendReg(0x00123456, 0xFFABCDEF), 0xFFABCDEFu) << "transparent source keeps";
  EXPECT_EQ(BlendReg(0xFFFFFFFF, 0xFF000000, 0), 0xFF000000u) << "master alpha 0 draws nothing";
  const TColor32 half = BlendReg(0x80FF0000, 0xFF0000FF);
  EXPECT_EQ(AlphaComponent(half), 255) << "an opaque background stays opaque";
  EXPECT_EQ(RedComponent(half), 128);
  EXPECT_EQ(BlueComponent(half), 127);
  // Merging onto a transparent background keeps the source colour and alpha.
  EXPECT_EQ(MergeReg(0x80FF8000, 0x00000000), 0x80FF8000u);
  const TColor32 merged = MergeReg(0x80FF0000, 0x800000FF);
  EXPECT_EQ(AlphaComponent(merged), 192) << "a + b(1 − a)";
  EXPECT_NEAR(RedComponent(merged), 170, 1);
  EXPECT_NEAR(BlueComponent(merged), 85, 1);
}

}  // namespace
}  // namespace lumora

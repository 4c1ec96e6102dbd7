// 32-bit ARGB colours and the per-pixel primitives everything blends with.
#pragma once

#include <array>
#include <cstdint>

namespace lumora {

// 0xAARRGGBB; alpha 255 is opaque.
using TColor32 = std::uint32_t;
// Windows layout 0x00BBGGRR; a negative value names a system colour.
using TWinColor = std::int32_t;

inline constexpr TColor32 clBlack32 = 0xFF000000;
inline constexpr TColor32 clWhite32 = 0xFFFFFFFF;

inline constexpr TColor32 Color32(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return (TColor32{a} << 24) | (TColor32{r} << 16) | (TColor32{g} << 8) | b;
}
inline constexpr std::uint8_t AlphaComponent(TColor32 c) { return c >> 24; }
inline constexpr std::uint8_t RedComponent(TColor32 c) { return (c >> 16) & 0xFF; }
inline constexpr std::uint8_t GreenComponent(TColor32 c) { return (c >> 8) & 0xFF; }
inline constexpr std::uint8_t BlueComponent(TColor32 c) { return c & 0xFF; }

// The Windows default of a system colour index (COLOR_SCROLLBAR = 0 …).
TWinColor GetSysColor(int index);
// Red and blue swapped, alpha 255; system colours resolved first.
TColor32 Color32FromWinColor(TWinColor c);
// Alpha dropped, red and blue swapped.
TWinColor WinColor(TColor32 c);

// The largest grid channel value; a channel of this value reproduces the
// colour it scales.
inline constexpr std::int32_t kMaxChannelValue = 254;

// Each of red, green and blue becomes round(intensity × byte ÷ 254), kept to
// 8 bits.
TWinColor ScaleColor(TWinColor colour, std::int32_t intensity);

// The colours a graphic bound to a grid cell mixes from the cell's red,
// green and blue channels.
struct TChannelColors {
  TWinColor Red = 0;
  TWinColor Green = 0;
  TWinColor Blue = 0;
};

// The colour a cell (red, green and blue channels of a Windows colour)
// gives under a channel mode: the colours of the enabled channels (bit 0
// red, 1 green, 2 blue), each scaled by its channel, or'ed; the cell itself
// for modes 8 and up.
TWinColor ChannelColor(TWinColor cell, std::uint8_t mode, const TChannelColors& colours);

// Entry i = round((i / 255)^0.7 × 255): the interpolation weights of the
// bilinear samplers.
const std::array<std::uint8_t, 256>& GammaTable();

// Every channel, alpha included, moved from B towards F by W / 256 (W at
// most 255): (B × 256 + (F − B) × W + 128) shr 8, which equals
// (F × W + B × (256 − W) + 128) shr 8. Two channels share one multiply:
// each 16-bit lane stays below 255 × 256 + 128, so no lane carries.
inline TColor32 BlendByWeight(TColor32 f, TColor32 b, std::uint32_t w) {
  constexpr TColor32 kLanes = 0x00FF00FF;
  constexpr TColor32 kHalf = 0x00800080;
  const std::uint32_t v = 256 - w;
  const TColor32 redBlue = (((f & kLanes) * w + (b & kLanes) * v + kHalf) >> 8) & kLanes;
  const TColor32 alphaGreen = (((f >> 8) & kLanes) * w + ((b >> 8) & kLanes) * v + kHalf) & ~kLanes;
  return alphaGreen | redBlue;
}

// The low byte of v + ((w × (u − v)) sar 8): weight w (of 255) on u, as the
// bilinear samplers mix neighbouring bytes.
inline std::uint8_t LerpByte(std::int32_t u, std::int32_t v, std::int32_t w) {
  return static_cast<std::uint8_t>(v + ((w * (u - v)) >> 8));
}

// F over B with coverage M: W = ((M + 1) × alpha(F)) shr 8; every channel,
// alpha included, moves from B towards F by W / 256.
inline TColor32 BlendPixel(TColor32 f, TColor32 b, std::uint8_t m) {
  const std::uint32_t w = ((m + 1u) * AlphaComponent(f)) >> 8;
  return w == 0 ? b : BlendByWeight(f, b, w);
}

// Blend and merge of one source pixel into a destination pixel by the source
// alpha scaled by masterAlpha (the combine modes of the surfaces).
TColor32 BlendReg(TColor32 f, TColor32 b, std::uint8_t masterAlpha = 255);
TColor32 MergeReg(TColor32 f, TColor32 b, std::uint8_t masterAlpha = 255);

}  // namespace lumora

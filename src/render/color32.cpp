#include "render/color32.h"

#include <cmath>

#include "render/geometry.h"

namespace lumora {

namespace {

// Windows defaults of COLOR_SCROLLBAR (0) to COLOR_MENUBAR (30), 0x00BBGGRR.
constexpr std::array<TWinColor, 31> kSystemColors = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xFF9933, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0,
};

std::array<std::uint8_t, 256> buildGammaTable() {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<std::uint8_t>(std::nearbyint(std::pow(i / 255.0, 0.7) * 255.0));
  }
  return table;
}

TColor32 swapRedBlue(std::uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

}  // namespace

TWinColor GetSysColor(int index) {
  if (index < 0 || index >= static_cast<int>(kSystemColors.size())) return 0;
  return kSystemColors[index];
}

TColor32 Color32FromWinColor(TWinColor c) {
  if (c < 0) c = GetSysColor(c & 0xFF);
  return 0xFF000000 | swapRedBlue(static_cast<std::uint32_t>(c));
}

TWinColor WinColor(TColor32 c) { return static_cast<TWinColor>(swapRedBlue(c)); }

namespace {

std::uint32_t scaleByte(std::uint32_t byte, std::int32_t intensity) {
  const double scaled = static_cast<double>(intensity) * byte / kMaxChannelValue;
  return static_cast<std::uint32_t>(RoundToInt(scaled)) & 0xFF;
}

}  // namespace

TWinColor ScaleColor(TWinColor colour, std::int32_t intensity) {
  const auto c = static_cast<std::uint32_t>(colour);
  const std::uint32_t r = scaleByte(c & 0xFF, intensity);
  const std::uint32_t g = scaleByte((c >> 8) & 0xFF, intensity);
  const std::uint32_t b = scaleByte((c >> 16) & 0xFF, intensity);
  return static_cast<TWinColor>(r | g << 8 | b << 16);
}

TWinColor ChannelColor(TWinColor cell, std::uint8_t mode, const TChannelColors& colours) {
  if (mode >= 8) return cell;
  const auto channels = static_cast<std::uint32_t>(cell);
  TWinColor colour = 0;
  if ((mode & 1) != 0) colour |= ScaleColor(colours.Red, channels & 0xFF);
  if ((mode & 2) != 0) colour |= ScaleColor(colours.Green, (channels >> 8) & 0xFF);
  if ((mode & 4) != 0) colour |= ScaleColor(colours.Blue, (channels >> 16) & 0xFF);
  return colour;
}

const std::array<std::uint8_t, 256>& GammaTable() {
  static const std::array<std::uint8_t, 256> table = buildGammaTable();
  return table;
}

namespace {

std::uint32_t scaledAlpha(TColor32 f, std::uint8_t masterAlpha) {
  return (AlphaComponent(f) * (masterAlpha + 1u)) >> 8;
}

std::uint8_t lerp255(std::uint32_t f, std::uint32_t b, std::uint32_t a) {
  return static_cast<std::uint8_t>((f * a + b * (255 - a) + 127) / 255);
}

}  // namespace

// The destination counts as the background: colours move towards F by its
// alpha, and the coverage adds up as with "over".
TColor32 BlendReg(TColor32 f, TColor32 b, std::uint8_t masterAlpha) {
  const std::uint32_t a = scaledAlpha(f, masterAlpha);
  if (a == 0) return b;
  if (a == 255) return f;
  const std::uint32_t ba = AlphaComponent(b);
  return Color32(static_cast<std::uint8_t>(a + (ba * (255 - a) + 127) / 255),
                 lerp255(RedComponent(f), RedComponent(b), a), lerp255(GreenComponent(f), GreenComponent(b), a),
                 lerp255(BlueComponent(f), BlueComponent(b), a));
}

// "Over" of two straight-alpha colours: a transparent destination takes the
// source colour unchanged.
TColor32 MergeReg(TColor32 f, TColor32 b, std::uint8_t masterAlpha) {
  const std::uint32_t fa = scaledAlpha(f, masterAlpha);
  if (fa == 0) return b;
  const std::uint32_t ba = AlphaComponent(b);
  if (fa == 255 || ba == 0) return (f & 0x00FFFFFF) | (fa << 24);
  const std::uint32_t bw = ba * (255 - fa);  // background weight, in 255²
  const std::uint32_t total = fa * 255 + bw;
  auto channel = [&](std::uint32_t fc, std::uint32_t bc) {
    return static_cast<std::uint8_t>((fc * fa * 255 + bc * bw + total / 2) / total);
  };
  return Color32(static_cast<std::uint8_t>((total + 127) / 255), channel(RedComponent(f), RedComponent(b)),
                 channel(GreenComponent(f), GreenComponent(b)), channel(BlueComponent(f), BlueComponent(b)));
}

}  // namespace lumora

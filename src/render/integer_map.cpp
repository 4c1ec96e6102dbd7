#include "render/integer_map.h"

#include <algorithm>

#include "render/memory_budget.h"

namespace lumora {

namespace {

bool drawsPixels(TDrawMode mode) { return mode == dmOpaque || mode == dmBlend || mode == dmTransparent; }

void drawRow(const TMemMap& map, const TColor32* from, TColor32* to, std::size_t count) {
  switch (map.DrawMode) {
    case dmOpaque:
      std::copy_n(from, count, to);
      break;
    case dmBlend: {
      const auto combine = map.CombineMode == cmMerge ? MergeReg : BlendReg;
      for (std::size_t i = 0; i < count; ++i) to[i] = combine(from[i], to[i], map.MasterAlpha);
      break;
    }
    case dmTransparent:
      for (std::size_t i = 0; i < count; ++i) {
        if (from[i] != map.OuterColor) to[i] = from[i];
      }
      break;
    default:
      break;
  }
}

}  // namespace

void TMemMap::ChangeSize(std::int32_t width, std::int32_t height) {
  ChargeMemory(std::uint64_t{static_cast<std::uint32_t>(width)} * static_cast<std::uint32_t>(height) * sizeof(TColor32),
               "an image map");
  // A new store, so that a failed allocation keeps the old one.
  std::vector<TColor32> bits(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  fBits = std::move(bits);
}

void TMemMap::assignPixels(std::int32_t width, std::int32_t height, std::span<const TColor32> pixels) {
  SetSize(width, height);
  std::copy(pixels.begin(), pixels.end(), fBits.begin());
}

void TMemMap::Assign(const TMemMap& source) {
  if (&source == this) return;
  assignPixels(source.Width(), source.Height(), source.Bits());
  DrawMode = source.DrawMode;
  OuterColor = source.OuterColor;
  CombineMode = source.CombineMode;
  Changed();
}

void TMemMap::Assign(const TBitmap32& source) {
  assignPixels(source.Width(), source.Height(), source.Bits());
  DrawMode = source.DrawMode;
  OuterColor = source.OuterColor;
  CombineMode = source.CombineMode;
  Changed();
}

void TMemMap::DrawMapTo(TBitmap32* surface, std::int32_t x, std::int32_t y) const {
  if (surface == nullptr || surface->IsEmpty() || IsEmpty() || !drawsPixels(DrawMode)) return;
  // In 64 bits: x + Width may pass the 32-bit range before the cut.
  const std::int64_t left = std::max<std::int64_t>(x, 0);
  const std::int64_t top = std::max<std::int64_t>(y, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + Width(), surface->Width());
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + Height(), surface->Height());
  if (left >= right || top >= bottom) return;
  const auto count = static_cast<std::size_t>(right - left);
  for (std::int64_t row = top; row < bottom; ++row) {
    // A target cut at the left or top starts that many columns or rows into the map.
    const TColor32* from = PixelAddress(static_cast<std::int32_t>(left - x), static_cast<std::int32_t>(row - y));
    drawRow(*this, from, surface->PixelAddress(static_cast<std::int32_t>(left), static_cast<std::int32_t>(row)),
            count);
  }
  surface->Changed({static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), static_cast<std::int32_t>(right),
                    static_cast<std::int32_t>(bottom)});
}

}  // namespace lumora

// TMemMap: a plain 32-bit colour map with its own draw settings, the pixel
// store a bitmap graphic keeps.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "render/bitmap32.h"
#include "render/color32.h"
#include "render/mask_maps.h"

namespace lumora {

class TMemMap : public TCustomMap {
 public:
  std::string ClassName() const override { return "TMemMap"; }

  std::span<TColor32> Bits() { return fBits; }
  std::span<const TColor32> Bits() const { return fBits; }
  // Unchecked access; the caller keeps (x, y) inside the map.
  TColor32* PixelAddress(std::int32_t x, std::int32_t y) {
    return fBits.data() + static_cast<std::size_t>(y) * Width() + x;
  }
  const TColor32* PixelAddress(std::int32_t x, std::int32_t y) const {
    return fBits.data() + static_cast<std::size_t>(y) * Width() + x;
  }

  // Size, pixels, DrawMode, OuterColor and CombineMode; MasterAlpha stays.
  void Assign(const TMemMap& source);
  void Assign(const TBitmap32& source);

  // Draws the map with its top-left corner at (x, y) of the surface, under
  // DrawMode: opaque copies, blend combines by alpha (and MasterAlpha below
  // 255) under CombineMode, transparent copies every pixel other than
  // OuterColor; any other mode draws nothing.
  void DrawMapTo(TBitmap32* surface, std::int32_t x, std::int32_t y) const;

  TDrawMode DrawMode = dmOpaque;
  std::uint8_t MasterAlpha = 255;
  TCombineMode CombineMode = cmBlend;
  TColor32 OuterColor = 0;

 protected:
  void ChangeSize(std::int32_t width, std::int32_t height) override;

 private:
  void assignPixels(std::int32_t width, std::int32_t height, std::span<const TColor32> pixels);

  std::vector<TColor32> fBits;
};

}  // namespace lumora

// TLEDGraphic: an LED matrix, a rectangle of grid-movie cells shown as a
// raster of coloured rectangles and drawn through the graphic's placement.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "effects/cell_range.h"
#include "render/bitmap32.h"
#include "render/mask_maps.h"
#include "scene/graphic_base.h"

namespace lumora {

class TFrameData;

inline constexpr std::uint8_t kTypeCodeLED = 12;
// The unnamed block of the LED record, kept and written back as read.
inline constexpr std::size_t kLEDReservedSize = 32;
// The image an unpainted LED matrix shows.
inline constexpr TColor32 kLEDUnpaintedColor = 0xFFFF0000;
// The largest LED image (4096 x 4096 pixels, 64 MiB). The image is built
// from a few numbers of the record rather than stored, so without this a
// record of a few bytes could ask for a gigabyte.
inline constexpr std::int64_t kMaxLEDImagePixels = std::int64_t{1} << 24;

class TLEDGraphic : public TGraphicBase {
 public:
  explicit TLEDGraphic(TView* view);
  std::string ClassName() const override { return "TLEDGraphic"; }

  const TBitmap32& Image() const { return fImage; }
  const TByteMap* MaskMap() const { return fMaskMap.get(); }

  TCellRange CellRange;
  std::int32_t CellWidth = 1;
  std::int32_t CellHeight = 1;
  std::int32_t GapX = 0;
  std::int32_t GapY = 0;
  std::uint8_t ReservedByte = 0;
  std::array<std::uint8_t, kLEDReservedSize> ReservedBlock{};

  // Sizes the image to the cell range and fills it with kLEDUnpaintedColor;
  // a size beyond the surface cap raises std::length_error.
  void ResetImage();

  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteBody(TStreamWriter& stream) override;
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override;
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) override;
  void ApplyMask(TBitmap32& maskBitmap) override;
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override;
  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override;
  bool HitTest(std::int32_t x, std::int32_t y) override;
  void DrawToCanvas(TCanvas& canvas) override;
  void GetBounds(TFixedRect& rect) override;

 private:
  // Clears the image to black and paints every cell the frame holds.
  void paintCells(const TFrameData& frame);
  // The fast path for placements that only move, scale and flip.
  void stretchImage(TBitmap32& bitmap);
  void drawImage(TBitmap32& bitmap);

  TBitmap32 fImage;
  std::unique_ptr<TByteMap> fMaskMap;
};

}  // namespace lumora

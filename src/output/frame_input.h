// What the light outputs read of a show: the grid cells, the drawn frame and
// the lamp centres of the frame being shown, and the shape of the movie a
// patch is checked against. The show engine fills these through adapters;
// nothing here knows the movie model.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "render/bitmap32.h"
#include "render/color32.h"
#include "render/geometry.h"

namespace lumora::output {

// The grid layers of the frame being shown.
class TGridCells {
 public:
  virtual ~TGridCells() = default;
  // 0 for a layer the frame does not have.
  virtual std::int32_t Rows(std::int32_t layer) const = 0;
  virtual std::int32_t Columns(std::int32_t layer) const = 0;
  // Colour 0x00BBGGRR of a cell inside the layer's rows and columns.
  virtual TWinColor CellColor(std::int32_t layer, std::int32_t row, std::int32_t column) const = 0;
};

// The lamps of the light strips, LED matrices and swinging lights.
class TLampCentres {
 public:
  virtual ~TLampCentres() = default;
  // Replaces centres with the lamp centres of one graphic in bitmap pixels,
  // in the graphic's own order; empty when that graphic has no lamps.
  virtual void LampCentres(std::int32_t layer, std::int32_t graphic, TPoints& centres) const = 0;
};

// One frame as the outputs see it. Every part may be missing: what a
// fixture cannot read gives channels of 0.
struct TFrameView {
  const TGridCells* Grid = nullptr;
  // Pixels 0xAARRGGBB; a point of the movie lies at movie + Offset.
  const TBitmap32* Bitmap = nullptr;
  TPoint Offset;
  const TLampCentres* Lamps = nullptr;
};

struct TGridLayerShape {
  std::int32_t Rows = 0;
  std::int32_t Columns = 0;
};

// What a graphic's lamps are: every lamp of a light strip, every cell of an
// LED matrix, or one swinging light.
enum class TLampKind : std::uint8_t { LightStrip, LedMatrix, SwingingLight };

struct TLampGraphicShape {
  std::int32_t Layer = 0;
  std::int32_t Graphic = 0;
  std::string ClassName;
  std::int32_t LampCount = 0;
  TLampKind Kind = TLampKind::LightStrip;
};

// What a patch may name: grid layers by index, graphics with lamps, the
// movie's size for points of the drawn frame, and its file name.
struct TMovieShape {
  std::vector<TGridLayerShape> GridLayers;
  std::vector<TLampGraphicShape> LampGraphics;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // The last part of the movie's path, as a fixture's "movie" names it.
  std::string File;

  // LampGraphics are in layer order, and by graphic within a layer.
  const TLampGraphicShape* FindLampGraphic(std::int32_t layer, std::int32_t graphic) const {
    const auto before = [](const TLampGraphicShape& g, std::pair<std::int32_t, std::int32_t> key) {
      return std::pair(g.Layer, g.Graphic) < key;
    };
    const auto found = std::lower_bound(LampGraphics.begin(), LampGraphics.end(), std::pair(layer, graphic), before);
    return found != LampGraphics.end() && found->Layer == layer && found->Graphic == graphic ? &*found : nullptr;
  }
};

}  // namespace lumora::output

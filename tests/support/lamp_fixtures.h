// LED matrices, grid layers and a body round trip for the lamp and effect
// tests.
#pragma once

#include <memory>
#include <vector>

#include "effects/led_graphic.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/graphic_base.h"
#include "support/grid_fixtures.h"

namespace lumora::test {

// An LED matrix over the cells, LEDs of width x height pixels with the
// gaps given, its image laid out.
inline std::unique_ptr<TLEDGraphic> ledMatrix(const TCellRange& cells, std::int32_t width, std::int32_t height,
                                              std::int32_t gapX, std::int32_t gapY, std::uint8_t channelMode = 7) {
  auto led = std::make_unique<TLEDGraphic>(nullptr);
  led->CellRange = cells;
  led->CellWidth = width;
  led->CellHeight = height;
  led->GapX = gapX;
  led->GapY = gapY;
  led->SetChannelMode(channelMode);
  led->ResetImage();
  return led;
}

// What the factory builds from the graphic's own WriteBody.
inline std::unique_ptr<TGraphicBase> readBack(TGraphicBase& graphic) {
  TStreamWriter writer;
  graphic.WriteBody(writer);
  TMemoryInput input(writer.Data());
  TStreamReader reader(input, "body");
  TObjectHeader header{};
  reader.ReadBytes(header);
  TGraphicBaseFactory factory;
  return factory.CreateGraphic(header, reader, true, nullptr);
}

}  // namespace lumora::test

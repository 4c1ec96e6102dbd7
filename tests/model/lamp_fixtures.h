// Grid layers and stream helpers for the lamp and effect tests.
#pragma once

#include <memory>
#include <vector>

#include "grid/frame_data.h"
#include "movie/graphic_factory.h"
#include "io/stream.h"
#include "scene/graphic_base.h"

namespace lumora::test {

// One grid layer of one section holding the frames given.
inline void addGridLayer(TFrameDataLayers& layers, std::vector<std::unique_ptr<TFrameData>> frames) {
  auto layer = std::make_unique<TFrameDataLayer>();
  auto section = std::make_unique<TSection>();
  for (auto& frame : frames) section->Add(std::move(frame));
  layer->Add(std::move(section));
  layer->RebuildMerged();
  layers.Add(std::move(layer));
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

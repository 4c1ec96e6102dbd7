// Grid layers for the tests that colour graphics from grid cells.
#pragma once

#include <initializer_list>
#include <memory>
#include <vector>

#include "grid/frame_data.h"

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

// Frames of rows x columns cells, frame k with cell (0, 1) of colour
// cells[k] and every other cell black.
inline std::vector<std::unique_ptr<TFrameData>> framesWithCell(std::int32_t rows, std::int32_t columns,
                                                               std::initializer_list<TWinColor> cells) {
  std::vector<std::unique_ptr<TFrameData>> frames;
  for (const TWinColor cell : cells) {
    frames.push_back(std::make_unique<TFrameData>(rows, columns));
    frames.back()->SetCell(0, 1, cell);
  }
  return frames;
}

}  // namespace lumora::test

// TChannelMap: one frame's channel buffer filled from its grid cells, drawn
// pixels and lamps, as the fixtures of a patch lay them out.
#pragma once

#include <cstdint>
#include <vector>

#include "output/channel_patch.h"
#include "output/frame_input.h"
#include "output/level_table.h"

namespace lumora::output {

class TChannelMap {
 public:
  TChannelMap() = default;
  TChannelMap(std::vector<TFixture> fixtures, std::uint32_t channelCount);

  std::uint32_t ChannelCount() const { return fChannelCount; }

  // Sizes channels to ChannelCount() and fills them from the frame: the
  // fixtures in patch order, so a later one wins where they overlap; a
  // channel no fixture fills, and one whose cell, pixel or lamp the frame
  // lacks, is 0. Allocates only when channels is too small.
  void Fill(const TFrameView& frame, std::vector<std::uint8_t>& channels);

 private:
  struct TPatchedFixture {
    TFixture Fixture;
    TLevelTable Levels;
  };

  void fillGrid(const TPatchedFixture& patched, const TGridCells* grid, std::uint8_t* out) const;
  void fillPixels(const TPatchedFixture& patched, const TFrameView& frame, std::uint8_t* out) const;
  void fillLamps(const TPatchedFixture& patched, const TFrameView& frame, std::uint8_t* out);

  std::vector<TPatchedFixture> fFixtures;
  std::uint32_t fChannelCount = 0;
  // Lamp centres of one graphic, kept between frames so that asking for
  // them does not allocate.
  TPoints fCentres;
};

}  // namespace lumora::output

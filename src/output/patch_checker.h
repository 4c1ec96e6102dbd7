// What a patch bound to a movie leaves to chance: fixtures that fill the
// same channels (the later one wins), channels the outputs send that no
// fixture fills, channels fixtures fill that no output sends, and grid cells
// of the movie that reach no channel sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/channel_patch.h"

namespace lumora::output {

// Channel indices [First, First + Count).
struct TChannelRange {
  std::uint32_t First = 0;
  std::uint32_t Count = 0;
  friend bool operator==(const TChannelRange&, const TChannelRange&) = default;
};

struct TFixtureOverlap {
  // Indices into the patch's fixtures; Later wins.
  std::size_t Earlier = 0;
  std::size_t Later = 0;
  TChannelRange Channels;
  friend bool operator==(const TFixtureOverlap&, const TFixtureOverlap&) = default;
};

// Cells of a grid layer that no fixture puts on a channel an output sends.
struct TUncarriedCells {
  std::int32_t Layer = 0;
  std::uint64_t Count = 0;
  std::uint64_t Cells = 0;
  // The first of them, row by row: (column, row).
  TPoint First;
  friend bool operator==(const TUncarriedCells&, const TUncarriedCells&) = default;
};

struct TPatchCheck {
  // At most kMaxListedOverlaps, so that a patch of many stacked fixtures
  // is checked in bounded time.
  std::vector<TFixtureOverlap> Overlaps;
  bool MoreOverlaps = false;
  std::vector<TChannelRange> Unfilled;
  std::vector<TChannelRange> Unsent;
  // Only when the patch has a grid fixture: a patch of lamps alone leaves
  // the cells out on purpose.
  std::vector<TUncarriedCells> Uncarried;
};

inline constexpr std::size_t kMaxListedOverlaps = 1000;

// The patch as bound to the movie.
TPatchCheck CheckChannelPatch(const TChannelPatch& patch, const TMovieShape& movie);

// One line a finding, channels numbered from 1; one line saying so when
// there are none.
std::string DescribePatchCheck(const TChannelPatch& patch, const TPatchCheck& check);

}  // namespace lumora::output

// What a patch leaves to chance: fixtures that fill the same channels (the
// later one wins), channels the outputs send that no fixture fills, and
// channels fixtures fill that no output sends.
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

struct TPatchCheck {
  // At most kMaxListedOverlaps, so that a patch of many stacked fixtures
  // is checked in bounded time.
  std::vector<TFixtureOverlap> Overlaps;
  bool MoreOverlaps = false;
  std::vector<TChannelRange> Unfilled;
  std::vector<TChannelRange> Unsent;
};

inline constexpr std::size_t kMaxListedOverlaps = 1000;

TPatchCheck CheckChannelPatch(const TChannelPatch& patch);

// One line a finding, channels numbered from 1; one line saying so when
// there are none.
std::string DescribePatchCheck(const TChannelPatch& patch, const TPatchCheck& check);

}  // namespace lumora::output

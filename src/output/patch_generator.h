// A starting patch for a movie: every grid cell, or every lamp, packed into
// consecutive universes of 170 RGB pixels, sent by one output. Written as
// the JSON a person then edits.
#pragma once

#include <string>

#include "output/channel_patch.h"
#include "output/frame_input.h"

namespace lumora::output {

enum class TStartingSource : std::uint8_t { Grid, Lamps };

struct TStartingPatchOptions {
  TStartingSource Source = TStartingSource::Grid;
  TProtocol Protocol = TProtocol::Sacn;
  // Unicast to this host; none: multicast (sACN) or broadcast (Art-Net).
  std::string Host;
};

// One fixture per grid layer or per graphic with lamps, one output over all
// of them. EPatchError when the movie has nothing to patch, the channels
// would pass the last one, or the protocol and host do not go together.
std::string MakeStartingPatch(const TMovieShape& movie, const TStartingPatchOptions& options);

}  // namespace lumora::output

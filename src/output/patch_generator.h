// A starting patch for a movie or every entry of a play list: every grid
// cell, or every lamp, packed into consecutive universes of 170 RGB pixels,
// sent by one output. Written as the JSON a person then edits.
#pragma once

#include <string>
#include <vector>

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
// of them; LED pixels at gamma 2.2. A grid layer or lamp graphic that every
// movie has is one fixture, as large as the largest; one that only some have
// is one fixture for each of them, naming its movie. EPatchError when the
// movies have nothing to patch, the channels would pass the last one, or
// the protocol and host do not go together.
std::string MakeStartingPatch(const std::vector<TMovieShape>& movies, const TStartingPatchOptions& options);
inline std::string MakeStartingPatch(const TMovieShape& movie, const TStartingPatchOptions& options) {
  return MakeStartingPatch(std::vector<TMovieShape>{movie}, options);
}

}  // namespace lumora::output

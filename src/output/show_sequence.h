// A show written as a light sequence (FSEQ): every frame as the player plays
// it, turned into lamp channels by a patch, for pixel players to play.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "show/show_pass.h"

namespace lumora::output {

struct TSequenceOptions {
  // zstd blocks; false writes the channels as they are.
  bool Compress = true;
  // Frames done of the total; throwing stops the writing.
  std::function<void(std::int64_t done, std::int64_t total)> OnProgress;
};

// Writes one pass of the show. A sequence has one step time, so every frame
// must last the same 1 to 255 ms; EPatchError, EFseqError or
// std::runtime_error name what stands in the way, and the file appears only
// when complete.
void WriteShowSequence(TShowPass& pass, const std::string& patchPath, const std::string& outPath,
                       const TSequenceOptions& options = {});

}  // namespace lumora::output

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
  // Told once of each entry of a play list the patch cannot drive, whose
  // frames are written dark.
  std::function<void(const std::string& message)> OnReport;
};

// Writes one pass of the show, every entry of a play list read through the
// patch as it plays; the sequence holds as many channels as the patch lights
// in the largest entry. A sequence has one step time, so every frame must
// last the same 1 to 255 ms; EPatchError (when the patch drives no entry),
// EFseqError or std::runtime_error name what stands in the way, and the file
// appears only when complete.
void WriteShowSequence(TShowPass& pass, const std::string& patchPath, const std::string& outPath,
                       const TSequenceOptions& options = {});

}  // namespace lumora::output

// The readers of a patch's parts: one fixture, one output.
#pragma once

#include <cstdint>

#include "output/channel_patch.h"
#include "output/patch_reader_p.h"

namespace lumora::output::patch {

// A fixture whose samples may number at most sampleBudget.
TFixture ReadFixture(const TPatchObject& object, const TMovieShape& movie, std::uint64_t sampleBudget);
// An output that may send at most sentBudget channels; its host resolved.
TOutputRoute ReadOutput(const TPatchObject& object, std::uint64_t sentBudget);

}  // namespace lumora::output::patch

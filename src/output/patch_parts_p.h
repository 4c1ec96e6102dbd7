// The readers of a patch's parts (one fixture, one output) and the binding
// of a fixture to a movie.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "output/channel_patch.h"
#include "output/patch_reader_p.h"

namespace lumora::output::patch {

// A fixture as written; only what needs no movie is checked.
TFixtureDefinition ReadFixture(const TPatchObject& object);
// The fixture on the movie, sampling at most sampleBudget points, cells and
// lamps; source names the patch in errors.
TFixture BindFixture(const TFixtureDefinition& fixture, const TMovieShape& movie, const std::string& source,
                     std::uint64_t sampleBudget);

// Each host name of a patch asked of the resolver once, however many
// outputs name it.
class THostResolver {
 public:
  // The address of the host the value names; fails naming it when it does
  // not resolve.
  std::uint32_t Resolve(const TPatchValue& value);

 private:
  std::map<std::string, std::uint32_t, std::less<>> fResolved;
};

// An output that may send at most sentBudget channels; its host resolved.
TOutputRoute ReadOutput(const TPatchObject& object, std::uint64_t sentBudget, THostResolver& hosts);

}  // namespace lumora::output::patch

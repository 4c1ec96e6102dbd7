// The record a second start hands to the running player: whatever arrives
// on the socket is decoded, and a path that decodes survives a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/program_entry.h"
#include "show/show_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  const auto path = DecodeCopyData({data, size});
  if (!path) return 0;
  if (DecodeCopyData(EncodeCopyData(*path)) != path) std::abort();
  HandedToRunningInstance(*path);
  ClassifyArgument(*path);
  return 0;
}

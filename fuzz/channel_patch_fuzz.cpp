// Light patches as a user writes them: JSON read once, bound to two small
// movies as a play list's entries are, and each bound patch fills the
// channels of one frame.
#include <dlfcn.h>
#include <netdb.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/patch_movies.h"
#include "output/channel_map.h"
#include "output/channel_patch.h"

// A patch may name a host; the fuzzer must send nothing over the network,
// so only numeric addresses are resolved.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** found) {
  using TResolver = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto real = reinterpret_cast<TResolver>(dlsym(RTLD_NEXT, "getaddrinfo"));
  addrinfo numeric = hints != nullptr ? *hints : addrinfo{};
  numeric.ai_flags |= AI_NUMERICHOST;
  return real(node, service, &numeric, found);
}

namespace {

using namespace lumora;
using namespace lumora::output;

class TCells : public TGridCells {
 public:
  std::int32_t Rows(std::int32_t layer) const override { return layer == 0 ? 4 : 0; }
  std::int32_t Columns(std::int32_t layer) const override { return layer == 0 ? 6 : 0; }
  TWinColor CellColor(std::int32_t, std::int32_t row, std::int32_t column) const override {
    return static_cast<TWinColor>(0x102030 * (row + 1) + column);
  }
};

void fill(const TChannelPatch& bound, const TBitmap32& bitmap) {
  TChannelMap map(bound.Fixtures, bound.ChannelCount);
  const TCells cells;
  std::vector<std::uint8_t> channels;
  map.Fill({&cells, &bitmap, {}, nullptr}, channels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<TMovieShape> shapes = fuzz::PatchMovies();
  static TBitmap32* const bitmap = [] {
    auto* b = new TBitmap32;
    b->Resize(64, 32);
    b->Clear(0xFF102030);
    return b;
  }();
  TPatchDefinition patch;
  try {
    patch = ParsePatchDefinition({reinterpret_cast<const char*>(data), size}, "fuzz.patch");
  } catch (const EPatchError&) {
    return 0;
  }
  for (const TMovieShape& shape : shapes) {
    try {
      fill(BindChannelPatch(patch, shape), *bitmap);
    } catch (const EPatchError&) {
    }
  }
  return 0;
}

// Grid movie files: the first byte chooses .tol or .cot, the rest is the file.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_limits.h"
#include "grid/frame_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  if (size == 0) return 0;
  TFrameDataLayer layer;
  try {
    TMemoryInput input({data + 1, size - 1});
    layer.LoadFromStream(input, "fuzz", (data[0] & 1) != 0, fuzz::kFuzzBodyCap);
  } catch (const TLoadError&) {
  }
  return 0;
}

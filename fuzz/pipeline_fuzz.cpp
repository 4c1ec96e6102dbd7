// The whole pipeline as the player runs it: the input is written to a file,
// loaded (read, fit, prepare) and three frames are drawn, so that drawing
// code meets whatever geometry a file can carry. The first byte chooses the
// kind: 'T' a .tol, 'C' a .cot, anything else a .ctl, whose rest may be a
// version-6 body (see fuzz_input.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_directory.h"
#include "fuzz/fuzz_input.h"
#include "show/headless_show.h"

namespace {

std::string movieName(std::uint8_t kind) {
  switch (kind) {
    case 'T': return "input.tol";
    case 'C': return "input.cot";
    default: return "input.ctl";
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora;
  static const fuzz::TScratchDirectory scratch;
  if (size == 0) return 0;
  const std::string name = movieName(data[0]);
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  if (name == "input.ctl") {
    WriteFileBytes(scratch.File(name), fuzz::MovieFromInput(rest));
  } else {
    WriteFileBytes(scratch.File(name), rest);
  }
  THeadlessShow show(640, 480, scratch.File("player"));
  TShowEngine& engine = show.Engine;
  engine.MemoryBudget = fuzz::kFuzzMemoryBudget;
  try {
    // Vector movies report their errors; a grid movie that fails raises.
    engine.LoadMovie(scratch.File(name));
    const std::int32_t last = engine.Frames().Max - 1;
    for (const std::int32_t frame : {0, last / 2, last}) engine.DrawFrame(frame);
  } catch (const TLoadError&) {
  }
  engine.Shutdown();
  scratch.SweepExcept();
  return 0;
}

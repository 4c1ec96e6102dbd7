// The whole pipeline as the player runs it: the input is written to a file,
// loaded (read, fit, prepare) and three frames are drawn, so that drawing
// code meets whatever geometry a file can carry. The first byte chooses the
// kind: 'T' a .tol, 'C' a .cot, anything else a .ctl, whose rest may be a
// version-6 body (see fuzz_input.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/headless_toolkit.h"
#include "app/player_form.h"
#include "fuzz/fuzz_directory.h"
#include "fuzz/fuzz_input.h"

namespace {

std::string movieName(std::uint8_t kind) {
  switch (kind) {
    case 'T': return "input.tol";
    case 'C': return "input.cot";
    default: return "input.ctl";
  }
}

void drawFrame(lumora::TForm1& form, std::int32_t frame) {
  if (form.VectorMode() != 0) {
    form.RenderFrame(frame);
  } else {
    form.DrawGrid(frame);
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
  THeadlessToolkit window(640, 480);
  TSilentMusic music;
  TForm1 form(window, music, scratch.File("player"));
  form.MemoryBudget = fuzz::kFuzzMemoryBudget;
  try {
    // Vector movies report their errors; a grid movie that fails raises.
    form.LoadMovie(scratch.File(name));
    const std::int32_t last = form.ScrollBar(TScrollBarId::ScrollBar1).Max - 1;
    for (const std::int32_t frame : {0, last / 2, last}) drawFrame(form, frame);
  } catch (const TLoadError&) {
  }
  form.FormDestroy();
  scratch.SweepExcept();
  return 0;
}

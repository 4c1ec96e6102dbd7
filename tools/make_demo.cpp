// lumora-make-demo: writes the bundled demo show with our own writers: a
// vector movie of neon outlines coloured from an animated grid
// (demo-neon.ctl), a grid movie of colour waves (demo-waves.tol), one of
// rings of light (demo-rings.cot) and the play list that names them
// (demo.lst). The player reads play-list entries beside its executable, so
// the build writes them into the directory of the programs.
//   lumora-make-demo DIRECTORY
#include <cstdio>
#include <string>

#include "io/stream.h"
#include "tools/demo_show.h"

namespace lumora {
namespace {

int run(const std::string& directory) {
  const std::string dir = directory.empty() || directory.back() == '/' ? directory : directory + "/";
  WriteFileBytes(dir + "demo-neon.ctl", DemoNeonMovie());
  WriteFileBytes(dir + "demo-waves.tol", DemoWavesGrid()->SaveToTol());
  WriteFileBytes(dir + "demo-rings.cot", DemoRingsGrid()->SaveToCot());
  const std::string list = "demo-neon.ctl\ndemo-waves.tol\ndemo-rings.cot\n";
  WriteFileBytes(dir + "demo.lst", std::span(reinterpret_cast<const std::uint8_t*>(list.data()), list.size()));
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: lumora-make-demo DIRECTORY\n", stderr);
    return 2;
  }
  try {
    return lumora::run(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora-make-demo: %s\n", e.what());
    return 1;
  }
}

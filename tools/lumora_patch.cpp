// lumora-patch: writes a starting channel patch for a show (every grid cell,
// or every lamp, packed into universes of 170 RGB pixels behind one output)
// for people to edit, and checks a patch against a show: overlapping
// fixtures, channels sent that nothing fills, channels filled that nothing
// sends.
#include <iostream>
#include <string>

#include "output/channel_patch.h"
#include "output/patch_checker.h"
#include "output/patch_generator.h"
#include "output/show_output.h"
#include "show/headless_show.h"
#include "tools/command_line.h"

namespace lumora {
namespace {

struct TOptions {
  std::string File;
  bool Grid = false;
  bool Lamps = false;
  std::string Protocol = "sacn";
  std::string Host;
  std::string Check;
};

output::TProtocol protocolOf(const std::string& key) {
  for (const output::TProtocol p : output::kProtocols) {
    if (key == output::ProtocolKey(p)) return p;
  }
  throw EUsage("unknown protocol " + key);
}

// The show loaded and prepared as the player plays it, for what it holds.
output::TMovieShape shapeOf(const std::string& file) {
  THeadlessShow show(1920, 1080);
  show.Engine.ExtractMusic = false;
  show.Open(file);
  return output::MovieShapeOf(show.Engine);
}

int run(const TOptions& o) {
  const output::TMovieShape shape = shapeOf(o.File);
  if (!o.Check.empty()) {
    const output::TChannelPatch patch = output::LoadChannelPatch(o.Check, shape);
    std::cout << output::DescribePatchCheck(patch, output::CheckChannelPatch(patch));
    return 0;
  }
  output::TStartingPatchOptions options;
  options.Source = o.Lamps ? output::TStartingSource::Lamps : output::TStartingSource::Grid;
  options.Protocol = protocolOf(o.Protocol);
  options.Host = o.Host;
  std::cout << output::MakeStartingPatch(shape, options);
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  CLI::App app("Writes a starting channel patch for a light show, or checks a patch against one.", "lumora-patch");
  lumora::SetUpTool(app,
                    "Examples:\n"
                    "  lumora-patch show.ctl --lamps --host 192.168.1.50 > lights.json\n"
                    "  lumora-patch --check lights.json show.ctl\n");
  lumora::TOptions o;
  app.add_option("FILE", o.File, "a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable")->required();
  auto* grid = app.add_flag("--grid", o.Grid, "patch every grid cell (the default)");
  app.add_flag("--lamps", o.Lamps, "patch every lamp of the light strips, LED matrices and swinging lights")
      ->excludes(grid);
  app.add_option("--protocol", o.Protocol, "sacn, artnet, ddp or ola (sacn)")
      ->check(CLI::IsMember({"sacn", "artnet", "ddp", "ola"}));
  app.add_option("--host", o.Host, "send to this host by unicast (else sACN multicast, Art-Net broadcast)");
  app.add_option("--check", o.Check, "list what the patch leaves to chance instead")
      ->check(CLI::ExistingFile)
      ->excludes(grid);
  return lumora::RunTool(app, argc, argv, [&o] { return lumora::run(o); });
}

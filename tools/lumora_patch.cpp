// lumora-patch: writes a starting channel patch for a show or every entry of
// a play list (every grid cell, or every lamp, packed into universes of 170
// RGB pixels behind one output) for people to edit, and checks a patch
// against each movie a show plays: movies it cannot drive, overlapping
// fixtures, channels sent that nothing fills, channels filled that nothing
// sends, grid cells that reach no channel.
#include <iostream>
#include <sstream>
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

// Every movie the show plays, loaded and prepared as the player plays it,
// for what it holds.
std::vector<output::TMovieShape> shapesOf(const std::string& file) {
  THeadlessShow show(1920, 1080);
  show.Engine.ExtractMusic = false;
  show.Open(file);
  return output::PlayListShapes(show.Engine);
}

// One paragraph a movie, headed by its name when there are several.
// Answers 1 when the patch cannot drive one of them.
int check(const std::string& patchPath, const std::vector<output::TMovieShape>& shapes) {
  const output::TPatchDefinition patch = output::ReadPatchDefinition(patchPath);
  std::size_t undriven = 0;
  for (const output::TMovieShape& shape : shapes) {
    std::string text;
    try {
      const output::TChannelPatch bound = output::BindChannelPatch(patch, shape);
      text = output::DescribePatchCheck(bound, output::CheckChannelPatch(bound, shape));
    } catch (const output::EPatchError& error) {
      ++undriven;
      text = std::string("cannot drive it: ") + error.what() + "\n";
    }
    if (shapes.size() == 1) {
      std::cout << text;
      continue;
    }
    std::cout << shape.File << ":\n";
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) std::cout << "  " << line << "\n";
  }
  if (undriven == 0) return 0;
  std::cerr << "lumora-patch: the patch cannot drive " << undriven << " of the " << shapes.size() << " movies\n";
  return kExitFailure;
}

int run(const TOptions& o) {
  const std::vector<output::TMovieShape> shapes = shapesOf(o.File);
  if (!o.Check.empty()) return check(o.Check, shapes);
  output::TStartingPatchOptions options;
  options.Source = o.Lamps ? output::TStartingSource::Lamps : output::TStartingSource::Grid;
  options.Protocol = protocolOf(o.Protocol);
  options.Host = o.Host;
  std::cout << output::MakeStartingPatch(shapes, options);
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  CLI::App app("Writes a starting channel patch for a light show, or checks a patch against one.", "lumora-patch");
  lumora::SetUpTool(app,
                    "A play list's patch covers every entry, and --check checks every entry: it names the\n"
                    "movies the patch cannot drive (and then exits with 1) and the grid cells no channel carries.\n"
                    "\n"
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

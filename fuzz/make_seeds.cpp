// make_seeds DIR: writes seed files for the fuzz targets with our own
// writers: movies of versions 1, 3 and 6 (with grid layers, line records,
// masked layers, music and the demo show's graphics of every kind), their
// inflated bodies, grid files, an executable with a movie, play lists and
// hand-off records.
#include <filesystem>
#include <iostream>
#include <string>

#include "app/program_entry.h"
#include "fuzz/fuzz_input.h"
#include "movie/movie_file.h"
#include "tools/demo_show.h"

namespace lumora {
namespace {

void fillGrid(TFrameDataLayers& grid, std::int32_t frames) {
  auto layer = std::make_unique<TFrameDataLayer>();
  layer->SetRows(3);
  layer->SetColumns(4);
  layer->CellWidth = 10;
  layer->CellHeight = 8;
  layer->HasLines = 1;
  layer->Lines.resize(2);
  auto section = std::make_unique<TSection>();
  for (std::int32_t i = 0; i < frames; ++i) {
    auto f = std::make_unique<TFrameData>(3, 4);
    f->SetCell(i % 3, i % 4, 0x00FF00FF);
    section->Add(std::move(f));
  }
  layer->Add(std::move(section));
  layer->Add(std::make_unique<TSection>());
  grid.Add(std::move(layer));
}

void write(const std::string& dir, const std::string& name, std::span<const std::uint8_t> bytes) {
  std::filesystem::create_directories(dir);
  WriteFileBytes(dir + "/" + name, bytes);
}

std::vector<std::uint8_t> tagged(char tag, std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(tag)};
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

std::vector<std::uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

// The whole-pipeline target: a kind byte, then the file (see pipeline_fuzz).
void writePipelineSeeds(const std::string& dir, std::span<const std::uint8_t> movie,
                        std::span<const std::uint8_t> tol, std::span<const std::uint8_t> cot) {
  const auto neon = DemoNeonMovie();
  write(dir, "neon.ctl", tagged('M', neon));
  write(dir, "neon.body", tagged('M', fuzz::BodyInput(neon)));
  write(dir, "layered.body", tagged('M', fuzz::BodyInput(movie)));
  write(dir, "show.tol", tagged('T', tol));
  write(dir, "show.cot", tagged('C', cot));
}

void writeEntrySeeds(const std::string& out) {
  write(out + "/playlist", "list.lst", text("show.ctl\nshow.tol\n"));
  write(out + "/playlist", "mixed.lst", text("missing.ctl\r\nshow.tol\rshow.ctl\n\nshow.cot"));
  write(out + "/handoff", "movie", EncodeCopyData("/home/show/neon.ctl"));
  write(out + "/handoff", "list", EncodeCopyData("节目/demo.lst"));
}

int run(const std::string& out) {
  TMovieDocument document;
  TMovieFile& movie = document.File;
  TFrameDataLayers& grid = document.Grid;
  movie.Width = 320;
  movie.Height = 200;
  document.Root.AddLayer("");
  document.Root.AddLayer("").SetMasked(1);
  fillGrid(grid, 5);
  const TMusicData music{"seed.mp3", {1, 2, 3, 4}};
  const auto layered = movie.SaveLayered(&music);
  write(out + "/movie", "layered.ctl", layered);
  write(out + "/movie", "plain.ctl", movie.SaveLayered(nullptr));
  write(out + "/movie", "v1.ctl", movie.SaveGridProgram(false));
  write(out + "/movie", "v3.ctl", movie.SaveGridProgram(true));
  write(out + "/movie", "layered.body", fuzz::BodyInput(layered));
  write(out + "/movie", "neon.ctl", DemoNeonMovie());
  write(out + "/movie", "neon.body", fuzz::BodyInput(DemoNeonMovie()));
  write(out + "/appended", "player.exe", AppendMovie(std::vector<std::uint8_t>(512, 0x90), layered));
  // The grid target's first byte selects .cot (odd) or .tol (even).
  auto tol = grid.Items(0).SaveToTol();
  tol.insert(tol.begin(), 0);
  write(out + "/grid", "show.tol", tol);
  auto cot = grid.Items(0).SaveToCot();
  cot.insert(cot.begin(), 1);
  write(out + "/grid", "show.cot", cot);
  writePipelineSeeds(out + "/pipeline", layered, grid.Items(0).SaveToTol(), grid.Items(0).SaveToCot());
  writeEntrySeeds(out);
  std::cout << out << "\n";
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds DIR\n";
    return 2;
  }
  try {
    return lumora::run(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "make_seeds: " << e.what() << "\n";
    return 1;
  }
}

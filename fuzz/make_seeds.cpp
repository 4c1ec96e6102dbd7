// make_seeds DIR: writes seed files for the fuzz targets with the model's
// own writers: movies of versions 1, 3 and 6 (with grid layers, line records,
// masked layers and music), grid files and an executable with a movie.
#include <filesystem>
#include <iostream>
#include <string>

#include "movie/movie_file.h"

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

void write(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::create_directories(dir);
  WriteFileBytes(dir + "/" + name, bytes);
}

int run(const std::string& out) {
  TControlLayer root;
  TFrameDataLayers grid;
  TMovieFile movie;
  movie.ControlLayer = &root;
  movie.GridLayers = &grid;
  movie.Width = 320;
  movie.Height = 200;
  root.AddLayer("");
  root.AddLayer("").SetMasked(1);
  fillGrid(grid, 5);
  const TMusicData music{"seed.mp3", {1, 2, 3, 4}};
  const auto layered = movie.SaveLayered(&music);
  write(out + "/movie", "layered.ctl", layered);
  write(out + "/movie", "plain.ctl", movie.SaveLayered(nullptr));
  write(out + "/movie", "v1.ctl", movie.SaveGridProgram(false));
  write(out + "/movie", "v3.ctl", movie.SaveGridProgram(true));
  write(out + "/appended", "player.exe", AppendMovie(std::vector<std::uint8_t>(512, 0x90), layered));
  // The grid target's first byte selects .cot (odd) or .tol (even).
  auto tol = grid.Items(0).SaveToTol();
  tol.insert(tol.begin(), 0);
  write(out + "/grid", "show.tol", tol);
  auto cot = grid.Items(0).SaveToCot();
  cot.insert(cot.begin(), 1);
  write(out + "/grid", "show.cot", cot);
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

// lumora-make-demo: writes the grid part of the bundled demo show with our
// own writers: a grid movie of colour waves (demo-waves.tol), one of
// rings of light (demo-rings.cot) and the play list that names both
// (demo.lst). The player reads play-list entries beside its executable, so
// the build writes them into the directory of the programs.
//   lumora-make-demo DIRECTORY
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>

#include "movie/frame_data.h"
#include "movie/stream.h"

namespace lumora {
namespace {

constexpr std::int32_t kRows = 18;
constexpr std::int32_t kColumns = 32;
constexpr std::int32_t kCellSize = 24;
constexpr std::int32_t kFrames = 720;

using TCellColour = std::function<TWinColor(std::int32_t frame, std::int32_t row, std::int32_t column)>;

// A channel of a hue wheel at the angle, 0 … 254 (cells keep 7 bits).
std::int32_t channel(double angle) {
  const double v = 0.5 + 0.5 * std::cos(angle);
  return static_cast<std::int32_t>(std::lround(v * 127.0)) * 2;
}

TWinColor hue(double angle, double brightness) {
  constexpr double third = 2.0 * std::numbers::pi / 3.0;
  auto scaled = [&](double a) { return static_cast<std::int32_t>(channel(a) * brightness) & 0xFE; };
  return scaled(angle) | scaled(angle - third) << 8 | scaled(angle + third) << 16;
}

// Diagonal waves of colour drifting across the grid.
TWinColor waves(std::int32_t f, std::int32_t r, std::int32_t c) {
  const double t = 2.0 * std::numbers::pi * f / kFrames;
  const double phase = 0.35 * c + 0.25 * r + 6.0 * t + std::sin(0.2 * r + 2.0 * t);
  const double brightness = 0.55 + 0.45 * std::sin(0.3 * c - 0.4 * r + 4.0 * t);
  return hue(phase, brightness);
}

// Rings of light running out from the centre, their colour turning.
TWinColor rings(std::int32_t f, std::int32_t r, std::int32_t c) {
  const double t = 2.0 * std::numbers::pi * f / kFrames;
  const double dx = c - (kColumns - 1) / 2.0;
  const double dy = (r - (kRows - 1) / 2.0) * 1.3;
  const double d = std::sqrt(dx * dx + dy * dy);
  const double ring = 0.5 + 0.5 * std::cos(0.9 * d - 12.0 * t);
  return hue(2.0 * t + 0.15 * d, ring * ring);
}

std::unique_ptr<TFrameDataLayer> gridMovie(const TCellColour& colour) {
  auto layer = std::make_unique<TFrameDataLayer>();
  TFrameDataLayer& grid = *layer;
  grid.SetRows(kRows);
  grid.SetColumns(kColumns);
  grid.CellWidth = kCellSize;
  grid.CellHeight = kCellSize;
  auto section = std::make_unique<TSection>();
  for (std::int32_t f = 0; f < kFrames; ++f) {
    auto frame = std::make_unique<TFrameData>(kRows, kColumns);
    for (std::int32_t r = 0; r < kRows; ++r) {
      for (std::int32_t c = 0; c < kColumns; ++c) frame->SetCell(r, c, colour(f, r, c));
    }
    section->Add(std::move(frame));
  }
  grid.Add(std::move(section));
  return layer;
}

int run(const std::string& directory) {
  const std::string dir = directory.empty() || directory.back() == '/' ? directory : directory + "/";
  WriteFileBytes(dir + "demo-waves.tol", gridMovie(waves)->SaveToTol());
  WriteFileBytes(dir + "demo-rings.cot", gridMovie(rings)->SaveToCot());
  const std::string list = "demo-waves.tol\ndemo-rings.cot\n";
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

// The bundled demo show, built with our own writers: a vector movie of neon
// outlines coloured from an animated grid, and two grid movies.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>

#include "tools/demo_show.h"

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "render/bezier.h"
#include "render/geometry.h"
#include "render/gr32_graphics.h"
#include "scene/closed_shapes.h"
#include "scene/control_layer.h"
#include "scene/lines_and_paths.h"

namespace lumora {
namespace {

constexpr std::int32_t kRows = 18;
constexpr std::int32_t kColumns = 32;
constexpr std::int32_t kCellSize = 24;
constexpr std::int32_t kFrames = 720;


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

// The neon movie's grid: one row of cells per outline, each a bright hue
// turning at its own pace, and every fourth second a chase of dark cells
// through which the outlines fall back to their static colour.
constexpr std::int32_t kNeonCells = 16;
constexpr std::int32_t kNeonFrames = 240;

TWinColor neonCell(std::int32_t f, std::int32_t, std::int32_t c) {
  const double t = 2.0 * std::numbers::pi * f / kNeonFrames;
  if ((f / 60) % 4 == 3 && (f + 3 * c) % 12 < 3) return 0;
  return hue(0.7 * c + 2.0 * t * (1 + c % 3), 1.0);
}

TFixedPoint at(double x, double y) { return FixedPoint(static_cast<float>(x), static_cast<float>(y)); }

// Every outline is two graphics bound to the same cell: a wide glow in a
// darkened copy of the cell's colour (the channel colours at a third) below
// a narrow tube in the cell's colour itself.
void addTube(TLayer& glow, TLayer& tubes, std::unique_ptr<TGraphicBase> outline, std::int32_t cell,
             float width) {
  std::unique_ptr<TGraphicBase> halo = outline->Clone();
  halo->SetLineWidth(FixedFromFloat(width * 3.5f));
  halo->SetGridRow(0);
  halo->SetGridColumn(cell);
  halo->SetChannelMode(7);
  halo->SetRedColor(0x000050);
  halo->SetGreenColor(0x005000);
  halo->SetBlueColor(0x500000);
  halo->SetLineColor(0x402010);
  outline->SetLineWidth(FixedFromFloat(width));
  outline->SetGridRow(0);
  outline->SetGridColumn(cell);
  outline->SetChannelMode(8);
  outline->SetLineColor(0xF0D0B0);
  glow.Add(std::move(halo));
  tubes.Add(std::move(outline));
}

template <class TShape>
std::unique_ptr<TShape> shapeAt(std::span<const TFixedPoint> points, float x, float y) {
  auto shape = std::make_unique<TShape>(nullptr);
  shape->Outline().SetPoints(points);
  shape->SetPosition({x, y});
  shape->SetSelected(false);
  return shape;
}

void addNeonOutlines(TLayer& glow, TLayer& tubes) {
  addTube(glow, tubes, shapeAt<TPolyStar>(StarPoints(5, 200, 42), 60, 60), 0, 5);
  addTube(glow, tubes, shapeAt<TPolygon>(RegularPolygonPoints(6, 190), 320, 65), 1, 5);
  addTube(glow, tubes, shapeAt<TEllipse>(EllipseBezier(0, 0, 200 << 16, 190 << 16), 570, 65), 2, 5);
  const TFixedPoint box[] = {at(0, 0), at(220, 0), at(220, 150), at(0, 150), at(0, 0)};
  auto frame = shapeAt<TRectangle>(box, 830, 85);
  frame->SetAngle(8);
  frame->SetPivot({110, 75});
  addTube(glow, tubes, std::move(frame), 3, 5);
  addTube(glow, tubes, shapeAt<TArc>(ArcBezier({0, 0}, {160, 160}, 0.3, 4.2), 1090, 80), 4, 5);

  std::vector<TFixedPoint> wave;
  for (int x = 0; x <= 1160; x += 20) wave.push_back(at(x, 40 * std::sin(x / 70.0)));
  addTube(glow, tubes, shapeAt<TPolyLine>(wave, 60, 360), 5, 4);
  const TFixedPoint curve[] = {at(0, 60),   at(200, -60), at(380, 180), at(580, 60),
                               at(780, -60), at(960, 180), at(1160, 60)};
  addTube(glow, tubes, shapeAt<TPolyBezier>(curve, 60, 420), 6, 4);

  for (int i = 0; i < 9; ++i) {
    auto ray = std::make_unique<TLine>(nullptr);
    const double a = std::numbers::pi * (0.1 + 0.8 * i / 8.0);
    ray->SetEndpoints(at(640 + 60 * std::cos(a), 700 - 60 * std::sin(a)),
                      at(640 + 170 * std::cos(a), 700 - 170 * std::sin(a)));
    ray->SetSelected(false);
    addTube(glow, tubes, std::move(ray), 7 + i % 9, 3);
  }
}

// A marquee of chasing lamps around the show, an LED bar repeating the
// grid's cells and a searchlight swinging over the rays.
void addLamps(TLayer& lamps) {
  const TFixedPoint box[] = {at(0, 0), at(1240, 0), at(1240, 700), at(0, 700), at(0, 0)};
  auto marquee = shapeAt<TRectangle>(box, 20, 10);
  marquee->SetEffect(CreateEffect(kEffectLightStrip));
  auto& strip = dynamic_cast<TDengDaiState&>(marquee->Effect());
  strip.LampColor = 0x40C0FF;
  strip.LampSize = 10;
  strip.SpacingFactor = 2;
  strip.HoldFrames = 2;
  lamps.Add(std::move(marquee));

  auto bar = std::make_unique<TLEDGraphic>(nullptr);
  bar->CellRange = {0, 0, kNeonCells - 1, 0};
  bar->CellWidth = 14;
  bar->CellHeight = 14;
  bar->GapX = 4;
  bar->GapY = 4;
  bar->SetChannelMode(8);
  bar->ResetImage();
  bar->SetPosition({60, 640});
  bar->SetSelected(false);
  lamps.Add(std::move(bar));

  auto searchlight = std::make_unique<TLightGraphic>(nullptr);
  TBitmap32& beam = searchlight->Image();
  beam.Resize(220, 16);
  for (std::int32_t y = 0; y < beam.Height(); ++y) {
    for (std::int32_t x = 0; x < beam.Width(); ++x) {
      const double fade = 1.0 - static_cast<double>(x) / beam.Width();
      const double edge = 1.0 - std::abs(y - 7.5) / 8.0;
      beam.WritePixel(x, y, Color32(static_cast<std::uint8_t>(230 * fade * edge), 255, 250, 200));
    }
  }
  searchlight->SetSize({220, 16});
  searchlight->SetPosition({960, 620});
  searchlight->SetPivot({0, 8});
  searchlight->StartAngle = 20;
  searchlight->EndAngle = 160;
  searchlight->StepCount = 70;
  searchlight->StepHold = 1;
  searchlight->SetSelected(false);
  lamps.Add(std::move(searchlight));
}

// The tune: a phrase of eight notes a bar over a bass note, each note a
// sine with its first overtones, struck and fading.
constexpr std::int32_t kSampleRate = 22050;
constexpr double kTuneSeconds = kNeonFrames * 0.030;
constexpr double kMelody[] = {523.25, 659.25, 783.99, 1046.50, 783.99, 659.25, 587.33, 698.46,
                              880.00, 698.46, 587.33, 493.88, 523.25, 659.25, 783.99, 659.25};
constexpr double kBass[] = {130.81, 146.83, 164.81, 130.81};

double note(double frequency, double t, double decay) {
  const double w = 2.0 * std::numbers::pi * frequency * t;
  const double attack = std::min(1.0, t / 0.01);
  return attack * std::exp(-decay * t) * (std::sin(w) + 0.3 * std::sin(2 * w) + 0.1 * std::sin(3 * w));
}

double tuneSample(double t) {
  const double step = kTuneSeconds / 32.0;
  const auto index = static_cast<std::size_t>(t / step);
  const double inNote = t - static_cast<double>(index) * step;
  const auto bar = static_cast<std::size_t>(t / (kTuneSeconds / 4.0));
  const double inBar = t - static_cast<double>(bar) * (kTuneSeconds / 4.0);
  return 0.25 * note(kMelody[index % std::size(kMelody)], inNote, 6.0) + 0.2 * note(kBass[bar % 4], inBar, 1.5);
}

void appendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void appendText(std::vector<std::uint8_t>& out, const char* text) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(text[i]));
}

}  // namespace

std::vector<std::uint8_t> DemoTune() {
  const auto samples = static_cast<std::uint32_t>(std::lround(kTuneSeconds * kSampleRate));
  std::vector<std::uint8_t> wav;
  appendText(wav, "RIFF");
  appendU32(wav, 36 + 2 * samples);
  appendText(wav, "WAVE");
  appendText(wav, "fmt ");
  appendU32(wav, 16);
  appendU32(wav, 1 | 1 << 16);  // PCM, one channel
  appendU32(wav, kSampleRate);
  appendU32(wav, 2 * kSampleRate);
  appendU32(wav, 2 | 16 << 16);  // two bytes a sample, 16 bits
  appendText(wav, "data");
  appendU32(wav, 2 * samples);
  for (std::uint32_t i = 0; i < samples; ++i) {
    const double v = std::clamp(tuneSample(static_cast<double>(i) / kSampleRate), -1.0, 1.0);
    const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32000.0)));
    wav.push_back(static_cast<std::uint8_t>(s));
    wav.push_back(static_cast<std::uint8_t>(s >> 8));
  }
  return wav;
}

std::vector<std::uint8_t> DemoNeonMovie() {
  TMovieDocument movie;
  movie.File.Width = 1280;
  movie.File.Height = 720;
  TLayer& glow = movie.Root.AddLayer("");
  TLayer& tubes = movie.Root.AddLayer("");
  addNeonOutlines(glow, tubes);
  addLamps(movie.Root.AddLayer(""));
  movie.Grid.Add(GridAnimation(neonCell, 1, kNeonCells, kNeonFrames, kCellSize, kCellSize));
  const TMusicData tune{kDemoTuneName, DemoTune()};
  return movie.File.SaveLayered(&tune);
}

std::unique_ptr<TFrameDataLayer> DemoWavesGrid() { return GridAnimation(waves, kRows, kColumns, kFrames, kCellSize, kCellSize); }

std::unique_ptr<TFrameDataLayer> DemoRingsGrid() { return GridAnimation(rings, kRows, kColumns, kFrames, kCellSize, kCellSize); }

std::unique_ptr<TFrameDataLayer> GridAnimation(const TCellColour& colour, std::int32_t rows, std::int32_t columns,
                                               std::int32_t frames, std::int32_t cellWidth, std::int32_t cellHeight) {
  auto grid = std::make_unique<TFrameDataLayer>();
  grid->SetRows(rows);
  grid->SetColumns(columns);
  grid->CellWidth = cellWidth;
  grid->CellHeight = cellHeight;
  auto section = std::make_unique<TSection>();
  for (std::int32_t f = 0; f < frames; ++f) {
    auto frame = std::make_unique<TFrameData>(rows, columns);
    for (std::int32_t r = 0; r < rows; ++r) {
      for (std::int32_t c = 0; c < columns; ++c) frame->SetCell(r, c, colour(f, r, c));
    }
    section->Add(std::move(frame));
  }
  grid->Add(std::move(section));
  return grid;
}

}  // namespace lumora

// lumora-raster-demo: renders a small animated neon scene with the raster
// core into PNG frames, headless. Each outline is rasterised once; every
// later frame only repaints the frozen coverage in a new colour, the way the
// player recolours a show.
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "render/bezier.h"
#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/gr32_graphics.h"
#include "render/png_io.h"
#include "tools/command_line.h"

namespace {

using namespace lumora;

constexpr std::int32_t kWidth = 960;
constexpr std::int32_t kHeight = 540;

TColor32 hueColor(double hue, std::uint8_t alpha) {
  auto channel = [hue](double offset) {
    const double v = 0.5 + 0.5 * std::cos(2 * std::numbers::pi * (hue + offset));
    return static_cast<std::uint8_t>(std::lround(40 + 215 * v));
  };
  return Color32(alpha, channel(0), channel(2.0 / 3), channel(1.0 / 3));
}

TColor32 whitened(TColor32 c) {
  auto up = [](std::uint8_t v) { return static_cast<std::uint8_t>(v + (255 - v) * 3 / 5); };
  return Color32(AlphaComponent(c), up(RedComponent(c)), up(GreenComponent(c)), up(BlueComponent(c)));
}

// Masks paint opaque colours over fully covered pixels, so a glow is a
// darker shade rather than a translucent one.
TColor32 dimmed(TColor32 c, int percent) {
  auto down = [percent](std::uint8_t v) { return static_cast<std::uint8_t>(v * percent / 100); };
  return Color32(AlphaComponent(c), down(RedComponent(c)), down(GreenComponent(c)), down(BlueComponent(c)));
}

// One glowing tube: a wide dim glow, a halo and a bright core, each a
// coverage mask of its own.
class NeonTube {
 public:
  NeonTube(TArrayOfFixedPoint points, double hue) : fPoints(std::move(points)), fHue(hue) {
    const TFixed widths[] = {16 << 16, 8 << 16, 3 << 16};
    for (TFixed width : widths) {
      auto pass = std::make_unique<TGR32Graphics>();
      pass->Antialias = true;
      pass->PenWidth = width;
      fPasses.push_back(std::move(pass));
    }
  }

  void Draw(TBitmap32& frame, int frameIndex) {
    const TColor32 base = hueColor(fHue + frameIndex / 48.0, 255);
    const TColor32 colours[] = {dimmed(base, 22), dimmed(base, 60), whitened(base)};
    for (std::size_t i = 0; i < fPasses.size(); ++i) {
      TGR32Graphics& pass = *fPasses[i];
      pass.Bitmap = &frame;
      pass.PenColor = colours[i];
      pass.DrawPolylineWide(fPoints);
      // From now on only the colour changes.
      pass.ReuseMask = true;
    }
  }

 private:
  TArrayOfFixedPoint fPoints;
  double fHue;
  std::vector<std::unique_ptr<TGR32Graphics>> fPasses;
};

TArrayOfFixedPoint placed(TArrayOfFixedPoint points, std::int32_t x, std::int32_t y) {
  OffsetPoints(points, FixedFromInt(x), FixedFromInt(y));
  return points;
}

TArrayOfFixedPoint ellipseOutline(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  const TArrayOfFixedPoint controls =
      EllipseBezier(FixedFromInt(l), FixedFromInt(t), FixedFromInt(r), FixedFromInt(b));
  TArrayOfFixedPoint line = FlattenBezier(controls, FixedFromInt(1));
  line.back() = line.front();
  return line;
}

TArrayOfFixedPoint wave(std::int32_t left, std::int32_t right, std::int32_t y) {
  TArrayOfFixedPoint points;
  for (std::int32_t x = left; x <= right; x += 6) {
    points.push_back(FixedPoint(static_cast<float>(x), static_cast<float>(y + 30 * std::sin(x / 40.0))));
  }
  return points;
}

std::vector<NeonTube> buildScene() {
  std::vector<NeonTube> tubes;
  tubes.emplace_back(placed(StarPoints(5, 260, 45), 60, 60), 0.0);
  tubes.emplace_back(placed(RegularPolygonPoints(6, 220), 380, 80), 0.33);
  tubes.emplace_back(ellipseOutline(660, 70, 900, 310), 0.66);
  tubes.emplace_back(wave(60, 900, 420), 0.15);
  return tubes;
}

// A strip of lamps chasing along the bottom: every third lamp lit.
void drawLampStrip(TBitmap32& frame, int frameIndex) {
  for (int i = 0; i < 40; ++i) {
    const bool lit = (i + frameIndex) % 3 == 0;
    const TColor32 colour = lit ? 0xFFFFD040 : 0xFF302008;
    TGR32Graphics::DrawDot(frame, FixedPoint(static_cast<float>(60 + i * 21.5), 500.0f), 7 << 16, colour);
  }
}

int run(const std::filesystem::path& folder, int frames) {
  std::filesystem::create_directories(folder);
  TBitmap32 frame;
  frame.Resize(kWidth, kHeight);
  std::vector<NeonTube> tubes = buildScene();
  for (int n = 0; n < frames; ++n) {
    frame.Clear();
    for (NeonTube& tube : tubes) tube.Draw(frame, n);
    drawLampStrip(frame, n);
    char name[32];
    std::snprintf(name, sizeof name, "frame-%03d.png", n);
    SavePng(frame, (folder / name).string());
  }
  std::printf("wrote %d frames of %dx%d to %s\n", frames, kWidth, kHeight, folder.string().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Renders a small animated neon scene with the raster core alone into PNG frames.",
               "lumora-raster-demo");
  lumora::SetUpTool(app);
  std::string folder = "out/demo";
  int frames = 24;
  app.add_option("FOLDER", folder, "where the frames are written (out/demo)");
  app.add_option("FRAMES", frames, "how many frames (24)")->check(CLI::Range(1, 10000));
  return lumora::RunTool(app, argc, argv, [&] { return run(folder, frames); });
}

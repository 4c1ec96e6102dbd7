// Golden images of every outline class: a movie made by our writer in the
// current and the legacy encoding, loaded and played through the player's
// window logic exactly as lumora-render does, each frame compared pixel by
// pixel with a reference PNG that a person looked at.
// LUMORA_UPDATE_GOLDEN=1 writes the references instead of comparing; a
// failing frame is written beside the test's output for a person to look at.
// Graphics without a cell, and graphics whose cell gives black, show their
// own colours. The legacy encoding keeps 4 bits per cell channel and whole
// pixel line widths, so its references differ slightly from the current ones.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "render/png_io.h"
#include "scene/closed_shapes.h"
#include "scene/lines_and_paths.h"
#include "show/headless_show.h"
#include "support/shape_streams.h"
#include "support/show_fixtures.h"
#include "tools/demo_show.h"

namespace lumora {
namespace {

using test::px;

// The grid has four frames; the frame bar, and so playback, shows the
// first three before it wraps to frame 0.
constexpr std::int32_t kFrames = 4;
constexpr std::int32_t kShownFrames = 3;
constexpr std::int32_t kRows = 2;
constexpr std::int32_t kColumns = 3;

// Cell (r, c) of frame f. Cell (1, 2) is black in frame 1, so that its
// graphic falls back to its own colour there.
TWinColor cellColour(std::int32_t f, std::int32_t r, std::int32_t c) {
  static const TWinColor kCycle[] = {0x2040E0, 0x40E020, 0xE02040, 0x808080, 0xF0F0F0, 0x00C0FF};
  if (r == 1 && c == 2 && f == 1) return 0x000000;
  return kCycle[(f + r * kColumns + c) % 6];
}

void addGrid(TFrameDataLayers& layers) {
  layers.Add(GridAnimation(cellColour, kRows, kColumns, kFrames, 4, 4));
}

// Binds the graphic to a cell through the channel mode; row -1 leaves it
// unbound, drawn in its own colours.
template <class TShape>
TShape& place(TLayer& layer, std::unique_ptr<TShape> shape, TFloatPoint at, std::int32_t row, std::int32_t column,
              std::uint8_t mode) {
  shape->SetPosition(at);
  shape->SetLineColor(0x20C0FF);
  shape->SetFillColor(0xFF8040);
  shape->SetGridRow(row);
  shape->SetGridColumn(column);
  shape->SetChannelMode(mode);
  TShape& placed = *shape;
  layer.Add(std::move(shape));
  return placed;
}

template <class TShape>
std::unique_ptr<TShape> outlined(std::span<const TFixedPoint> points) {
  auto shape = std::make_unique<TShape>(nullptr);
  shape->Outline().SetPoints(points);
  return shape;
}

void closedShapes(TLayer& layer) {
  const TFixedPoint box[] = {px(0, 0), px(20, 0), px(20, 12), px(0, 12), px(0, 0)};
  place(layer, outlined<TRectangle>(box), {4, 4}, 0, 0, 8).SetFilled(true);
  auto& turned = place(layer, outlined<TRectangle>(box), {30, 6}, 0, 1, 1);
  turned.SetLineWidth(kFixedOne);
  turned.SetRedColor(0x00FFFF);
  turned.SetPivot({10, 6});
  turned.SetAngle(20);
  turned.SetScale({1.25f, 1});

  const TArrayOfFixedPoint oval = EllipseBezier(0, 0, px(16, 0).X, px(0, 12).Y);
  place(layer, outlined<TEllipse>(oval), {60, 4}, 0, 2, 2).SetFilled(true);
  place(layer, outlined<TEllipse>(oval), {82, 4}, -1, -1, 7).SetLineWidth(5 * kFixedOne / 2);

  const TArrayOfFixedPoint bow = ArcBezier({0, 0}, {16, 16}, 0, 4);
  auto& arc = place(layer, outlined<TArc>(bow), {4, 24}, 1, 0, 4);
  arc.SetLineWidth(3 * kFixedOne);
  arc.SetBlueColor(0xFF00FF);
  auto& pie = place(layer, outlined<TArc>(bow), {26, 24}, 1, 1, 7);
  pie.SetFilled(true);
  pie.SetScale({0.75f, 1.25f});

  auto& hexagon = place(layer, outlined<TPolygon>(RegularPolygonPoints(6, 16)), {48, 24}, 1, 2, 3);
  hexagon.SetFilled(true);
  hexagon.SetPivot({8, 8});
  hexagon.SetAngle(10);
  place(layer, outlined<TPolygon>(RegularPolygonPoints(5, 16)), {70, 24}, -1, -1, 7)
      .SetLineWidth(3 * kFixedOne / 2);

  auto& star = place(layer, outlined<TPolyStar>(StarPoints(5, 18, 40)), {4, 44}, 0, 0, 5);
  star.SetFilled(true);
  star.SetPivot({9, 9});
  star.SetAngle(15);
  auto& tall = place(layer, outlined<TPolyStar>(StarPoints(6, 16, 50)), {26, 44}, 0, 1, 6);
  tall.SetLineWidth(2 * kFixedOne);
  tall.SetScale({1, 1.3f});
}

void linesAndPaths(TLayer& layer) {
  // A line keeps the position its end points give it.
  auto thin = std::make_unique<TLine>(nullptr);
  thin->SetEndpoints(px(48, 46), px(66, 62));
  const TFloatPoint thinAt = thin->Position();
  place(layer, std::move(thin), thinAt, 0, 2, 8).SetLineWidth(kFixedOne);
  auto wide = std::make_unique<TLine>(nullptr);
  wide->SetEndpoints(px(70, 62), px(92, 48));
  const TFloatPoint wideAt = wide->Position();
  place(layer, std::move(wide), wideAt, -1, -1, 7).SetLineWidth(4 * kFixedOne);

  const TFixedPoint zigzag[] = {px(0, 0), px(6, 10), px(12, 0), px(18, 10), px(24, 0)};
  place(layer, outlined<TPolyLine>(zigzag), {4, 70}, 1, 0, 7).SetLineWidth(2 * kFixedOne);
  auto& turned = place(layer, outlined<TPolyLine>(zigzag), {32, 68}, -1, -1, 7);
  turned.SetLineWidth(kFixedOne);
  turned.SetPivot({12, 5});
  turned.SetAngle(30);

  const TFixedPoint curve[] = {px(0, 10), px(8, -6), px(14, 26), px(22, 10)};
  place(layer, outlined<TPolyBezier>(curve), {54, 66}, 1, 1, 8).SetFilled(true);
  place(layer, outlined<TPolyBezier>(curve), {78, 66}, 1, 2, 1).SetLineWidth(5 * kFixedOne / 2);
}

// The movie of every shape class, in the current or the legacy encoding.
std::vector<std::uint8_t> shapesMovie(bool legacy) {
  TMovieDocument source;
  source.File.Width = 160;
  source.File.Height = 120;
  closedShapes(source.Root.AddLayer(""));
  linesAndPaths(source.Root.AddLayer(""));
  addGrid(source.Grid);
  return legacy ? source.File.SaveGridProgram(true) : source.File.SaveLayered(nullptr);
}

// What lumora-render writes: the frame's colours, alpha ignored.
void shown(const TBitmap32& frame, TBitmap32& image) {
  image.Assign(frame);
  image.SetAlphaAll(255);
}

// The first differing pixel as "x,y: actual vs expected", empty if none.
std::string firstDifference(const TBitmap32& actual, const TBitmap32& expected) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
    return "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height()) + " vs " +
           std::to_string(expected.Width()) + "x" + std::to_string(expected.Height());
  }
  for (std::int32_t y = 0; y < actual.Height(); ++y) {
    for (std::int32_t x = 0; x < actual.Width(); ++x) {
      if (actual.ReadPixel(x, y) != expected.ReadPixel(x, y)) {
        char text[64];
        std::snprintf(text, sizeof text, "%d,%d: %08X vs %08X", x, y, actual.ReadPixel(x, y),
                      expected.ReadPixel(x, y));
        return text;
      }
    }
  }
  return {};
}

std::string goldenPath(const std::string& name) {
  return (std::filesystem::path(LUMORA_GOLDEN_DIR) / (name + ".png")).string();
}

// Compares the image with its reference, or writes the reference when
// LUMORA_UPDATE_GOLDEN is set; a mismatch leaves the image for a person.
void checkGolden(const TBitmap32& image, const std::string& name, const std::string& what) {
  if (std::getenv("LUMORA_UPDATE_GOLDEN") != nullptr) {
    SavePng(image, goldenPath(name));
    return;
  }
  TBitmap32 expected;
  LoadPng(goldenPath(name), expected);
  const std::string difference = firstDifference(image, expected);
  if (difference.empty()) return;
  std::filesystem::create_directories(LUMORA_GOLDEN_OUT);
  const std::string actual = (std::filesystem::path(LUMORA_GOLDEN_OUT) / (name + "_actual.png")).string();
  SavePng(image, actual);
  ADD_FAILURE() << what << " differs from " << goldenPath(name) << " at " << difference << "; written to " << actual;
}

// Plays the movie as lumora-render does: the player's load, frames 0 to 2
// drawn in order into one bitmap, then frame 0 again as playback wraps.
void checkPlayback(const std::string& file, const std::string& name) {
  THeadlessShow show(1000, 700, file);
  TShowEngine& engine = show.Engine;
  engine.LoadMovie(file);
  ASSERT_TRUE(show.Host.Messages.empty()) << name << ": " << show.Host.Messages.front();
  ASSERT_EQ(engine.LastLoadError(), "") << name;
  ASSERT_TRUE(engine.VectorMode()) << name;
  ASSERT_EQ(engine.Frames().Max - 1, kShownFrames - 1) << name;
  TBitmap32 image;
  for (std::int32_t n = 0; n < kShownFrames; ++n) {
    engine.DrawFrame(n);
    shown(engine.FrameBitmap(), image);
    checkGolden(image, name + "_" + std::to_string(n), name + " frame " + std::to_string(n));
  }
  engine.DrawFrame(0);
  shown(engine.FrameBitmap(), image);
  checkGolden(image, name + "_0", name + " frame 0 after the wrap");
}

// The renderer program itself writes the same images.
void checkProgram(const test::TPlayerDir& dir, const std::string& file, const std::string& name) {
  const std::string pattern = dir.Path(name + "-%d.png");
  const std::string command = std::string(LUMORA_RENDER_PROGRAM) + " " + file + " --frames 0-" +
                              std::to_string(kShownFrames - 1) + " --out " + pattern;
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  if (std::getenv("LUMORA_UPDATE_GOLDEN") != nullptr) return;
  for (std::int32_t n = 0; n < kShownFrames; ++n) {
    TBitmap32 image;
    LoadPng(dir.Path(name + "-" + std::to_string(n) + ".png"), image);
    TBitmap32 expected;
    LoadPng(goldenPath(name + "_" + std::to_string(n)), expected);
    EXPECT_EQ(firstDifference(image, expected), "") << "lumora-render, " << name << " frame " << n;
  }
}

TEST(ShapesGolden, CurrentEncodingPlaysEveryClass) {
  test::TPlayerDir dir("golden_current");
  const std::string file = dir.Write("shapes.ctl", shapesMovie(false));
  checkPlayback(file, "shapes");
  checkProgram(dir, file, "shapes");
}

TEST(ShapesGolden, LegacyEncodingPlaysEveryClass) {
  test::TPlayerDir dir("golden_legacy");
  const std::string file = dir.Write("shapes3.ctl", shapesMovie(true));
  checkPlayback(file, "shapes_legacy");
  checkProgram(dir, file, "shapes_legacy");
}

}  // namespace
}  // namespace lumora

#include <gtest/gtest.h>

#include <fstream>

#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "fuzz/hostile_files.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "render/png_io.h"
#include "scene/control_layer.h"
#include "scene/lines_and_paths.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

using test::tolBytes;

// Runs the renderer with the arguments; answers its exit status and what
// it wrote to stderr.
std::pair<int, std::string> render(const test::TPlayerDir& dir, const std::string& args) {
  const test::TProgramRun run = test::RunProgram(std::string(LUMORA_RENDER_PROGRAM) + " " + args, dir.Path("run"));
  return {run.Status, run.Errors};
}

TEST(LumoraRender, GridMovieFramesAsThePlayerDrawsThem) {
  test::TPlayerDir dir("render");
  const auto colour = [](std::int32_t f, std::int32_t r, std::int32_t c) {
    return TWinColor{0x000002 * (10 + f) + 0x000200 * (r + 1) + 0x020000 * (c + 1)};
  };
  // 2 × 2 cells of 99 × 9 in a 100 × 100 window: w = 199 > 80, s = 80 / 199,
  // cells of round(39.8) = 40 by round(3.6) = 4.
  const std::string show = dir.Write("cells.tol", tolBytes(2, 2, 99, 9, 4, colour));
  const auto [status, errors] =
      render(dir, show + " --frame 2 --window 100x100 --out " + dir.Path("one.png"));
  ASSERT_EQ(status, 0) << errors;
  TBitmap32 image;
  LoadPng(dir.Path("one.png"), image);
  ASSERT_EQ(image.Width(), 82);
  ASSERT_EQ(image.Height(), 10);
  EXPECT_EQ(image.ReadPixel(0, 0), 0xFF180202u) << "frame 2, cell (0, 0)";
  EXPECT_EQ(image.ReadPixel(39, 3), 0xFF180202u);
  EXPECT_EQ(image.ReadPixel(41, 5), 0xFF180404u) << "cell (1, 1)";
  EXPECT_EQ(image.ReadPixel(40, 0) >> 24, 0xFFu) << "the gap is written opaque";

  const auto [rangeStatus, rangeErrors] =
      render(dir, show + " --frames 0-2 --time --window 100x100 --out " + dir.Path("f-%03d.png"));
  ASSERT_EQ(rangeStatus, 0) << rangeErrors;
  EXPECT_NE(rangeErrors.find("per frame"), std::string::npos) << "--time reports";
  for (int n = 0; n <= 2; ++n) {
    LoadPng(dir.Path("f-00" + std::to_string(n) + ".png"), image);
    EXPECT_EQ(image.ReadPixel(0, 0), 0xFF000000u | (20u + 2 * n) << 16 | 0x0202u) << "frame " << n;
  }
}

TEST(LumoraRender, FailuresGiveOneLineAndAStatus) {
  test::TPlayerDir dir("render_bad");
  const std::string show = dir.Write("cells.tol", tolBytes(1, 1, 4, 4, 3));
  EXPECT_EQ(render(dir, show + " --frame 1").first, 2) << "nothing to write without --out";
  EXPECT_EQ(render(dir, show + " --frame 1 --time").first, 0) << "timing alone writes nothing";
  EXPECT_NE(render(dir, show + " --frame 2 --time").first, 0) << "the bar of 3 frames shows frames 0 and 1";
  EXPECT_NE(render(dir, dir.Path("missing.ctl") + " --frame 0 --time").first, 0);
  const auto [status, errors] = render(dir, dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7}) + " --frame 0 --time");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(errors, "lumora-render: " + dir.Path("bad.ctl") + ": not a movie file: it does not start with a movie's mark\n")
      << "English, in the words lumora-info uses";
  EXPECT_NE(render(dir, dir.Write("empty.tol", tolBytes(1, 1, 4, 4, 0)) + " --frame 0 --time").first, 0);
  EXPECT_NE(render(dir, show + " --frames 0-1 --out " + dir.Path("x%s.png")).first, 0) << "bad pattern";
  EXPECT_NE(render(dir, show).first, 0) << "no frame given";
  const auto [textStatus, textErrors] = render(dir, dir.WriteText("notes.txt", "hello") + " --frame 0 --time");
  EXPECT_EQ(textErrors, "lumora-render: " + dir.Path("notes.txt") +
                            ": not a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable carrying "
                            "a movie\n");
}

// Frames have no sound: the music a movie carries is not written out, and
// the private directory it would go to is not even made.
TEST(LumoraRender, MusicIsNotExtracted) {
  test::TPlayerDir dir("render_music");
  const std::string show = dir.Write("show.ctl", fuzz::musicMovie("song.mp3", 1000));
  ASSERT_EQ(render(dir, show + " --frame 0 --time").first, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.Private("")));
}

// A light strip along a line above a swinging light, and a grid of five
// frames that only gives the movie its length (the bar shows four).
std::vector<std::uint8_t> lampMovie() {
  TMovieDocument source;
  source.File.Width = 200;
  source.File.Height = 100;
  TLayer& layer = source.Root.AddLayer("");
  auto strip = std::make_unique<TLine>(nullptr);
  strip->SetEndpoints({10 * kFixedOne, 20 * kFixedOne}, {190 * kFixedOne, 20 * kFixedOne});
  strip->SetEffect(CreateEffect(kEffectLightStrip));
  auto& lamps = dynamic_cast<TDengDaiState&>(strip->Effect());
  lamps.LampSize = 8;
  lamps.SpacingFactor = 2;
  lamps.HoldFrames = 0;
  layer.Add(std::move(strip));
  auto light = std::make_unique<TLightGraphic>(nullptr);
  light->Image().Resize(40, 6);
  light->Image().Clear(0xFFFFFF80);
  light->SetSize({40, 6});
  light->SetPosition({100, 70});
  light->SetPivot({0, 3});
  light->StartAngle = 0;
  light->EndAngle = 90;
  light->StepCount = 6;
  light->StepHold = 0;
  layer.Add(std::move(light));
  auto cells = std::make_unique<TFrameDataLayer>();
  auto section = std::make_unique<TSection>();
  for (int i = 0; i < 5; ++i) section->Add(std::make_unique<TFrameData>(1, 1));
  cells->Add(std::move(section));
  source.Grid.Add(std::move(cells));
  return source.File.SaveLayered(nullptr);
}

// Whether two frames differ inside the rows top … bottom − 1.
bool rowsDiffer(const TBitmap32& a, const TBitmap32& b, std::int32_t top, std::int32_t bottom) {
  for (std::int32_t y = top; y < bottom; ++y) {
    for (std::int32_t x = 0; x < a.Width(); ++x) {
      if (a.ReadPixel(x, y) != b.ReadPixel(x, y)) return true;
    }
  }
  return false;
}

TEST(LumoraRender, ChaseAndSwingAdvanceFrameByFrame) {
  test::TPlayerDir dir("render_lamps");
  const std::string show = dir.Write("lamps.ctl", lampMovie());
  const auto [status, errors] = render(dir, show + " --frames 0-3 --out " + dir.Path("lamps-%d.png"));
  ASSERT_EQ(status, 0) << errors;
  std::vector<TBitmap32> frames(4);
  for (int n = 0; n < 4; ++n) LoadPng(dir.Path("lamps-" + std::to_string(n) + ".png"), frames[n]);
  ASSERT_EQ(frames[0].Width(), frames[3].Width());
  // The drawing is fitted with a margin of 10: the strip's lamps lie in the
  // upper rows, the light swings below them.
  const std::int32_t split = frames[0].Height() / 3;
  for (int n = 1; n < 4; ++n) {
    EXPECT_TRUE(rowsDiffer(frames[n - 1], frames[n], 0, split)) << "the chase moves at frame " << n;
    EXPECT_TRUE(rowsDiffer(frames[n - 1], frames[n], split, frames[n].Height())) << "the light swings at frame " << n;
  }
}

}  // namespace
}  // namespace lumora

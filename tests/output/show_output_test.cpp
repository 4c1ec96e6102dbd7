// The show engine's frames through the light outputs: the lamps a movie
// offers, and a show written as a light sequence read back by the tests'
// own reader.
#include "output/show_output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "output/channel_patch.h"
#include "output/fseq_reader.h"
#include "output/show_sequence.h"
#include "show/headless_show.h"
#include "support/show_fixtures.h"
#include "tools/demo_show.h"

namespace lumora::output {
namespace {

TEST(ShowOutput, EveryLampOfTheDemoMovieHasACentreOnTheFrame) {
  test::TPlayerDir dir("lamps");
  THeadlessShow show(1920, 1080);
  show.Engine.LoadMovie(dir.Write("neon.ctl", DemoNeonMovie()));
  show.Engine.DrawFrame(5);
  const TMovieShape shape = MovieShapeOf(show.Engine);
  std::map<std::string, std::int32_t> lamps;
  TShowFrameView view(show.Engine);
  const TBitmap32& frame = show.Engine.FrameBitmap();
  for (const TLampGraphicShape& g : shape.LampGraphics) {
    lamps[g.ClassName] += g.LampCount;
    TPoints centres;
    view.LampCentres(g.Layer, g.Graphic, centres);
    ASSERT_EQ(centres.size(), static_cast<std::size_t>(g.LampCount)) << g.ClassName;
    for (const TPoint& p : centres) EXPECT_TRUE(PtInRect(frame.BoundsRect(), p)) << g.ClassName;
  }
  EXPECT_EQ(lamps["TLightGraphic"], 1) << "a swinging light is one lamp";
  EXPECT_GT(lamps["TLEDGraphic"], 1) << "an LED matrix, one lamp a cell";
  EXPECT_GT(lamps["TRectangle"], 20) << "the marquee's light strip";
  EXPECT_EQ(shape.Width, 1280);
}

// Cell (r, c) of frame f: red 2f, green 2r + 2, blue 2c + 2 (grid cells keep
// even channels).
TWinColor cell(std::int32_t f, std::int32_t r, std::int32_t c) { return 2 * f | (2 * r + 2) << 8 | (2 * c + 2) << 16; }

TEST(ShowOutput, ASequenceHoldsTheCellsOfEveryFrameShown) {
  test::TPlayerDir dir("sequence");
  const std::string movie = dir.Write("cells.tol", GridAnimation(cell, 2, 3, 5, 4, 4)->SaveToTol());
  const std::string patch = dir.WriteText("grid.json", R"({"fixtures": [{"source": "grid", "layer": 0,
      "rows": [0, 1], "columns": [0, 2], "colours": "GRB", "start": 1}],
      "outputs": [{"protocol": "sacn", "channels": [1, 18], "universe": 1, "host": "127.0.0.1"}]})");
  TShowPassOptions options;
  options.Loops = 2;
  TShowPass pass(movie, options);
  const std::string out = dir.Path("cells.fseq");
  WriteShowSequence(pass, patch, out);
  const TSequence s = readSequence(out);
  EXPECT_EQ(s.Frames, 7u) << "frames 0-3, then 1-3";
  EXPECT_EQ(s.Step, 30u);
  ASSERT_EQ(s.Channels, 18u);
  ASSERT_EQ(s.FrameData.size(), 7u);
  const std::int32_t shown[] = {0, 1, 2, 3, 1, 2, 3};
  for (std::size_t k = 0; k < 7; ++k) {
    // Cell (1, 2), row by row the sixth: green, red, blue.
    EXPECT_EQ(s.FrameData[k][15], 4) << k;
    EXPECT_EQ(s.FrameData[k][16], 2 * shown[k]) << k;
    EXPECT_EQ(s.FrameData[k][17], 6) << k;
  }

  const std::string wrong = dir.WriteText("wrong.json", R"({"fixtures": [{"source": "grid", "layer": 3,
      "rows": [0, 0], "columns": [0, 0], "start": 1}],
      "outputs": [{"protocol": "sacn", "channels": [1, 3], "universe": 1, "host": "127.0.0.1"}]})");
  EXPECT_THROW(WriteShowSequence(pass, wrong, dir.Path("wrong.fseq")), EPatchError);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("wrong.fseq")));
}

}  // namespace
}  // namespace lumora::output

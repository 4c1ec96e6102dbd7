#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/player_fakes.h"
#include "render/png_io.h"

namespace lumora {
namespace {

using test::tolBytes;

// Runs the renderer with the arguments; answers its exit status and what
// it wrote to stderr.
std::pair<int, std::string> render(const test::TPlayerDir& dir, const std::string& args) {
  const std::string errors = dir.Path("stderr.txt");
  const int status = std::system((std::string(LUMORA_RENDER_PROGRAM) + " " + args + " 2>" + errors).c_str());
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
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
  EXPECT_EQ(render(dir, show + " --frame 1").first, 0) << "nothing written without --out";
  EXPECT_NE(render(dir, show + " --frame 2").first, 0) << "the bar of 3 frames shows frames 0 and 1";
  EXPECT_NE(render(dir, dir.Path("missing.ctl") + " --frame 0").first, 0);
  const auto [status, errors] = render(dir, dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7}) + " --frame 0");
  EXPECT_NE(status, 0);
  EXPECT_NE(errors.find("文件格式错误"), std::string::npos) << errors;
  EXPECT_NE(render(dir, dir.Write("empty.tol", tolBytes(1, 1, 4, 4, 0)) + " --frame 0").first, 0);
  EXPECT_NE(render(dir, show + " --frames 0-1 --out " + dir.Path("x%s.png")).first, 0) << "bad pattern";
  EXPECT_NE(render(dir, show).first, 0) << "no frame given";
}

}  // namespace
}  // namespace lumora

// FitIntoBox: where a frame of one size goes in the output picture.
#include "export/frame_fitter_p.h"

#include <vector>

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(FrameFitter, FramesFitTheBoxWithTheirAspectKeptAndCentred) {
  struct TCase {
    std::int32_t Width, Height, BoxWidth, BoxHeight;
    TRect Place;
  };
  const std::vector<TCase> cases = {
      {1280, 720, 1280, 720, {0, 0, 1280, 720}},
      {640, 360, 1280, 720, {0, 0, 1280, 720}},
      {160, 80, 96, 96, {0, 24, 96, 72}},
      {40, 60, 80, 60, {20, 0, 60, 60}},
      {40, 60, 121, 31, {50, 0, 71, 31}},
      {1920, 1080, 1280, 1024, {0, 152, 1280, 872}},
      // Extreme shapes keep at least a pixel each way.
      {16384, 1, 100, 100, {0, 49, 100, 50}},
      {1, 16384, 640, 480, {319, 0, 320, 480}},
      {1, 1, 16384, 16384, {0, 0, 16384, 16384}},
  };
  for (const TCase& c : cases) {
    const TRect place = FitIntoBox(c.Width, c.Height, c.BoxWidth, c.BoxHeight);
    EXPECT_EQ(place, c.Place) << c.Width << "x" << c.Height << " in " << c.BoxWidth << "x" << c.BoxHeight << ": "
                              << place.Left << "," << place.Top << "," << place.Right << "," << place.Bottom;
  }
}

}  // namespace
}  // namespace lumora

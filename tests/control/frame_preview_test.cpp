#include "control/frame_preview.h"

#include <gtest/gtest.h>

#include "render/png_io.h"

namespace lumora::control {
namespace {

struct TPreviewClock {
  std::chrono::steady_clock::time_point Now{std::chrono::seconds(100)};
  TFramePreview::TClock Clock() {
    return [this] { return Now; };
  }
};

void drawTo(TFramePreview& preview, const TBitmap32& bitmap) {
  const TFrameDataLayers layers;
  preview.FrameDrawn({0, bitmap, nullptr, layers, {}});
}

TEST(FramePreview, ASmallFrameOfTheMeanOfEachBlock) {
  TPreviewClock time;
  TFramePreview preview(time.Clock());
  EXPECT_FALSE(preview.Png()) << "nothing before the first frame";
  TBitmap32 frame;
  frame.Resize(1280, 720);
  frame.Clear(0xFF000000);
  frame.FillRectClipped(0, 0, 640, 720, 0xFFFF8000);
  drawTo(preview, frame);
  const auto png = preview.Png();
  ASSERT_TRUE(png);
  TBitmap32 small;
  DecodePng(*png, small);
  EXPECT_EQ(small.Width(), 320);
  EXPECT_EQ(small.Height(), 180);
  EXPECT_EQ(small.ReadPixel(10, 10), 0xFFFF8000u);
  EXPECT_EQ(small.ReadPixel(300, 170), 0xFF000000u);
}

TEST(FramePreview, MadeTenTimesASecondWhileWatchedAndOnceASecondOtherwise) {
  TPreviewClock time;
  TFramePreview preview(time.Clock());
  TBitmap32 frame;
  frame.Resize(64, 36);
  const auto frameOf = [&](TColor32 colour) {
    frame.Clear(colour);
    drawTo(preview, frame);
  };
  const auto shown = [&] {
    TBitmap32 small;
    DecodePng(*preview.Png(), small);
    return small.ReadPixel(0, 0);
  };
  frameOf(0xFF0000FF);
  EXPECT_EQ(shown(), 0xFF0000FFu) << "the first frame is always kept";
  time.Now += std::chrono::milliseconds(50);
  frameOf(0xFF00FF00);
  EXPECT_EQ(shown(), 0xFF0000FFu) << "not yet 100 ms later";
  time.Now += std::chrono::milliseconds(60);
  frameOf(0xFF00FF00);
  EXPECT_EQ(shown(), 0xFF00FF00u);
  time.Now += std::chrono::seconds(3);
  frameOf(0xFFFF0000);
  EXPECT_EQ(shown(), 0xFFFF0000u);
  time.Now += std::chrono::seconds(3);
  frameOf(0xFFFFFFFF);
  time.Now += std::chrono::milliseconds(500);
  frameOf(0xFF000000);
  EXPECT_EQ(shown(), 0xFFFFFFFFu) << "unwatched, a second apart";
}

}  // namespace
}  // namespace lumora::control

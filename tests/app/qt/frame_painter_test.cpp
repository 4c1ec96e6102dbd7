#include "app/qt/frame_painter.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(FramePainter, CopiesOneToOneIgnoringAlpha) {
  TBitmap32 frame;
  frame.Resize(3, 2);
  frame.Clear(0x00102030);  // fully transparent, yet shown opaque
  frame.WritePixel(2, 1, 0x80FF0000);

  QImage window(6, 5, QImage::Format_RGB32);
  window.fill(0xFF0000FFu);
  QPainter painter(&window);
  CopyToDevice(frame, painter, 2, 1);
  painter.end();

  EXPECT_EQ(window.pixel(1, 1), 0xFF0000FFu) << "left of the frame untouched";
  EXPECT_EQ(window.pixel(2, 1), 0xFF102030u);
  EXPECT_EQ(window.pixel(4, 2), 0xFFFF0000u);
  EXPECT_EQ(window.pixel(5, 2), 0xFF0000FFu) << "right of the frame untouched";
  EXPECT_EQ(window.pixel(2, 3), 0xFF0000FFu) << "below the frame untouched";
}

TEST(FramePainter, RefillingKeepsThePixelsWhileTheSizeStays) {
  TBitmap32 frame;
  frame.Resize(4, 3);
  frame.Clear(0x00112233);
  QImage image;
  FillFrameImage(frame, image);
  const uchar* pixels = image.constBits();
  frame.WritePixel(3, 2, 0x7F445566);
  FillFrameImage(frame, image);
  EXPECT_EQ(image.constBits(), pixels) << "no new image for a frame of the same size";
  EXPECT_EQ(image.pixel(3, 2), 0xFF445566u);
  EXPECT_EQ(image.pixel(0, 0), 0xFF112233u);
  frame.Resize(5, 3);
  FillFrameImage(frame, image);
  EXPECT_EQ(image.size(), QSize(5, 3));
  frame.Resize(0, 0);
  FillFrameImage(frame, image);
  EXPECT_TRUE(image.isNull());
}

TEST(FramePainter, EmptyFrameCopiesNothing) {
  TBitmap32 frame;
  QImage window(2, 2, QImage::Format_RGB32);
  window.fill(0xFF00FF00u);
  QPainter painter(&window);
  CopyToDevice(frame, painter, 0, 0);
  painter.end();
  EXPECT_EQ(window.pixel(0, 0), 0xFF00FF00u);
  EXPECT_TRUE(FrameImage(frame).isNull());
}

}  // namespace
}  // namespace lumora

#include "app/qt/frame_painter.h"

#include <QPainter>

namespace lumora {

QImage FrameImage(const TBitmap32& frame) {
  QImage image;
  FillFrameImage(frame, image);
  return image;
}

void FillFrameImage(const TBitmap32& frame, QImage& image) {
  if (frame.IsEmpty()) {
    image = QImage();
    return;
  }
  if (image.width() != frame.Width() || image.height() != frame.Height() || image.format() != QImage::Format_RGB32) {
    image = QImage(frame.Width(), frame.Height(), QImage::Format_RGB32);
  }
  for (int y = 0; y < frame.Height(); ++y) {
    const TColor32* source = frame.PixelAddress(0, y);
    auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < frame.Width(); ++x) target[x] = source[x] | 0xFF000000u;
  }
}

void CopyToDevice(const TBitmap32& frame, QPainter& painter, int x, int y) {
  if (frame.IsEmpty()) return;
  const QPainter::CompositionMode previous = painter.compositionMode();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(x, y, FrameImage(frame));
  painter.setCompositionMode(previous);
}

}  // namespace lumora

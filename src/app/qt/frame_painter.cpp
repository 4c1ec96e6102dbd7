#include "app/qt/frame_painter.h"

#include <QPainter>

namespace lumora {

QImage FrameImage(const TBitmap32& frame) {
  if (frame.IsEmpty()) return {};
  QImage image(frame.Width(), frame.Height(), QImage::Format_RGB32);
  for (int y = 0; y < frame.Height(); ++y) {
    const TColor32* source = frame.PixelAddress(0, y);
    auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < frame.Width(); ++x) target[x] = source[x] | 0xFF000000u;
  }
  return image;
}

void CopyToDevice(const TBitmap32& frame, QPainter& painter, int x, int y) {
  if (frame.IsEmpty()) return;
  const QPainter::CompositionMode previous = painter.compositionMode();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(x, y, FrameImage(frame));
  painter.setCompositionMode(previous);
}

}  // namespace lumora

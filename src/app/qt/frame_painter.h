// Copies frame surfaces into Qt paint devices.
#pragma once

#include <QImage>

#include "render/bitmap32.h"

class QPainter;

namespace lumora {

// The surface as an opaque image: alpha is ignored, as on the screen.
QImage FrameImage(const TBitmap32& frame);
// The same into image, whose pixels are reused when its size already
// matches, so that a playing window allocates nothing per frame. An empty
// surface leaves a null image.
void FillFrameImage(const TBitmap32& frame, QImage& image);

// The whole surface copied 1:1 with its top-left corner at (x, y); an empty
// surface copies nothing.
void CopyToDevice(const TBitmap32& frame, QPainter& painter, int x, int y);

}  // namespace lumora

// Copies frame surfaces into Qt paint devices.
#pragma once

#include <QImage>

#include "render/bitmap32.h"

class QPainter;

namespace lumora {

// The surface as an opaque image: alpha is ignored, as on the screen.
QImage FrameImage(const TBitmap32& frame);

// The whole surface copied 1:1 with its top-left corner at (x, y); an empty
// surface copies nothing.
void CopyToDevice(const TBitmap32& frame, QPainter& painter, int x, int y);

}  // namespace lumora

// TFrameFitter: puts each frame of a show into the output picture — scaled
// to fit the output box with its aspect kept, centred between black bars —
// in the pixel format the encoder takes.
#pragma once

#include <cstdint>

#include "export/ffmpeg_handles_p.h"
#include "render/bitmap32.h"

namespace lumora {

// Where a picture of the given size goes in a box: as large as fits with its
// aspect kept (at least one pixel each way), centred.
TRect FitIntoBox(std::int32_t width, std::int32_t height, std::int32_t boxWidth, std::int32_t boxHeight);

// How frames of another size are scaled: bicubic keeps thin lines sharp;
// area averaging adds no overshoot, so it makes no colours the frame did
// not have nearby, as a picture of few colours wants.
enum class TScaling { Bicubic, Area };

class TFrameFitter {
 public:
  // The box is the visible picture; the canvas is the box with black padding
  // at its right and bottom (for encoders that want even sizes). An output
  // format of AV_PIX_FMT_RGB32 gets every pixel's alpha set opaque.
  TFrameFitter(std::int32_t boxWidth, std::int32_t boxHeight, std::int32_t canvasWidth, std::int32_t canvasHeight,
               AVPixelFormat format, TScaling scaling = TScaling::Bicubic);

  // The frame as the encoder takes it; valid until the next call.
  AVFrame& Fit(const TBitmap32& bitmap);

 private:
  void placeOnCanvas(const TBitmap32& bitmap, const TRect& place);
  void scaleInto(const TBitmap32& bitmap, const TRect& place);
  void convert(const std::uint8_t* pixels, int stride);

  std::int32_t fBoxWidth;
  std::int32_t fBoxHeight;
  int fScaleFlags;
  ffmpeg::TFrame fCanvas;
  ffmpeg::TFrame fOutput;
  ffmpeg::TSws fScaler;
  ffmpeg::TSws fConverter;
  // Where the last frame went on the canvas: while frames keep to it, the
  // bars around it are still black.
  TRect fPlaced;
};

}  // namespace lumora

// TFrameSink: whatever takes the frames a show draws (the window, a lighting
// output, a video encoder) attaches to the engine as a sink.
#pragma once

#include <cstdint>

#include "grid/frame_data.h"
#include "render/bitmap32.h"
#include "render/geometry.h"

namespace lumora {

// A frame just drawn, valid while the sink is called.
struct TDrawnFrame {
  std::int32_t Frame = 0;
  const TBitmap32& Bitmap;
  // The cells of the current grid layer in this frame, or none.
  const TFrameData* GridFrame = nullptr;
  const TFrameDataLayers& GridLayers;
  // Where movie coordinates land on the bitmap: bitmap = movie + offset.
  TPoint SceneOffset;
};

class TFrameSink {
 public:
  virtual ~TFrameSink() = default;
  virtual void FrameDrawn(const TDrawnFrame& frame) = 0;
};

}  // namespace lumora

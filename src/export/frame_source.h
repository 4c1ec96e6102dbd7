// TFrameSource: the frames an export pulls, one pass over the show at a
// time, each frame with how long it stays on screen.
#pragma once

#include <cstdint>

#include "render/bitmap32.h"

namespace lumora {

struct TSourceFrame {
  // Seen, not owned: it stays valid and unchanged until the next call on the
  // source. Only the colour channels count; every pixel is taken as opaque.
  const TBitmap32* Bitmap = nullptr;
  std::int32_t DurationMs = 0;
};

// A show as the exporter reads it. A pass is Rewind() followed by exactly
// FrameCount() calls of NextFrame(). A video takes one pass; a GIF takes two
// (its palette is built from the whole show before the first frame is
// written), so a source must yield the same frames again after a Rewind().
class TFrameSource {
 public:
  virtual ~TFrameSource() = default;

  // The frames of one pass; also the total the progress counts towards.
  virtual std::int64_t FrameCount() const = 0;
  // Goes back to the first frame; called before every pass.
  virtual void Rewind() = 0;
  // The next frame of the pass.
  virtual TSourceFrame NextFrame() = 0;
};

}  // namespace lumora

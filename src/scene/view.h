// TView: the editor's view of the scene (zoom, scroll and a drawing canvas).
// The player draws without one; tests pass a fake.
#pragma once

#include <cstdint>

#include "render/gdi_path.h"
#include "render/geometry.h"

namespace lumora {

// What graphics draw their outlines on as path calls: the path being
// recorded and the pen that widening uses.
struct TCanvas {
  TGdiPath Path;
  std::int32_t PenWidth = 1;
};

class TView {
 public:
  virtual ~TView() = default;
  // Applied after a graphic's placement: first the scale, then the offset.
  virtual TFloatPoint ViewScale() const = 0;
  virtual TFloatPoint ViewOffset() const = 0;
  virtual TCanvas& Canvas() = 0;
};

}  // namespace lumora

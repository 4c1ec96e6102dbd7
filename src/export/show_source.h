// TShowFrameSource: a show played as the player plays it, as the exporter
// reads its frames.
#pragma once

#include "export/frame_source.h"
#include "show/show_pass.h"

namespace lumora {

class TShowFrameSource : public TFrameSource {
 public:
  explicit TShowFrameSource(TShowPass& pass) : fPass(pass) {}

  std::int64_t FrameCount() const override { return fPass.FrameCount(); }
  void Rewind() override { fPass.Rewind(); }
  TSourceFrame NextFrame() override {
    fPass.NextFrame();
    return {&fPass.Engine().FrameBitmap(), fPass.Engine().TickInterval()};
  }

 private:
  TShowPass& fPass;
};

}  // namespace lumora

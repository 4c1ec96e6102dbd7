// The GIF's one palette: libavfilter's palettegen counts the colours of every
// frame of the show, then paletteuse maps each pixel to its nearest colour
// of that palette. A show of at most 256 colours keeps every one of them
// exactly.
#pragma once

#include <cstdint>
#include <functional>

#include "export/ffmpeg_handles_p.h"

namespace lumora {

// Frames of AV_PIX_FMT_RGB32, opaque, of the size given.
class TPaletteBuilder {
 public:
  TPaletteBuilder(std::int32_t width, std::int32_t height);

  void Add(AVFrame& frame);
  // The palette of everything added: a 16 × 16 picture of its colours.
  ffmpeg::TFrame Finish();

 private:
  ffmpeg::TFilterGraph fGraph;
  AVFilterContext* fSource = nullptr;
  AVFilterContext* fSink = nullptr;
  std::int64_t fAdded = 0;
};

using TTakeFrame = std::function<void(AVFrame& mapped)>;

class TPaletteMapper {
 public:
  TPaletteMapper(std::int32_t width, std::int32_t height, AVFrame& palette);

  // Maps a frame whose pts is in hundredths of a second; frames come out
  // (AV_PIX_FMT_PAL8, the same pts) in order to take, now or at Finish.
  void Map(AVFrame& frame, const TTakeFrame& take);
  void Finish(const TTakeFrame& take);

 private:
  void takeMapped(const TTakeFrame& take);

  ffmpeg::TFilterGraph fGraph;
  AVFilterContext* fSource = nullptr;
  AVFilterContext* fSink = nullptr;
  ffmpeg::TFrame fMapped;
};

}  // namespace lumora

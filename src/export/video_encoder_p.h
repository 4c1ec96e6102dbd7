// TVideoEncoder: the video stream of an export — an encoder opened for the
// output's codec, fed pictures with their start times, its packets written
// to the container each with its own frame's duration.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "export/ffmpeg_handles_p.h"
#include "export/muxer_p.h"

namespace lumora {

struct TVideoSettings {
  std::string Encoder;  // libavcodec's name: "libx264", "libvpx-vp9", "gif", "apng"
  AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // The unit of the times given to Encode.
  AVRational TimeBase = {1, 1000};
  // The nominal rate headers announce; {0, 1} for none. Frames still keep
  // their own times.
  AVRational FrameRate = {0, 1};
  bool Bt709 = false;
  // 0: as many as the encoder likes.
  std::int32_t Threads = 0;
  // Options of the encoder, by name ("crf", "preset", "b", …).
  std::vector<std::pair<std::string, std::string>> Options;
};

class TVideoEncoder {
 public:
  // Opens the encoder and adds its stream; raises EVideoExport naming an
  // encoder FFmpeg lacks or one that refuses the settings.
  TVideoEncoder(TMuxer& muxer, const TVideoSettings& settings);

  // The picture shown from start for duration (in the settings' time base);
  // starts must rise.
  void Encode(AVFrame& picture, std::int64_t start, std::int64_t duration);
  // Drains the encoder.
  void Finish();

 private:
  void writePackets();

  TMuxer& fMuxer;
  ffmpeg::TCodecContext fContext;
  ffmpeg::TPacket fPacket;
  int fStream = 0;
  // Durations of the frames inside the encoder, by start: encoders with
  // reordering give packets no duration of their own.
  std::map<std::int64_t, std::int64_t> fDurations;
};

}  // namespace lumora

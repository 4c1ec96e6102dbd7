// TMusicDecoder: a music file decoded and resampled to an audio encoder's
// samples, played in a loop as the player loops it: past its end the music
// starts again from its beginning.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/ffmpeg_handles_p.h"

namespace lumora {

// Music up to this long is held in memory after its first play, so that
// short loops are not decoded again and again; longer music is read anew
// for every loop.
inline constexpr int kMusicLoopMemorySeconds = 30;

class TMusicPass;

class TMusicDecoder {
 public:
  // Opens the music for samples in the encoder's format, rate and channel
  // layout; raises EVideoExport naming the file when it cannot be read.
  TMusicDecoder(const std::string& path, const AVCodecContext& encoder);
  ~TMusicDecoder();
  TMusicDecoder(const TMusicDecoder&) = delete;
  TMusicDecoder& operator=(const TMusicDecoder&) = delete;

  // Fills the frame's nb_samples samples (its buffers hold at least that many).
  void Read(AVFrame& frame);
  // Passes over the next samples.
  void Skip(int samples);

 private:
  void refill();
  void refillFromFile();
  void refillFromMemory();

  std::string fPath;
  const AVCodecContext& fEncoder;
  std::unique_ptr<TMusicPass> fPass;
  ffmpeg::TAudioFifo fPending;
  // The first play, while it stays short enough to keep.
  ffmpeg::TAudioFifo fFirstPlay;
  bool fFirstPlayDone = false;
  std::int32_t fReplayOffset = 0;
  ffmpeg::TFrame fScratch;
};

}  // namespace lumora

// TMusicDecoder: a music file decoded and resampled to an audio encoder's
// samples, played in a loop as the player loops it: past its end the music
// starts again from its beginning. Whatever a player plays comes out as
// sound: samples that are not numbers or past full scale are clamped, any
// number of channels is mixed down, and any rate is resampled a slice at a
// time, so that a few samples of a very low rate never swell in memory.
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
  // Opens the music (see music_file.h) for samples in the encoder's format,
  // rate and channel layout, and decodes its first sound; raises
  // EMusicFile naming the file when it cannot be read or holds no sound.
  TMusicDecoder(const std::string& path, const AVCodecContext& encoder);
  ~TMusicDecoder();
  TMusicDecoder(const TMusicDecoder&) = delete;
  TMusicDecoder& operator=(const TMusicDecoder&) = delete;

  // Fills the frame's nb_samples samples (its buffers hold at least that
  // many); raises EMusicFile when the music cannot be read on.
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

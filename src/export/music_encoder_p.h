// TMusicEncoder: the sound stream of an export — the show's music, looped,
// encoded beside the video in step with it and cut where the video ends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "export/ffmpeg_handles_p.h"
#include "export/music_file.h"
#include "export/music_decoder_p.h"
#include "export/muxer_p.h"

namespace lumora {

// Every export's sound: 48 kHz stereo, the rate Opus works at.
inline constexpr int kMusicSampleRate = 48000;

using TMusicWarning = std::function<void(const std::string& text)>;

class TMusicEncoder {
 public:
  // Opens the encoder ("aac", "libopus") and the music, then adds its
  // stream; raises EVideoExport naming a missing encoder, and EMusicFile
  // (with no stream added) for music that cannot be read. Matroska cannot
  // start a stream before 0, so there packets move later by the encoder's
  // priming samples. It records that delay for Opus, and players subtract
  // it; for AAC the priming plays as sound, so the music starts as far
  // into itself, and every sample of it still plays at its own time.
  TMusicEncoder(TMuxer& muxer, const std::string& encoder, std::int64_t bitRate, const std::string& musicPath,
                bool matroska, TMusicWarning onWarning = {});

  // Encodes every whole frame of sound that ends by endMs of the video.
  void EncodeUntil(std::int64_t endMs);
  // Encodes the sound up to exactly endMs, the video's end, and drains.
  void Finish(std::int64_t endMs);

 private:
  std::int64_t samplesBy(std::int64_t endMs) const;
  void encodeFrame(int samples);
  void fillFrame();
  void dropMusic(const EMusicFile& error);
  void writePackets();

  TMuxer& fMuxer;
  TMusicWarning fOnWarning;
  ffmpeg::TCodecContext fContext;
  // After the encoder, which it reads the sample format from; gone, and
  // silence in its place, once the music fails midway.
  std::unique_ptr<TMusicDecoder> fMusic;
  int fStream = 0;
  int fFrameSize = 0;
  int fShift = 0;
  int fSkip = 0;
  std::int64_t fSamplesSent = 0;
  ffmpeg::TFrame fFrame;
  ffmpeg::TPacket fPacket;
};

}  // namespace lumora

// SMPTE linear timecode as audio, through libltc: frames of timecode
// encoded to samples (for an audio output or a WAV file), and samples
// decoded back to timecode, drop-frame included.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sync/timecode.h"

struct LTCEncoder;
struct LTCDecoder;

namespace lumora::sync {

// The sample rate LTC is played and recorded at.
inline constexpr std::uint32_t kLtcSampleRate = 48000;

class TLtcEncoder {
 public:
  TLtcEncoder(std::uint32_t sampleRate, TTimecodeRate rate);
  ~TLtcEncoder();
  TLtcEncoder(const TLtcEncoder&) = delete;
  TLtcEncoder& operator=(const TLtcEncoder&) = delete;

  // Appends the samples of one frame of timecode (signed 16-bit, at about
  // -18 dBFS): sampleRate / frames-per-second of them.
  void EncodeFrame(const TTimecode& timecode, std::vector<std::int16_t>& out);
  TTimecodeRate Rate() const { return fRate; }

 private:
  LTCEncoder* fEncoder = nullptr;
  TTimecodeRate fRate;
};

// The timecode of `seconds` to `seconds + duration` of a show as samples,
// frame after frame, with an optional fixed hour.
std::vector<std::int16_t> LtcSamples(double seconds, double duration, TTimecodeRate rate, std::uint32_t sampleRate,
                                     std::optional<int> fixedHour = std::nullopt);

struct TLtcFrame {
  TTimecode Timecode;
  // The sample the frame began at, counted from the first fed.
  std::int64_t StartSample = 0;
  bool Reverse = false;
};

class TLtcDecoder {
 public:
  // The rate tells 24, 25 and 30 apart, which LTC does not carry; a frame
  // flagged drop-frame reads as 29.97 whatever the rate.
  TLtcDecoder(std::uint32_t sampleRate, TTimecodeRate rate);
  ~TLtcDecoder();
  TLtcDecoder(const TLtcDecoder&) = delete;
  TLtcDecoder& operator=(const TLtcDecoder&) = delete;

  // The frames completed by these samples (-1…1); frames whose fields are
  // out of range for the rate are left out.
  std::vector<TLtcFrame> Feed(std::span<const float> samples);

 private:
  LTCDecoder* fDecoder = nullptr;
  TTimecodeRate fRate;
  std::int64_t fPosition = 0;
};

// Every frame of timecode in a WAV file's channel; raises TLoadError naming
// the file when it cannot be read.
std::vector<TLtcFrame> ReadLtcFromWav(const std::string& path, TTimecodeRate rate, std::uint16_t channel = 0);

}  // namespace lumora::sync

// TAlsaPcm: one mono channel of 16-bit audio through an ALSA PCM device,
// for LTC out to a sound card's output and in from its input. Writes never
// wait (what the device cannot take now is dropped and counted); reads wait
// at most the time given.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct _snd_pcm;

namespace lumora::sync {

class TAlsaPcm {
 public:
  TAlsaPcm() = default;
  ~TAlsaPcm();
  TAlsaPcm(const TAlsaPcm&) = delete;
  TAlsaPcm& operator=(const TAlsaPcm&) = delete;

  // "default", "hw:1,0", …; empty on success, else why not.
  std::string OpenPlayback(const std::string& device, std::uint32_t sampleRate);
  std::string OpenCapture(const std::string& device, std::uint32_t sampleRate);
  bool IsOpen() const { return fPcm != nullptr; }

  // Samples the device could not take now.
  std::string Write(std::span<const std::int16_t> samples);
  std::uint64_t Dropped() const { return fDropped; }
  // Up to maxFrames samples, scaled to -1…1, waiting at most timeoutMs.
  std::vector<float> Read(std::size_t maxFrames, int timeoutMs, std::string& error);

 private:
  std::string open(const std::string& device, std::uint32_t sampleRate, bool capture);
  void close();

  _snd_pcm* fPcm = nullptr;
  std::uint64_t fDropped = 0;
};

}  // namespace lumora::sync

#include "sync/alsa_pcm.h"

#include <alsa/asoundlib.h>

#include "sync/alsa_error_p.h"

namespace lumora::sync {

namespace {

// Latency the device may buffer: long enough not to starve between the
// engine's ticks, short enough for timecode to stay near the show.
constexpr unsigned kLatencyMicroseconds = 100000;

}  // namespace

TAlsaPcm::~TAlsaPcm() { close(); }

void TAlsaPcm::close() {
  if (fPcm) snd_pcm_close(fPcm);
  fPcm = nullptr;
}

std::string TAlsaPcm::open(const std::string& device, std::uint32_t sampleRate, bool capture) {
  close();
  const snd_pcm_stream_t stream = capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  const std::string what = std::string(capture ? "the audio input" : "the audio output") + " \"" + device + "\"";
  if (const int code = snd_pcm_open(&fPcm, device.c_str(), stream, SND_PCM_NONBLOCK); code < 0) {
    fPcm = nullptr;
    return AlsaError("cannot open " + what, code);
  }
  const int code = snd_pcm_set_params(fPcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, sampleRate, 1,
                                      kLatencyMicroseconds);
  if (code < 0) {
    close();
    return AlsaError("cannot play mono 16-bit audio at " + std::to_string(sampleRate) + " Hz on " + what, code);
  }
  return {};
}

std::string TAlsaPcm::OpenPlayback(const std::string& device, std::uint32_t sampleRate) {
  return open(device, sampleRate, false);
}

std::string TAlsaPcm::OpenCapture(const std::string& device, std::uint32_t sampleRate) {
  const std::string error = open(device, sampleRate, true);
  if (error.empty()) snd_pcm_start(fPcm);
  return error;
}

std::string TAlsaPcm::Write(std::span<const std::int16_t> samples) {
  if (!fPcm) return "the audio output is not open";
  while (!samples.empty()) {
    snd_pcm_sframes_t written = snd_pcm_writei(fPcm, samples.data(), samples.size());
    if (written == -EAGAIN) break;
    if (written < 0) written = snd_pcm_recover(fPcm, static_cast<int>(written), 1);
    if (written < 0) return AlsaError("cannot play the timecode", static_cast<int>(written));
    samples = samples.subspan(static_cast<std::size_t>(written));
  }
  fDropped += samples.size();
  return {};
}

std::vector<float> TAlsaPcm::Read(std::size_t maxFrames, int timeoutMs, std::string& error) {
  std::vector<float> out;
  if (!fPcm) {
    error = "the audio input is not open";
    return out;
  }
  if (snd_pcm_wait(fPcm, timeoutMs) <= 0) return out;
  std::vector<std::int16_t> samples(maxFrames);
  snd_pcm_sframes_t read = snd_pcm_readi(fPcm, samples.data(), samples.size());
  if (read < 0 && read != -EAGAIN) read = snd_pcm_recover(fPcm, static_cast<int>(read), 1);
  if (read < 0) {
    if (read != -EAGAIN) error = AlsaError("cannot read the audio input", static_cast<int>(read));
    return out;
  }
  out.reserve(static_cast<std::size_t>(read));
  for (snd_pcm_sframes_t i = 0; i < read; ++i) out.push_back(samples[static_cast<std::size_t>(i)] / 32768.0f);
  return out;
}

}  // namespace lumora::sync

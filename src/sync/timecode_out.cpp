#include "sync/timecode_out.h"

#include <cmath>
#include <stdexcept>

#include "sync/alsa_midi.h"
#include "sync/alsa_pcm.h"
#include "sync/ltc_audio.h"
#include "sync/midi_timecode.h"
#include "sync/sync_sender.h"
#include "sync/wav_file.h"

namespace lumora::sync {

namespace {

class TArtNetOut final : public ITimecodeOut {
 public:
  explicit TArtNetOut(const TTimecodeOutTarget& target) : fSender(target.To, target.Rate) {}

  std::string Update(const TTimecodeProgress& progress) override {
    if (!progress.Playing) return {};
    fSender.SetFixedHour(progress.Hour);
    return fSender.Update(progress.Seconds);
  }
  std::optional<TTimecode> LastSent() const override { return fSender.LastSent(); }

 private:
  TArtTimecodeSender fSender;
};

// Start and a full frame when the show starts, quarter frames while it
// plays, stop when it stops.
class TMtcOut final : public ITimecodeOut {
 public:
  explicit TMtcOut(const TTimecodeOutTarget& target) : fRate(target.Rate), fSender(target.Rate) {
    std::string error = fPort.Open("lumora timecode");
    if (error.empty() && !target.Name.empty()) error = fPort.ConnectTo(target.Name);
    if (!error.empty()) throw std::runtime_error("MIDI timecode: " + error);
  }

  std::string Update(const TTimecodeProgress& progress) override {
    if (!progress.Playing) {
      if (!fRunning) return {};
      fRunning = false;
      return fPort.Send(fSender.Stop());
    }
    fSender.SetFixedHour(progress.Hour);
    const std::vector<std::uint8_t> bytes = fRunning ? fSender.Advance(progress.Seconds) : fSender.Start(progress.Seconds);
    fRunning = true;
    fLast = TimecodeAt(progress.Seconds, fRate, progress.Hour);
    return bytes.empty() ? std::string() : fPort.Send(bytes);
  }
  std::optional<TTimecode> LastSent() const override { return fLast; }

 private:
  TTimecodeRate fRate;
  TAlsaMidiPort fPort;
  TMtcSender fSender;
  bool fRunning = false;
  std::optional<TTimecode> fLast;
};

// Every frame of timecode the show passes through, as audio: to a WAV file
// (brought up to date about once a second) or to a sound card.
class TLtcOut final : public ITimecodeOut {
 public:
  explicit TLtcOut(const TTimecodeOutTarget& target) : fRate(target.Rate), fEncoder(kLtcSampleRate, target.Rate) {
    if (target.Kind == TTimecodeOutKind::LtcFile) {
      fFile = std::make_unique<TWavStream>(target.Name, kLtcSampleRate);
      if (!fFile->Error().empty()) throw std::runtime_error("LTC: " + fFile->Error());
      return;
    }
    fAudio = std::make_unique<TAlsaPcm>();
    if (const std::string error = fAudio->OpenPlayback(target.Name, kLtcSampleRate); !error.empty()) {
      throw std::runtime_error("LTC: " + error);
    }
  }

  std::string Update(const TTimecodeProgress& progress) override {
    if (!progress.Playing) {
      fNext.reset();
      if (fFile) fFile->Flush();
      return {};
    }
    const double fps = FramesPerSecond(fRate);
    const auto now = static_cast<std::int64_t>(std::floor(std::max(0.0, progress.Seconds) * fps + 1e-6));
    // A step back, or on by more than a second, is a jump: the timecode
    // goes on from there.
    if (!fNext || now < *fNext - 1 || now > *fNext + static_cast<std::int64_t>(fps)) fNext = now;
    std::vector<std::int16_t> samples;
    for (; *fNext <= now; ++*fNext) {
      fLast = WithFixedHour(TimecodeFromFrameCount(*fNext, fRate), progress.Hour);
      fEncoder.EncodeFrame(*fLast, samples);
    }
    return write(samples);
  }
  std::optional<TTimecode> LastSent() const override { return fLast; }

 private:
  std::string write(const std::vector<std::int16_t>& samples) {
    if (fAudio) return fAudio->Write(samples);
    std::string error = fFile->Append(samples);
    fUnflushed += samples.size();
    if (fUnflushed >= kLtcSampleRate) {
      fFile->Flush();
      fUnflushed = 0;
    }
    return error;
  }

  TTimecodeRate fRate;
  TLtcEncoder fEncoder;
  std::unique_ptr<TWavStream> fFile;
  std::unique_ptr<TAlsaPcm> fAudio;
  std::optional<std::int64_t> fNext;
  std::optional<TTimecode> fLast;
  std::size_t fUnflushed = 0;
};

}  // namespace

std::string TimecodeOutName(const TTimecodeOutTarget& target) {
  switch (target.Kind) {
    case TTimecodeOutKind::ArtNet: return "artnet " + output::FormatEndpoint(target.To);
    case TTimecodeOutKind::Mtc: return target.Name.empty() ? "mtc" : "mtc " + target.Name;
    case TTimecodeOutKind::LtcFile: return "ltc " + target.Name;
    case TTimecodeOutKind::LtcAudio: return "ltc audio " + target.Name;
  }
  return {};
}

std::unique_ptr<ITimecodeOut> OpenTimecodeOut(const TTimecodeOutTarget& target) {
  switch (target.Kind) {
    case TTimecodeOutKind::ArtNet: return std::make_unique<TArtNetOut>(target);
    case TTimecodeOutKind::Mtc: return std::make_unique<TMtcOut>(target);
    case TTimecodeOutKind::LtcFile:
    case TTimecodeOutKind::LtcAudio: return std::make_unique<TLtcOut>(target);
  }
  return nullptr;
}

}  // namespace lumora::sync

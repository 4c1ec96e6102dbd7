#include "sync/ltc_audio.h"

#include <ltc.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "io/stream.h"
#include "sync/wav_file.h"

namespace lumora::sync {

namespace {

constexpr double kLevelDbfs = -18;
// Frames libltc's decoder holds before they are read.
constexpr int kDecoderQueue = 64;
constexpr std::size_t kReadBlock = 8192;

LTC_TV_STANDARD standardOf(TTimecodeRate rate) {
  switch (rate) {
    case TTimecodeRate::Film24: return LTC_TV_FILM_24;
    case TTimecodeRate::Ebu25: return LTC_TV_625_50;
    default: return LTC_TV_525_60;
  }
}

SMPTETimecode smpteOf(const TTimecode& t) {
  SMPTETimecode s{};
  std::memcpy(s.timezone, "+0000", 6);
  s.years = 0;
  s.months = 1;
  s.days = 1;
  s.hours = t.Hours;
  s.mins = t.Minutes;
  s.secs = t.Seconds;
  s.frame = t.Frames;
  return s;
}

}  // namespace

TLtcEncoder::TLtcEncoder(std::uint32_t sampleRate, TTimecodeRate rate)
    : fEncoder(ltc_encoder_create(sampleRate, FramesPerSecond(rate), standardOf(rate), 0)), fRate(rate) {
  if (!fEncoder) throw std::runtime_error("cannot make an LTC encoder at " + std::to_string(sampleRate) + " Hz");
  ltc_encoder_set_volume(fEncoder, kLevelDbfs);
}

TLtcEncoder::~TLtcEncoder() { ltc_encoder_free(fEncoder); }

void TLtcEncoder::EncodeFrame(const TTimecode& timecode, std::vector<std::int16_t>& out) {
  SMPTETimecode smpte = smpteOf(timecode);
  ltc_encoder_set_timecode(fEncoder, &smpte);
  ltc_encoder_encode_frame(fEncoder);
  ltcsnd_sample_t* samples = nullptr;
  const int count = ltc_encoder_get_bufferptr(fEncoder, &samples, 1);
  // libltc writes unsigned 8-bit samples around 128.
  for (int i = 0; i < count; ++i) out.push_back(static_cast<std::int16_t>((samples[i] - 128) * 256));
}

std::vector<std::int16_t> LtcSamples(double seconds, double duration, TTimecodeRate rate, std::uint32_t sampleRate,
                                     std::optional<int> fixedHour) {
  TLtcEncoder encoder(sampleRate, rate);
  const TTimecode first = TimecodeAt(seconds, rate);
  const std::int64_t start = FrameCountFromTimecode(first);
  const auto frames = static_cast<std::int64_t>(std::ceil(std::max(0.0, duration) * FramesPerSecond(rate)));
  std::vector<std::int16_t> out;
  for (std::int64_t i = 0; i < frames; ++i) {
    encoder.EncodeFrame(WithFixedHour(TimecodeFromFrameCount(start + i, rate), fixedHour), out);
  }
  return out;
}

TLtcDecoder::TLtcDecoder(std::uint32_t sampleRate, TTimecodeRate rate)
    : fDecoder(ltc_decoder_create(static_cast<int>(sampleRate / FramesPerSecond(rate)), kDecoderQueue)), fRate(rate) {
  if (!fDecoder) throw std::runtime_error("cannot make an LTC decoder at " + std::to_string(sampleRate) + " Hz");
}

TLtcDecoder::~TLtcDecoder() { ltc_decoder_free(fDecoder); }

std::vector<TLtcFrame> TLtcDecoder::Feed(std::span<const float> samples) {
  std::vector<TLtcFrame> out;
  std::vector<float> block;
  for (std::size_t done = 0; done < samples.size(); done += block.size()) {
    // Fed in blocks, so that the decoder's queue is read before it fills.
    block.assign(samples.begin() + static_cast<std::ptrdiff_t>(done),
                 samples.begin() + static_cast<std::ptrdiff_t>(std::min(samples.size(), done + 1024)));
    ltc_decoder_write_float(fDecoder, block.data(), block.size(), fPosition);
    fPosition += static_cast<std::int64_t>(block.size());
    LTCFrameExt frame;
    while (ltc_decoder_read(fDecoder, &frame) > 0) {
      SMPTETimecode smpte;
      ltc_frame_to_time(&smpte, &frame.ltc, 0);
      const TTimecodeRate rate = frame.ltc.dfbit ? TTimecodeRate::DropFrame2997 : fRate;
      const TTimecode t{smpte.hours, smpte.mins, smpte.secs, smpte.frame, rate};
      if (IsValidTimecode(t)) out.push_back({t, frame.off_start, frame.reverse != 0});
    }
  }
  return out;
}

std::vector<TLtcFrame> ReadLtcFromWav(const std::string& path, TTimecodeRate rate, std::uint16_t channel) {
  TWavReader reader(path, channel);
  if (!reader.Error().empty()) throw TLoadError(reader.Error());
  TLtcDecoder decoder(reader.SampleRate(), rate);
  std::vector<TLtcFrame> frames;
  for (std::vector<float> block = reader.Read(kReadBlock); !block.empty(); block = reader.Read(kReadBlock)) {
    const auto found = decoder.Feed(block);
    frames.insert(frames.end(), found.begin(), found.end());
  }
  return frames;
}

}  // namespace lumora::sync

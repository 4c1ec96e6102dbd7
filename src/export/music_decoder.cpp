#include "export/music_decoder_p.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "export/music_file.h"
#include "export/music_input_p.h"
#include "export/video_export.h"

namespace lumora {

namespace {

constexpr int kReplayChunk = 4096;
// The output one slice of a decoded frame is resampled to, about: a frame
// of a very low rate is taken a few samples at a time.
constexpr std::int64_t kSliceSamples = 8192;
// Above the highest rate any sound file uses; higher claims are damage.
constexpr int kMaxMusicRate = 768000;

ffmpeg::TAudioFifo newFifo(const AVCodecContext& encoder) {
  ffmpeg::TAudioFifo fifo(av_audio_fifo_alloc(encoder.sample_fmt, encoder.ch_layout.nb_channels, kReplayChunk));
  if (!fifo) ffmpeg::Fail("out of memory for the music");
  return fifo;
}

// A frame of the encoder's samples with room for capacity of them.
ffmpeg::TFrame sampleFrame(const AVCodecContext& encoder, int capacity) {
  ffmpeg::TFrame frame = ffmpeg::NewFrame();
  frame->format = encoder.sample_fmt;
  frame->sample_rate = encoder.sample_rate;
  frame->nb_samples = capacity;
  ffmpeg::Check(av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout), "out of memory for the music");
  ffmpeg::Check(av_frame_get_buffer(frame.get(), 0), "out of memory for the music");
  return frame;
}

void append(AVAudioFifo& fifo, AVFrame& frame, int samples) {
  if (av_audio_fifo_write(&fifo, reinterpret_cast<void**>(frame.data), samples) < samples) {
    ffmpeg::Fail("out of memory for the music");
  }
}

bool sameChannels(const AVChannelLayout& a, const AVChannelLayout& b) { return av_channel_layout_compare(&a, &b) == 0; }

template <typename TSample>
void clampSamples(TSample* samples, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const TSample v = samples[i];
    samples[i] = std::isnan(v) ? TSample(0) : std::clamp(v, TSample(-1), TSample(1));
  }
}

// Floating-point samples that are not numbers become silence and those past
// full scale are held at it, as a sound card plays them; the encoders
// refuse both.
void clampFloatSamples(AVFrame& frame) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const AVSampleFormat packed = av_get_packed_sample_fmt(format);
  if (packed != AV_SAMPLE_FMT_FLT && packed != AV_SAMPLE_FMT_DBL) return;
  ffmpeg::Check(av_frame_make_writable(&frame), "out of memory for the music");
  const int channels = frame.ch_layout.nb_channels;
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  const int planes = planar ? channels : 1;
  const auto perPlane = static_cast<std::size_t>(frame.nb_samples) * static_cast<std::size_t>(planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    if (packed == AV_SAMPLE_FMT_FLT) {
      clampSamples(reinterpret_cast<float*>(frame.extended_data[p]), perPlane);
    } else {
      clampSamples(reinterpret_cast<double*>(frame.extended_data[p]), perPlane);
    }
  }
}

// The music's own failures, told apart from the export's.
template <typename TAction>
void readingMusic(TAction action) {
  try {
    action();
  } catch (const EVideoExport& error) {
    throw EMusicFile(error.what());
  }
}

// Every output channel an even share of every input channel: for channels
// that name no speakers, which the resampler cannot place itself.
void setEvenMix(SwrContext& resampler, int inputs, int outputs) {
  std::vector<double> matrix(static_cast<std::size_t>(inputs) * static_cast<std::size_t>(outputs), 1.0 / inputs);
  ffmpeg::Check(swr_set_matrix(&resampler, matrix.data(), inputs), "cannot mix the music's channels");
}

}  // namespace

// One play of the music file from its start.
class TMusicPass {
 public:
  TMusicPass(const std::string& path, const AVCodecContext& encoder);
  ~TMusicPass() { av_channel_layout_uninit(&fResamplerLayout); }
  TMusicPass(const TMusicPass&) = delete;
  TMusicPass& operator=(const TMusicPass&) = delete;

  // Converts more of the music into out (and into keep, when given), a
  // slice of a decoded frame at a time; false once the file has given all
  // it holds.
  bool DecodeMore(AVAudioFifo& out, AVAudioFifo* keep);
  std::int64_t SamplesGiven() const { return fSamplesGiven; }
  const std::string& LastError() const { return fLastError; }

 private:
  void openDecoder();
  bool nextFrame();
  void feedDecoder();
  void prepareFrame(AVAudioFifo& out, AVAudioFifo* keep);
  void makeResampler(const AVFrame& decoded);
  void resample(const std::uint8_t* const* input, int inputSamples, AVAudioFifo& out, AVAudioFifo* keep);
  void resampleSlice(AVAudioFifo& out, AVAudioFifo* keep);

  std::string fPath;
  const AVCodecContext& fEncoder;
  TMusicInput fInput;
  ffmpeg::TCodecContext fDecoder;
  ffmpeg::TSwr fResampler;
  AVChannelLayout fResamplerLayout{};
  int fResamplerFormat = AV_SAMPLE_FMT_NONE;
  int fResamplerRate = 0;
  ffmpeg::TPacket fPacket;
  ffmpeg::TFrame fDecoded;
  // Samples of the decoded frame converted so far.
  int fDecodedOffset = 0;
  ffmpeg::TFrame fConverted;
  int fConvertedCapacity = 0;
  int fStream = -1;
  std::int64_t fSamplesGiven = 0;
  std::string fLastError;
};

TMusicPass::TMusicPass(const std::string& path, const AVCodecContext& encoder)
    : fPath(path), fEncoder(encoder), fInput(path), fPacket(ffmpeg::NewPacket()), fDecoded(ffmpeg::NewFrame()) {
  openDecoder();
}

void TMusicPass::openDecoder() {
  const AVCodec* codec = nullptr;
  fStream = av_find_best_stream(&fInput.Context(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (fStream == AVERROR_STREAM_NOT_FOUND) ffmpeg::Fail("the music " + fPath + " holds no sound");
  const AVStream& stream = *fInput.Context().streams[std::max(fStream, 0)];
  if (fStream < 0 || codec == nullptr) {
    ffmpeg::Fail("FFmpeg has no decoder for the music " + fPath + " (" + avcodec_get_name(stream.codecpar->codec_id) +
                 ")");
  }
  fDecoder.reset(avcodec_alloc_context3(codec));
  if (!fDecoder) ffmpeg::Fail("out of memory for the music");
  ffmpeg::Check(avcodec_parameters_to_context(fDecoder.get(), stream.codecpar), "cannot decode the music " + fPath);
  fDecoder->pkt_timebase = stream.time_base;
  ffmpeg::Check(avcodec_open2(fDecoder.get(), codec, nullptr), "cannot decode the music " + fPath);
}

bool TMusicPass::DecodeMore(AVAudioFifo& out, AVAudioFifo* keep) {
  while (fDecodedOffset >= fDecoded->nb_samples) {
    av_frame_unref(fDecoded.get());
    fDecodedOffset = 0;
    if (!nextFrame()) {
      // The resampler's delay, drained.
      if (fResampler) resample(nullptr, 0, out, keep);
      return false;
    }
    prepareFrame(out, keep);
  }
  resampleSlice(out, keep);
  return true;
}

// The next decoded frame into fDecoded; false at the decoder's end, or at a
// fault it cannot get past: the music is what came before it.
bool TMusicPass::nextFrame() {
  for (;;) {
    const int received = avcodec_receive_frame(fDecoder.get(), fDecoded.get());
    if (received == 0) return true;
    if (received != AVERROR(EAGAIN)) {
      if (received != AVERROR_EOF) fLastError = ffmpeg::ErrorText(received);
      return false;
    }
    feedDecoder();
  }
}

void TMusicPass::feedDecoder() {
  for (;;) {
    const int read = fInput.ReadPacket(*fPacket);
    if (read < 0) {
      if (read != AVERROR_EOF) fLastError = ffmpeg::ErrorText(read);
      avcodec_send_packet(fDecoder.get(), nullptr);
      return;
    }
    const bool ours = fPacket->stream_index == fStream;
    const int sent = ours ? avcodec_send_packet(fDecoder.get(), fPacket.get()) : 0;
    av_packet_unref(fPacket.get());
    if (!ours) continue;
    // A damaged packet is passed over, as a player passes over it.
    if (sent < 0) fLastError = ffmpeg::ErrorText(sent);
    return;
  }
}

// The frame's samples made safe, and a resampler for them, made anew
// (after draining the old one) when the music changes its format midway.
void TMusicPass::prepareFrame(AVAudioFifo& out, AVAudioFifo* keep) {
  AVFrame& decoded = *fDecoded;
  if (decoded.sample_rate < 1 || decoded.sample_rate > kMaxMusicRate) {
    ffmpeg::Fail("the music " + fPath + " has no usable sample rate (" + std::to_string(decoded.sample_rate) + " Hz)");
  }
  if (decoded.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoded.ch_layout.nb_channels;
    av_channel_layout_uninit(&decoded.ch_layout);
    av_channel_layout_default(&decoded.ch_layout, channels);
  }
  clampFloatSamples(decoded);
  if (fResampler && fResamplerFormat == decoded.format && fResamplerRate == decoded.sample_rate &&
      sameChannels(fResamplerLayout, decoded.ch_layout)) {
    return;
  }
  if (fResampler) resample(nullptr, 0, out, keep);
  makeResampler(decoded);
}

void TMusicPass::makeResampler(const AVFrame& decoded) {
  SwrContext* resampler = nullptr;
  // FFmpeg 5.1 declares the layouts non-const; it only reads them.
  ffmpeg::Check(swr_alloc_set_opts2(&resampler, const_cast<AVChannelLayout*>(&fEncoder.ch_layout), fEncoder.sample_fmt,
                                    fEncoder.sample_rate, const_cast<AVChannelLayout*>(&decoded.ch_layout),
                                    static_cast<AVSampleFormat>(decoded.format), decoded.sample_rate, 0, nullptr),
                "cannot resample the music " + fPath);
  fResampler.reset(resampler);
  if (decoded.ch_layout.order != AV_CHANNEL_ORDER_NATIVE) {
    setEvenMix(*resampler, decoded.ch_layout.nb_channels, fEncoder.ch_layout.nb_channels);
  }
  ffmpeg::Check(swr_init(resampler), "cannot resample the music " + fPath);
  ffmpeg::Check(av_channel_layout_copy(&fResamplerLayout, &decoded.ch_layout), "out of memory for the music");
  fResamplerFormat = decoded.format;
  fResamplerRate = decoded.sample_rate;
}

// The next slice of the decoded frame: as many samples as make about
// kSliceSamples at the encoder's rate, one at the least.
void TMusicPass::resampleSlice(AVAudioFifo& out, AVAudioFifo* keep) {
  const AVFrame& decoded = *fDecoded;
  const std::int64_t slice = std::max<std::int64_t>(1, kSliceSamples * decoded.sample_rate / fEncoder.sample_rate);
  const int count = static_cast<int>(std::min<std::int64_t>(slice, decoded.nb_samples - fDecodedOffset));
  const auto format = static_cast<AVSampleFormat>(decoded.format);
  const int channels = decoded.ch_layout.nb_channels;
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  const std::size_t step = static_cast<std::size_t>(av_get_bytes_per_sample(format)) * (planar ? 1 : channels);
  std::vector<const std::uint8_t*> input(static_cast<std::size_t>(planar ? channels : 1));
  for (std::size_t p = 0; p < input.size(); ++p) {
    input[p] = decoded.extended_data[p] + static_cast<std::size_t>(fDecodedOffset) * step;
  }
  resample(input.data(), count, out, keep);
  fDecodedOffset += count;
}

// Converts samples, or drains the resampler's delay when input is null.
void TMusicPass::resample(const std::uint8_t* const* input, int inputSamples, AVAudioFifo& out, AVAudioFifo* keep) {
  const int capacity = swr_get_out_samples(fResampler.get(), inputSamples);
  ffmpeg::Check(capacity, "cannot resample the music " + fPath);
  if (capacity == 0) return;
  if (capacity > fConvertedCapacity) {
    fConverted = sampleFrame(fEncoder, capacity);
    fConvertedCapacity = capacity;
  }
  const int converted = swr_convert(fResampler.get(), fConverted->data, capacity,
                                    const_cast<const std::uint8_t**>(input), inputSamples);
  ffmpeg::Check(converted, "cannot resample the music " + fPath);
  append(out, *fConverted, converted);
  if (keep != nullptr) append(*keep, *fConverted, converted);
  fSamplesGiven += converted;
}

TMusicDecoder::TMusicDecoder(const std::string& path, const AVCodecContext& encoder)
    : fPath(path),
      fEncoder(encoder),
      fPending(newFifo(encoder)),
      fFirstPlay(newFifo(encoder)),
      fScratch(sampleFrame(encoder, kReplayChunk)) {
  readingMusic([&] {
    fPass = std::make_unique<TMusicPass>(path, encoder);
    while (av_audio_fifo_size(fPending.get()) == 0) refill();
  });
}

TMusicDecoder::~TMusicDecoder() = default;

void TMusicDecoder::Read(AVFrame& frame) {
  readingMusic([&] {
    while (av_audio_fifo_size(fPending.get()) < frame.nb_samples) refill();
    if (av_audio_fifo_read(fPending.get(), reinterpret_cast<void**>(frame.data), frame.nb_samples) <
        frame.nb_samples) {
      ffmpeg::Fail("cannot read back the music's samples");
    }
  });
}

void TMusicDecoder::Skip(int samples) {
  readingMusic([&] {
    while (av_audio_fifo_size(fPending.get()) < samples) refill();
    av_audio_fifo_drain(fPending.get(), samples);
  });
}

void TMusicDecoder::refill() {
  if (fFirstPlayDone && fFirstPlay) {
    refillFromMemory();
  } else {
    refillFromFile();
  }
}

void TMusicDecoder::refillFromFile() {
  if (!fPass) fPass = std::make_unique<TMusicPass>(fPath, fEncoder);
  if (fPass->DecodeMore(*fPending, fFirstPlayDone ? nullptr : fFirstPlay.get())) {
    if (fFirstPlay && av_audio_fifo_size(fFirstPlay.get()) > kMusicLoopMemorySeconds * fEncoder.sample_rate) {
      fFirstPlay.reset();
    }
    return;
  }
  // Every play must give sound, or looping would never fill the video.
  if (fPass->SamplesGiven() == 0) {
    const std::string cause = fPass->LastError().empty() ? "no sound in it" : fPass->LastError();
    ffmpeg::Fail("cannot decode the music " + fPath + " (" + cause + ")");
  }
  fPass.reset();
  fFirstPlayDone = true;
}

void TMusicDecoder::refillFromMemory() {
  const int total = av_audio_fifo_size(fFirstPlay.get());
  const int samples = std::min(kReplayChunk, total - fReplayOffset);
  ffmpeg::Check(
      av_audio_fifo_peek_at(fFirstPlay.get(), reinterpret_cast<void**>(fScratch->data), samples, fReplayOffset),
      "cannot replay the music");
  append(*fPending, *fScratch, samples);
  fReplayOffset = (fReplayOffset + samples) % total;
}

}  // namespace lumora

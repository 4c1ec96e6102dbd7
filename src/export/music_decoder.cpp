#include "export/music_decoder_p.h"

#include <algorithm>
#include <string>

namespace lumora {

namespace {

constexpr int kReplayChunk = 4096;
// Sample rates a music file may claim: below the lowest telephone rate, a
// few decoded samples would resample to more than memory holds.
constexpr int kMinMusicRate = 4000;
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

}  // namespace

// One play of the music file from its start.
class TMusicPass {
 public:
  TMusicPass(const std::string& path, const AVCodecContext& encoder);
  ~TMusicPass() { av_channel_layout_uninit(&fResamplerLayout); }
  TMusicPass(const TMusicPass&) = delete;
  TMusicPass& operator=(const TMusicPass&) = delete;

  // Decodes more of the music into out (and into keep, when given); false
  // once the file has given all it holds.
  bool DecodeMore(AVAudioFifo& out, AVAudioFifo* keep);
  std::int64_t SamplesGiven() const { return fSamplesGiven; }
  const std::string& LastError() const { return fLastError; }

 private:
  void openInput();
  void openDecoder();
  void feedDecoder();
  void prepareResampler(AVFrame& decoded, AVAudioFifo& out, AVAudioFifo* keep);
  void resample(const AVFrame* decoded, AVAudioFifo& out, AVAudioFifo* keep);

  std::string fPath;
  const AVCodecContext& fEncoder;
  ffmpeg::TInput fInput;
  ffmpeg::TCodecContext fDecoder;
  ffmpeg::TSwr fResampler;
  AVChannelLayout fResamplerLayout{};
  int fResamplerFormat = AV_SAMPLE_FMT_NONE;
  int fResamplerRate = 0;
  ffmpeg::TPacket fPacket;
  ffmpeg::TFrame fDecoded;
  ffmpeg::TFrame fConverted;
  int fConvertedCapacity = 0;
  int fStream = -1;
  std::int64_t fSamplesGiven = 0;
  std::string fLastError;
};

TMusicPass::TMusicPass(const std::string& path, const AVCodecContext& encoder)
    : fPath(path), fEncoder(encoder), fPacket(ffmpeg::NewPacket()), fDecoded(ffmpeg::NewFrame()) {
  openInput();
  openDecoder();
}

void TMusicPass::openInput() {
  // Only the file protocol: a music path is never taken for a URL.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  AVFormatContext* input = nullptr;
  const std::string url = "file:" + fPath;
  const int opened = avformat_open_input(&input, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  ffmpeg::Check(opened, "cannot read the music " + fPath);
  fInput.reset(input);
  ffmpeg::Check(avformat_find_stream_info(input, nullptr), "cannot read the music " + fPath);
}

void TMusicPass::openDecoder() {
  const AVCodec* codec = nullptr;
  fStream = av_find_best_stream(fInput.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (fStream == AVERROR_STREAM_NOT_FOUND) ffmpeg::Fail("the music " + fPath + " holds no sound");
  const AVStream& stream = *fInput->streams[std::max(fStream, 0)];
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
  for (;;) {
    const int received = avcodec_receive_frame(fDecoder.get(), fDecoded.get());
    if (received == 0) {
      prepareResampler(*fDecoded, out, keep);
      resample(fDecoded.get(), out, keep);
      av_frame_unref(fDecoded.get());
      return true;
    }
    if (received != AVERROR(EAGAIN)) {
      // The decoder's end, or a fault it cannot get past: the music is what
      // came before it.
      if (received != AVERROR_EOF) fLastError = ffmpeg::ErrorText(received);
      if (fResampler) resample(nullptr, out, keep);
      return false;
    }
    feedDecoder();
  }
}

void TMusicPass::feedDecoder() {
  for (;;) {
    const int read = av_read_frame(fInput.get(), fPacket.get());
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

// A resampler from the decoded frame's samples to the encoder's, made anew
// (after draining the old one) when the music changes its format midway.
void TMusicPass::prepareResampler(AVFrame& decoded, AVAudioFifo& out, AVAudioFifo* keep) {
  if (decoded.sample_rate < kMinMusicRate || decoded.sample_rate > kMaxMusicRate) {
    ffmpeg::Fail("the music " + fPath + " has no usable sample rate (" + std::to_string(decoded.sample_rate) + " Hz)");
  }
  if (decoded.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoded.ch_layout.nb_channels;
    av_channel_layout_uninit(&decoded.ch_layout);
    av_channel_layout_default(&decoded.ch_layout, channels);
  }
  if (fResampler && fResamplerFormat == decoded.format && fResamplerRate == decoded.sample_rate &&
      sameChannels(fResamplerLayout, decoded.ch_layout)) {
    return;
  }
  if (fResampler) resample(nullptr, out, keep);
  SwrContext* resampler = nullptr;
  // FFmpeg 5.1 declares the output layout non-const; it only reads it.
  ffmpeg::Check(swr_alloc_set_opts2(&resampler, const_cast<AVChannelLayout*>(&fEncoder.ch_layout), fEncoder.sample_fmt,
                                    fEncoder.sample_rate, &decoded.ch_layout,
                                    static_cast<AVSampleFormat>(decoded.format), decoded.sample_rate, 0, nullptr),
                "cannot resample the music " + fPath);
  fResampler.reset(resampler);
  ffmpeg::Check(swr_init(resampler), "cannot resample the music " + fPath);
  ffmpeg::Check(av_channel_layout_copy(&fResamplerLayout, &decoded.ch_layout), "out of memory for the music");
  fResamplerFormat = decoded.format;
  fResamplerRate = decoded.sample_rate;
}

// Converts a decoded frame, or drains the resampler's delay when null.
void TMusicPass::resample(const AVFrame* decoded, AVAudioFifo& out, AVAudioFifo* keep) {
  const int inputSamples = decoded != nullptr ? decoded->nb_samples : 0;
  const int capacity = swr_get_out_samples(fResampler.get(), inputSamples);
  ffmpeg::Check(capacity, "cannot resample the music " + fPath);
  if (capacity == 0) return;
  if (capacity > fConvertedCapacity) {
    fConverted = sampleFrame(fEncoder, capacity);
    fConvertedCapacity = capacity;
  }
  const int converted = swr_convert(
      fResampler.get(), fConverted->data, capacity,
      decoded != nullptr ? const_cast<const std::uint8_t**>(decoded->extended_data) : nullptr, inputSamples);
  ffmpeg::Check(converted, "cannot resample the music " + fPath);
  append(out, *fConverted, converted);
  if (keep != nullptr) append(*keep, *fConverted, converted);
  fSamplesGiven += converted;
}

TMusicDecoder::TMusicDecoder(const std::string& path, const AVCodecContext& encoder)
    : fPath(path),
      fEncoder(encoder),
      fPass(std::make_unique<TMusicPass>(path, encoder)),
      fPending(newFifo(encoder)),
      fFirstPlay(newFifo(encoder)),
      fScratch(sampleFrame(encoder, kReplayChunk)) {}

TMusicDecoder::~TMusicDecoder() = default;

void TMusicDecoder::Read(AVFrame& frame) {
  while (av_audio_fifo_size(fPending.get()) < frame.nb_samples) refill();
  if (av_audio_fifo_read(fPending.get(), reinterpret_cast<void**>(frame.data), frame.nb_samples) < frame.nb_samples) {
    ffmpeg::Fail("cannot read back the music's samples");
  }
}

void TMusicDecoder::Skip(int samples) {
  while (av_audio_fifo_size(fPending.get()) < samples) refill();
  av_audio_fifo_drain(fPending.get(), samples);
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

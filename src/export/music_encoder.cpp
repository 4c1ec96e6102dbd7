#include "export/music_encoder_p.h"

#include "export/music_file.h"

namespace lumora {

namespace {

// Floating point when the encoder takes it, planar first (AAC's own), so
// that the resampler does the only conversion.
AVSampleFormat preferredFormat(const AVCodec& codec) {
  if (codec.sample_fmts == nullptr) return AV_SAMPLE_FMT_FLTP;
  for (const AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT}) {
    for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
      if (*f == wanted) return wanted;
    }
  }
  return codec.sample_fmts[0];
}

ffmpeg::TCodecContext openEncoder(const std::string& name, std::int64_t bitRate, bool globalHeader) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  if (codec == nullptr) ffmpeg::Fail("FFmpeg has no " + name + " encoder");
  ffmpeg::TCodecContext context(avcodec_alloc_context3(codec));
  if (!context) ffmpeg::Fail("out of memory for the " + name + " encoder");
  context->sample_fmt = preferredFormat(*codec);
  context->sample_rate = kMusicSampleRate;
  context->time_base = {1, kMusicSampleRate};
  context->bit_rate = bitRate;
  av_channel_layout_default(&context->ch_layout, 2);
  if (globalHeader) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  ffmpeg::Check(avcodec_open2(context.get(), codec, nullptr), "cannot open the " + name + " encoder");
  return context;
}

}  // namespace

TMusicEncoder::TMusicEncoder(TMuxer& muxer, const std::string& encoder, std::int64_t bitRate,
                             const std::string& musicPath, bool matroska, TMusicWarning onWarning)
    : fMuxer(muxer),
      fOnWarning(std::move(onWarning)),
      fContext(openEncoder(encoder, bitRate, muxer.NeedsGlobalHeader())),
      fMusic(std::make_unique<TMusicDecoder>(musicPath, *fContext)),
      fStream(muxer.AddStream(*fContext)),
      // Encoders that take any frame size still get frames of a fixed one.
      fFrameSize(fContext->frame_size > 0 ? fContext->frame_size : 1024),
      fShift(matroska ? fContext->initial_padding : 0),
      fSkip(matroska && fContext->codec_id != AV_CODEC_ID_OPUS ? fContext->initial_padding : 0),
      fFrame(ffmpeg::NewFrame()),
      fPacket(ffmpeg::NewPacket()) {
  fFrame->format = fContext->sample_fmt;
  fFrame->sample_rate = fContext->sample_rate;
  fFrame->nb_samples = fFrameSize;
  ffmpeg::Check(av_channel_layout_copy(&fFrame->ch_layout, &fContext->ch_layout), "out of memory for the sound");
  ffmpeg::Check(av_frame_get_buffer(fFrame.get(), 0), "out of memory for the sound");
  try {
    if (fSkip > 0) fMusic->Skip(fSkip);
  } catch (const EMusicFile& error) {
    dropMusic(error);
  }
}

// The samples to give the encoder for its stream to end at endMs, as stored:
// with Opus in WebM the sound then stops its codec delay (6.5 ms) before
// the video, so that the file's length stays the video's.
std::int64_t TMusicEncoder::samplesBy(std::int64_t endMs) const { return endMs * kMusicSampleRate / 1000 - fShift; }

void TMusicEncoder::EncodeUntil(std::int64_t endMs) {
  while (samplesBy(endMs) - fSamplesSent >= fFrameSize) encodeFrame(fFrameSize);
}

void TMusicEncoder::Finish(std::int64_t endMs) {
  EncodeUntil(endMs);
  const std::int64_t rest = samplesBy(endMs) - fSamplesSent;
  if (rest > 0) encodeFrame(static_cast<int>(rest));
  ffmpeg::Check(avcodec_send_frame(fContext.get(), nullptr), "cannot finish the sound");
  writePackets();
}

void TMusicEncoder::encodeFrame(int samples) {
  // The encoder may still hold the previous frame's buffers.
  fFrame->nb_samples = fFrameSize;
  ffmpeg::Check(av_frame_make_writable(fFrame.get()), "out of memory for the sound");
  fFrame->nb_samples = samples;
  fillFrame();
  fFrame->pts = fSamplesSent;
  ffmpeg::Check(avcodec_send_frame(fContext.get(), fFrame.get()), "cannot encode the sound");
  fSamplesSent += samples;
  writePackets();
}

// Music that cannot be read on (its file gone between loops, say) leaves
// the rest of the video silent rather than failing it.
void TMusicEncoder::fillFrame() {
  if (fMusic) {
    try {
      fMusic->Read(*fFrame);
      return;
    } catch (const EMusicFile& error) {
      dropMusic(error);
    }
  }
  av_samples_set_silence(fFrame->extended_data, 0, fFrame->nb_samples, fContext->ch_layout.nb_channels,
                         fContext->sample_fmt);
}

void TMusicEncoder::dropMusic(const EMusicFile& error) {
  if (fOnWarning) fOnWarning(std::string(error.what()) + "; the rest of the video is silent");
  fMusic.reset();
}

void TMusicEncoder::writePackets() {
  for (;;) {
    const int received = avcodec_receive_packet(fContext.get(), fPacket.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
    ffmpeg::Check(received, "cannot encode the sound");
    fPacket->pts += fShift;
    fPacket->dts += fShift;
    fMuxer.Write(*fPacket, fStream, fContext->time_base);
  }
}

}  // namespace lumora

#include "export/video_encoder_p.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace lumora {

namespace {

void describePicture(AVCodecContext& context, const TVideoSettings& settings) {
  context.width = settings.Width;
  context.height = settings.Height;
  context.pix_fmt = settings.PixelFormat;
  context.time_base = settings.TimeBase;
  context.framerate = settings.FrameRate;
  context.sample_aspect_ratio = {1, 1};
  context.thread_count = settings.Threads;
  if (settings.Bt709) {
    context.color_primaries = AVCOL_PRI_BT709;
    context.color_trc = AVCOL_TRC_BT709;
    context.colorspace = AVCOL_SPC_BT709;
    context.color_range = AVCOL_RANGE_MPEG;
  }
}

void setOptions(AVCodecContext& context, const TVideoSettings& settings) {
  for (const auto& [name, value] : settings.Options) {
    ffmpeg::Check(av_opt_set(&context, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN),
                  "the " + settings.Encoder + " encoder refuses " + name + "=" + value);
  }
}

}  // namespace

TVideoEncoder::TVideoEncoder(TMuxer& muxer, const TVideoSettings& settings)
    : fMuxer(muxer), fPacket(ffmpeg::NewPacket()) {
  const AVCodec* codec = avcodec_find_encoder_by_name(settings.Encoder.c_str());
  if (codec == nullptr) ffmpeg::Fail("FFmpeg has no " + settings.Encoder + " encoder");
  fContext.reset(avcodec_alloc_context3(codec));
  if (!fContext) ffmpeg::Fail("out of memory for the " + settings.Encoder + " encoder");
  describePicture(*fContext, settings);
  if (muxer.NeedsGlobalHeader()) fContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  setOptions(*fContext, settings);
  ffmpeg::Check(avcodec_open2(fContext.get(), codec, nullptr), "cannot open the " + settings.Encoder + " encoder");
  fStream = muxer.AddStream(*fContext);
}

void TVideoEncoder::Encode(AVFrame& picture, std::int64_t start, std::int64_t duration) {
  picture.pts = start;
  fDurations[start] = duration;
  ffmpeg::Check(avcodec_send_frame(fContext.get(), &picture), "cannot encode a frame");
  writePackets();
}

void TVideoEncoder::Finish() {
  ffmpeg::Check(avcodec_send_frame(fContext.get(), nullptr), "cannot finish the video");
  writePackets();
}

void TVideoEncoder::writePackets() {
  for (;;) {
    const int received = avcodec_receive_packet(fContext.get(), fPacket.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
    ffmpeg::Check(received, "cannot encode a frame");
    const auto known = fDurations.find(fPacket->pts);
    if (known != fDurations.end()) {
      fPacket->duration = known->second;
      fDurations.erase(known);
    }
    fMuxer.Write(*fPacket, fStream, fContext->time_base);
  }
}

}  // namespace lumora

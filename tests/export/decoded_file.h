// Files decoded back with libavformat and libavcodec, as a player would read
// them.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/ffmpeg_handles_p.h"
#include "render/bitmap32.h"

namespace lumora::fixtures {

struct TDecodedFile {
  std::string Container;
  double ContainerSeconds = -1;
  std::string VideoCodec;
  std::vector<std::unique_ptr<TBitmap32>> Frames;  // opaque, as displayed
  std::vector<std::int64_t> StartsMs;
  std::int64_t VideoEndMs = 0;  // the latest end of a video packet, as stored
  std::string AudioCodec;
  std::vector<float> Sound;     // the first channel, at 48 kHz
  std::int64_t SoundStart = 0;  // the time of Sound[0], in 48 kHz samples
};

namespace decoding {

inline void keepPicture(TDecodedFile& file, const AVFrame& frame, AVRational timeBase) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  ffmpeg::TSws sws(sws_getContext(frame.width, frame.height, format, frame.width, frame.height, AV_PIX_FMT_0RGB32,
                                  SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
  const int* matrix = sws_getCoefficients(frame.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
  sws_setColorspaceDetails(sws.get(), matrix, frame.color_range == AVCOL_RANGE_JPEG, matrix, 1, 0, 1 << 16, 1 << 16);
  auto picture = std::make_unique<TBitmap32>();
  picture->Resize(frame.width, frame.height);
  std::uint8_t* target[4] = {reinterpret_cast<std::uint8_t*>(picture->Bits().data())};
  const int stride[4] = {frame.width * 4};
  sws_scale(sws.get(), frame.data, frame.linesize, 0, frame.height, target, stride);
  for (TColor32& p : picture->Bits()) p |= 0xFF000000;
  file.Frames.push_back(std::move(picture));
  const std::int64_t start = av_rescale_q(frame.best_effort_timestamp, timeBase, {1, 1000});
  file.StartsMs.push_back(start);
}

inline void keepSound(TDecodedFile& file, AVFrame& frame, AVRational timeBase) {
  if (file.Sound.empty()) file.SoundStart = av_rescale_q(frame.best_effort_timestamp, timeBase, {1, 48000});
  SwrContext* raw = nullptr;
  AVChannelLayout stereo{};
  av_channel_layout_default(&stereo, 2);
  swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_FLT, 48000, &frame.ch_layout,
                      static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
  ffmpeg::TSwr swr(raw);
  swr_init(raw);
  std::vector<float> both(2 * static_cast<std::size_t>(swr_get_out_samples(raw, frame.nb_samples)) + 2);
  std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(both.data())};
  const int n = swr_convert(raw, out, static_cast<int>(both.size() / 2),
                            const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
  for (int i = 0; i < n; ++i) file.Sound.push_back(both[2 * static_cast<std::size_t>(i)]);
}

}  // namespace decoding

// Every frame and sample of the file's first video and audio streams.
inline TDecodedFile DecodeFile(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) throw std::runtime_error("cannot open " + path);
  ffmpeg::TInput input(raw);
  avformat_find_stream_info(raw, nullptr);
  TDecodedFile file;
  file.Container = raw->iformat->name;
  if (raw->duration != AV_NOPTS_VALUE) file.ContainerSeconds = raw->duration / double(AV_TIME_BASE);
  std::map<int, ffmpeg::TCodecContext> decoders;
  for (unsigned i = 0; i < raw->nb_streams; ++i) {
    const AVCodecParameters& parameters = *raw->streams[i]->codecpar;
    std::string& name = parameters.codec_type == AVMEDIA_TYPE_VIDEO ? file.VideoCodec : file.AudioCodec;
    if (!name.empty() || parameters.codec_type > AVMEDIA_TYPE_AUDIO) continue;
    name = avcodec_get_name(parameters.codec_id);
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    ffmpeg::TCodecContext context(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(context.get(), &parameters);
    context->pkt_timebase = raw->streams[i]->time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) throw std::runtime_error("cannot decode " + name);
    decoders[static_cast<int>(i)] = std::move(context);
  }
  ffmpeg::TPacket packet = ffmpeg::NewPacket();
  ffmpeg::TFrame frame = ffmpeg::NewFrame();
  const auto drain = [&](int stream) {
    AVCodecContext* context = decoders[stream].get();
    while (avcodec_receive_frame(context, frame.get()) == 0) {
      if (context->codec_type == AVMEDIA_TYPE_VIDEO)
        decoding::keepPicture(file, *frame, raw->streams[stream]->time_base);
      if (context->codec_type == AVMEDIA_TYPE_AUDIO) decoding::keepSound(file, *frame, raw->streams[stream]->time_base);
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(raw, packet.get()) >= 0) {
    const int stream = packet->stream_index;
    const AVStream& stored = *raw->streams[stream];
    if (stored.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      const std::int64_t end = av_rescale_q(packet->pts + packet->duration, stored.time_base, {1, 1000});
      file.VideoEndMs = std::max(file.VideoEndMs, end);
    }
    if (decoders.count(stream) != 0 && avcodec_send_packet(decoders[stream].get(), packet.get()) >= 0) drain(stream);
    av_packet_unref(packet.get());
  }
  for (auto& [stream, context] : decoders) {
    avcodec_send_packet(context.get(), nullptr);
    drain(stream);
  }
  return file;
}

}  // namespace lumora::fixtures

// Files decoded back with libavformat and libavcodec, as a player would read
// them, and music files encoded with them for the tests.
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

namespace encoding {

inline void putSample(AVFrame& frame, int index, int channel, double value) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  std::uint8_t* plane = frame.extended_data[planar ? channel : 0];
  const int at = planar ? index : 2 * index + channel;
  if (format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P) {
    reinterpret_cast<std::int16_t*>(plane)[at] = static_cast<std::int16_t>(value * 32767);
  } else if (format == AV_SAMPLE_FMT_S32 || format == AV_SAMPLE_FMT_S32P) {
    reinterpret_cast<std::int32_t*>(plane)[at] = static_cast<std::int32_t>(value * 2147483647.0);
  } else {
    reinterpret_cast<float*>(plane)[at] = static_cast<float>(value);
  }
}

}  // namespace encoding

// A 440 Hz tone of the given length through one of libavcodec's encoders, in
// the container the file's extension names; false when FFmpeg lacks the
// encoder.
inline bool WriteEncodedMusic(const std::string& path, const char* encoderName, double seconds) {
  const AVCodec* codec = avcodec_find_encoder_by_name(encoderName);
  if (codec == nullptr) return false;
  AVFormatContext* raw = nullptr;
  avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str());
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> output(raw, [](AVFormatContext* c) {
    avio_closep(&c->pb);
    avformat_free_context(c);
  });
  ffmpeg::TCodecContext context(avcodec_alloc_context3(codec));
  context->sample_fmt = codec->sample_fmts[0];
  context->sample_rate = 44100;
  context->time_base = {1, 44100};
  av_channel_layout_default(&context->ch_layout, 2);
  if (raw->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;
  AVStream* stream = avformat_new_stream(raw, nullptr);
  avcodec_parameters_from_context(stream->codecpar, context.get());
  stream->time_base = context->time_base;
  if (avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(raw, nullptr) < 0) return false;
  ffmpeg::TPacket packet = ffmpeg::NewPacket();
  const auto writePackets = [&] {
    while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
      av_packet_rescale_ts(packet.get(), context->time_base, stream->time_base);
      packet->stream_index = stream->index;
      av_interleaved_write_frame(raw, packet.get());
    }
  };
  const int frameSize = context->frame_size > 0 ? context->frame_size : 1024;
  const auto total = static_cast<std::int64_t>(seconds * 44100);
  for (std::int64_t done = 0; done < total; done += frameSize) {
    ffmpeg::TFrame frame = ffmpeg::NewFrame();
    frame->format = context->sample_fmt;
    frame->nb_samples = static_cast<int>(std::min<std::int64_t>(frameSize, total - done));
    frame->sample_rate = 44100;
    frame->pts = done;
    av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
    av_frame_get_buffer(frame.get(), 0);
    for (int i = 0; i < frame->nb_samples; ++i) {
      const double value = 0.4 * std::sin(2 * std::numbers::pi * 440 * double(done + i) / 44100);
      for (int channel = 0; channel < 2; ++channel) encoding::putSample(*frame, i, channel, value);
    }
    avcodec_send_frame(context.get(), frame.get());
    writePackets();
  }
  avcodec_send_frame(context.get(), nullptr);
  writePackets();
  return av_write_trailer(raw) >= 0;
}

}  // namespace lumora::fixtures

// Owners for the FFmpeg objects of an export, and the one way an FFmpeg
// error code becomes an EVideoExport.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace lumora::ffmpeg {

struct TCodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TInputDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct TSwsDeleter {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};
struct TSwrDeleter {
  void operator()(SwrContext* c) const { swr_free(&c); }
};
struct TAudioFifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct TFilterGraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};

using TCodecContext = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;
using TFrame = std::unique_ptr<AVFrame, TFrameDeleter>;
using TPacket = std::unique_ptr<AVPacket, TPacketDeleter>;
using TInput = std::unique_ptr<AVFormatContext, TInputDeleter>;
using TSws = std::unique_ptr<SwsContext, TSwsDeleter>;
using TSwr = std::unique_ptr<SwrContext, TSwrDeleter>;
using TAudioFifo = std::unique_ptr<AVAudioFifo, TAudioFifoDeleter>;
using TFilterGraph = std::unique_ptr<AVFilterGraph, TFilterGraphDeleter>;

// Allocations that raise EVideoExport instead of returning null.
TFrame NewFrame();
TPacket NewPacket();

// FFmpeg's text for an error code.
std::string ErrorText(int code);
// Raises EVideoExport "what (FFmpeg's text)" when code is negative.
void Check(int code, const std::string& what);
[[noreturn]] void Fail(const std::string& what);

}  // namespace lumora::ffmpeg

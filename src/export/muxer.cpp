#include "export/muxer_p.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace lumora {

void TMuxer::TOutputDeleter::operator()(AVFormatContext* c) const {
  if (c->pb != nullptr) avio_closep(&c->pb);
  avformat_free_context(c);
}

TMuxer::TMuxer(const char* formatName, const std::string& filePath)
    // The file protocol, named and the only one allowed: a path is never
    // taken for a URL or another protocol's address.
    : fUrl("file:" + filePath) {
  AVFormatContext* context = nullptr;
  ffmpeg::Check(avformat_alloc_output_context2(&context, nullptr, formatName, fUrl.c_str()),
                std::string("cannot set up the ") + formatName + " container");
  fContext.reset(context);
  fContext->protocol_whitelist = av_strdup("file");
  if (fContext->protocol_whitelist == nullptr) ffmpeg::Fail("out of memory for the container");
}

TMuxer::~TMuxer() {
  if (fOpen) av_write_trailer(fContext.get());
}

bool TMuxer::NeedsGlobalHeader() const { return (fContext->oformat->flags & AVFMT_GLOBALHEADER) != 0; }

int TMuxer::AddStream(const AVCodecContext& encoder) {
  AVStream* stream = avformat_new_stream(fContext.get(), nullptr);
  if (stream == nullptr) ffmpeg::Fail("out of memory for a stream");
  ffmpeg::Check(avcodec_parameters_from_context(stream->codecpar, &encoder), "cannot describe a stream");
  stream->time_base = encoder.time_base;
  return stream->index;
}

void TMuxer::SetOption(const char* name, const std::string& value) {
  ffmpeg::Check(av_opt_set(fContext->priv_data, name, value.c_str(), 0),
                std::string("the container refuses ") + name + "=" + value);
}

void TMuxer::Start() {
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avio_open2(&fContext->pb, fUrl.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
  av_dict_free(&options);
  ffmpeg::Check(opened, "cannot write the file");
  ffmpeg::Check(avformat_write_header(fContext.get(), nullptr), "cannot write the container's header");
  fOpen = true;
}

void TMuxer::Write(AVPacket& packet, int stream, AVRational timeBase) {
  packet.stream_index = stream;
  av_packet_rescale_ts(&packet, timeBase, fContext->streams[stream]->time_base);
  ffmpeg::Check(av_interleaved_write_frame(fContext.get(), &packet), "cannot write the file");
}

void TMuxer::Finish() {
  fOpen = false;
  ffmpeg::Check(av_write_trailer(fContext.get()), "cannot finish the file");
  ffmpeg::Check(avio_closep(&fContext->pb), "cannot close the file");
}

}  // namespace lumora

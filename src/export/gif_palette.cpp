#include "export/gif_palette_p.h"

#include <string>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace lumora {

namespace {

constexpr AVRational kHundredths = {1, 100};

ffmpeg::TFilterGraph newGraph() {
  ffmpeg::TFilterGraph graph(avfilter_graph_alloc());
  if (!graph) ffmpeg::Fail("out of memory for the GIF palette");
  return graph;
}

AVFilterContext* addFilter(AVFilterGraph& graph, const char* filter, const char* name, const std::string& args) {
  const AVFilter* type = avfilter_get_by_name(filter);
  if (type == nullptr) ffmpeg::Fail(std::string("FFmpeg has no ") + filter + " filter");
  AVFilterContext* context = nullptr;
  ffmpeg::Check(
      avfilter_graph_create_filter(&context, type, name, args.empty() ? nullptr : args.c_str(), nullptr, &graph),
      std::string("cannot set up the ") + filter + " filter");
  return context;
}

AVFilterContext* addPictureSource(AVFilterGraph& graph, const char* name, std::int32_t width, std::int32_t height) {
  const std::string args = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                           ":pix_fmt=" + std::to_string(AV_PIX_FMT_RGB32) + ":time_base=1/100:pixel_aspect=1/1";
  return addFilter(graph, "buffer", name, args);
}

void link(AVFilterContext* from, AVFilterContext* to, unsigned toPad) {
  ffmpeg::Check(avfilter_link(from, 0, to, toPad), "cannot connect the GIF palette's filters");
}

// Each frame goes through the filters as it comes: left queued, every frame
// of the show would wait in memory until the palette is asked for.
void push(AVFilterContext* source, AVFrame* frame) {
  const int flags = AV_BUFFERSRC_FLAG_PUSH | (frame != nullptr ? AV_BUFFERSRC_FLAG_KEEP_REF : 0);
  ffmpeg::Check(av_buffersrc_add_frame_flags(source, frame, flags), "cannot build the GIF's palette");
}

}  // namespace

TPaletteBuilder::TPaletteBuilder(std::int32_t width, std::int32_t height) : fGraph(newGraph()) {
  fSource = addPictureSource(*fGraph, "frames", width, height);
  // All 256 entries for colours: frames are opaque, so none is kept for
  // transparency.
  AVFilterContext* counter =
      addFilter(*fGraph, "palettegen", "palettegen", "max_colors=256:reserve_transparent=0:stats_mode=full");
  fSink = addFilter(*fGraph, "buffersink", "palette", "");
  link(fSource, counter, 0);
  link(counter, fSink, 0);
  ffmpeg::Check(avfilter_graph_config(fGraph.get(), nullptr), "cannot set up the GIF palette");
}

void TPaletteBuilder::Add(AVFrame& frame) {
  frame.pts = fAdded++;
  push(fSource, &frame);
}

ffmpeg::TFrame TPaletteBuilder::Finish() {
  push(fSource, nullptr);
  ffmpeg::TFrame palette = ffmpeg::NewFrame();
  ffmpeg::Check(av_buffersink_get_frame(fSink, palette.get()), "cannot build the GIF's palette");
  return palette;
}

TPaletteMapper::TPaletteMapper(std::int32_t width, std::int32_t height, AVFrame& palette)
    : fGraph(newGraph()), fMapped(ffmpeg::NewFrame()) {
  fSource = addPictureSource(*fGraph, "frames", width, height);
  AVFilterContext* paletteSource = addPictureSource(*fGraph, "palette", palette.width, palette.height);
  // Each pixel its nearest colour, without dithering: a pixel that keeps its
  // colour keeps its palette entry, so the encoder writes only the pixels
  // that changed (the rest transparent) and their runs pack well, where
  // error diffusion stirred every pixel of every frame.
  AVFilterContext* mapper = addFilter(*fGraph, "paletteuse", "paletteuse", "dither=none:diff_mode=rectangle");
  fSink = addFilter(*fGraph, "buffersink", "mapped", "");
  link(fSource, mapper, 0);
  link(paletteSource, mapper, 1);
  link(mapper, fSink, 0);
  ffmpeg::Check(avfilter_graph_config(fGraph.get(), nullptr), "cannot set up the GIF palette");
  // One palette for every frame: paletteuse keeps the last one it got.
  palette.pts = 0;
  push(paletteSource, &palette);
  push(paletteSource, nullptr);
}

void TPaletteMapper::Map(AVFrame& frame, const TTakeFrame& take) {
  push(fSource, &frame);
  takeMapped(take);
}

void TPaletteMapper::Finish(const TTakeFrame& take) {
  push(fSource, nullptr);
  takeMapped(take);
}

void TPaletteMapper::takeMapped(const TTakeFrame& take) {
  for (;;) {
    const int got = av_buffersink_get_frame(fSink, fMapped.get());
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
    ffmpeg::Check(got, "cannot map a frame to the GIF's palette");
    fMapped->pts = av_rescale_q(fMapped->pts, av_buffersink_get_time_base(fSink), kHundredths);
    take(*fMapped);
    av_frame_unref(fMapped.get());
  }
}

}  // namespace lumora

// The two-pass GIF writer: the first pass builds one palette from every
// frame of the show, the second maps each frame onto it and writes it.
// Frames of another size are scaled by area (see TScaling) in both passes,
// and the encoder writes each frame's changed rectangle with the pixels
// that kept their colour transparent.
#include <string>

#include "export/export_memory_p.h"
#include "export/export_pass_p.h"
#include "export/frame_fitter_p.h"
#include "export/gif_palette_p.h"
#include "export/gif_timeline_p.h"
#include "export/muxer_p.h"
#include "export/video_encoder_p.h"

namespace lumora {

namespace {

struct TGifPalette {
  ffmpeg::TFrame Palette;
  TPictureSize Size;
  std::int64_t TotalMs = 0;
};

TGifPalette buildPalette(TFrameSource& source, std::int64_t count, const TExportOptions& options,
                         TProgressCounter& progress) {
  source.Rewind();
  TSourceFrame frame = PullFrame(source, 0);
  TGifPalette result;
  result.Size = PictureSize(vfGif, options, *frame.Bitmap);
  ChargeExportMemory(vfGif, result.Size, options);
  TFrameFitter fitter(result.Size.BoxWidth, result.Size.BoxHeight, result.Size.CanvasWidth, result.Size.CanvasHeight,
                      AV_PIX_FMT_RGB32, TScaling::Area);
  TPaletteBuilder builder(result.Size.CanvasWidth, result.Size.CanvasHeight);
  for (std::int64_t index = 1;; ++index) {
    builder.Add(fitter.Fit(*frame.Bitmap));
    result.TotalMs += frame.DurationMs;
    progress.Step();
    if (index == count) break;
    frame = PullFrame(source, index);
  }
  result.Palette = builder.Finish();
  return result;
}

TVideoSettings gifSettings(const TPictureSize& size) {
  TVideoSettings settings;
  settings.Encoder = "gif";
  settings.PixelFormat = AV_PIX_FMT_PAL8;
  settings.Width = size.CanvasWidth;
  settings.Height = size.CanvasHeight;
  settings.TimeBase = {1, 100};
  return settings;
}

void writeFrames(TFrameSource& source, std::int64_t count, const std::string& file, TGifPalette& palette,
                 TProgressCounter& progress) {
  const TPictureSize& size = palette.Size;
  TMuxer muxer("gif", file);
  TVideoEncoder encoder(muxer, gifSettings(size));
  muxer.SetOption("loop", "0");
  muxer.Start();
  TFrameFitter fitter(size.BoxWidth, size.BoxHeight, size.CanvasWidth, size.CanvasHeight, AV_PIX_FMT_RGB32,
                      TScaling::Area);
  TPaletteMapper mapper(size.CanvasWidth, size.CanvasHeight, *palette.Palette);
  const TTakeFrame write = [&encoder](AVFrame& mapped) { encoder.Encode(mapped, mapped.pts, 0); };
  TGifTimeline timeline(palette.TotalMs);
  // The fitter holds the frame standing for the current slot until the slot
  // closes, since a later frame may still take its place.
  AVFrame* pending = nullptr;
  std::int64_t startMs = 0;
  source.Rewind();
  for (std::int64_t index = 0; index < count; ++index) {
    const TSourceFrame frame = PullFrame(source, index);
    const std::int64_t slotBefore = timeline.SlotStart();
    const TGifStep step = timeline.Add(startMs, frame.DurationMs);
    if (step.OpensSlot && pending != nullptr) {
      pending->pts = slotBefore;
      mapper.Map(*pending, write);
    }
    if (step.ShowsFrame) pending = &fitter.Fit(*frame.Bitmap);
    startMs += frame.DurationMs;
    progress.Step();
  }
  if (startMs != palette.TotalMs) throw EVideoExport("the show's frames changed between the GIF's two passes");
  pending->pts = timeline.SlotStart();
  mapper.Map(*pending, write);
  mapper.Finish(write);
  encoder.Finish();
  // The muxer takes a frame's delay from the next frame's start; the last
  // one's is given apart.
  muxer.SetOption("final_delay", std::to_string(timeline.FinalDelay()));
  muxer.Finish();
}

}  // namespace

void WriteGif(TFrameSource& source, const std::string& file, const TExportOptions& options) {
  const std::int64_t count = PassLength(source);
  TProgressCounter progress(options.OnProgress, 2 * count);
  TGifPalette palette = buildPalette(source, count, options, progress);
  writeFrames(source, count, file, palette, progress);
}

}  // namespace lumora

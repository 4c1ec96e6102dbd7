// The one-pass writer: MP4, Matroska, WebM and APNG, with the music beside
// the video in the first three.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "export/export_memory_p.h"
#include "export/export_pass_p.h"
#include "export/frame_fitter_p.h"
#include "export/music_encoder_p.h"
#include "export/music_file.h"
#include "export/muxer_p.h"
#include "export/video_encoder_p.h"

namespace lumora {

namespace {

constexpr std::int32_t kX264DefaultCrf = 18;
// At CRF 18 on neon outlines, veryfast takes half of medium's time for files
// 40 % larger; ultrafast a fifth of it, for files three and a half times as large.
constexpr const char* kX264DefaultPreset = "veryfast";
constexpr std::int32_t kVp9DefaultCrf = 30;

struct TVideoProfile {
  const char* Muxer;
  const char* Encoder;
  AVPixelFormat PixelFormat;
  bool Yuv;                  // BT.709 4:2:0, padded to even sizes
  const char* MusicEncoder;  // nullptr: the format carries no sound
  std::int64_t MusicBitRate;
};

TVideoProfile profileOf(TVideoFormat format) {
  switch (format) {
    case vfMp4:
      return {"mp4", "libx264", AV_PIX_FMT_YUV420P, true, "aac", 192'000};
    case vfMatroska:
      return {"matroska", "libx264", AV_PIX_FMT_YUV420P, true, "aac", 192'000};
    case vfWebM:
      return {"webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, true, "libopus", 128'000};
    default:
      return {"apng", "apng", AV_PIX_FMT_RGB24, false, nullptr, 0};
  }
}

std::vector<std::pair<std::string, std::string>> encoderOptions(TVideoFormat format, const TExportOptions& options) {
  if (format == vfMp4 || format == vfMatroska) {
    return {{"crf", std::to_string(options.Crf.value_or(kX264DefaultCrf))},
            {"preset", options.Preset.empty() ? kX264DefaultPreset : options.Preset}};
  }
  if (format == vfWebM) {
    // Constant quality needs the bit rate at 0; "good" at speed 4 with row
    // threads is libvpx's usual trade of time for size.
    return {{"crf", std::to_string(options.Crf.value_or(kVp9DefaultCrf))},
            {"b", "0"},
            {"deadline", "good"},
            {"cpu-used", "4"},
            {"row-mt", "1"}};
  }
  return {};
}

// Times in milliseconds, so that every frame keeps its own duration exactly;
// the first frame's rate is only what the headers announce.
TVideoSettings videoSettings(TVideoFormat format, const TPictureSize& size, const TExportOptions& options,
                             std::int32_t firstDurationMs) {
  const TVideoProfile profile = profileOf(format);
  TVideoSettings settings;
  settings.Encoder = profile.Encoder;
  settings.PixelFormat = profile.PixelFormat;
  settings.Width = size.CanvasWidth;
  settings.Height = size.CanvasHeight;
  settings.TimeBase = {1, 1000};
  av_reduce(&settings.FrameRate.num, &settings.FrameRate.den, 1000, firstDurationMs, 1000);
  settings.Bt709 = profile.Yuv;
  settings.Options = encoderOptions(format, options);
  // As many as the memory estimate counts on.
  if (format == vfMp4 || format == vfMatroska) settings.Threads = X264Threads();
  return settings;
}

class TVideoWriter {
 public:
  TVideoWriter(TVideoFormat format, const std::string& file, const TExportOptions& options, const TPictureSize& size,
               std::int32_t firstDurationMs);
  void Add(const TSourceFrame& frame);
  void Finish();

 private:
  void addMusic(const TExportOptions& options);

  TVideoFormat fFormat;
  TPictureSize fSize;
  TMuxer fMuxer;
  TVideoEncoder fVideo;
  std::unique_ptr<TMusicEncoder> fMusic;
  TFrameFitter fFitter;
  std::int64_t fTimeMs = 0;
  std::int32_t fLastDurationMs = 0;
};

TVideoWriter::TVideoWriter(TVideoFormat format, const std::string& file, const TExportOptions& options,
                           const TPictureSize& size, std::int32_t firstDurationMs)
    : fFormat(format),
      fSize(size),
      fMuxer(profileOf(format).Muxer, file),
      fVideo(fMuxer, videoSettings(format, fSize, options, firstDurationMs)),
      fFitter(fSize.BoxWidth, fSize.BoxHeight, fSize.CanvasWidth, fSize.CanvasHeight, profileOf(format).PixelFormat) {
  const TVideoProfile profile = profileOf(format);
  if (profile.MusicEncoder != nullptr && options.WithMusic && !options.MusicPath.empty()) addMusic(options);
  // The index up front, so that a player can start before the whole file is there.
  if (format == vfMp4) fMuxer.SetOption("movflags", "+faststart");
  // Loop forever, as a GIF does.
  if (format == vfApng) fMuxer.SetOption("plays", "0");
  fMuxer.Start();
}

// Music that cannot be read leaves the video without sound, as the player
// plays on without it.
void TVideoWriter::addMusic(const TExportOptions& options) {
  const TVideoProfile profile = profileOf(fFormat);
  try {
    fMusic = std::make_unique<TMusicEncoder>(fMuxer, profile.MusicEncoder, profile.MusicBitRate, options.MusicPath,
                                             fFormat == vfMatroska || fFormat == vfWebM, options.OnWarning);
  } catch (const EMusicFile& error) {
    if (options.OnWarning) options.OnWarning(std::string(error.what()) + "; the video is made without sound");
  }
}

void TVideoWriter::Add(const TSourceFrame& frame) {
  fVideo.Encode(fFitter.Fit(*frame.Bitmap), fTimeMs, frame.DurationMs);
  fTimeMs += frame.DurationMs;
  fLastDurationMs = frame.DurationMs;
  if (fMusic) fMusic->EncodeUntil(fTimeMs);
}

void TVideoWriter::Finish() {
  fVideo.Finish();
  if (fMusic) fMusic->Finish(fTimeMs);
  // APNG takes a frame's delay from the next frame's start; the last one's
  // is given apart, as a fraction of 16-bit terms like every delay of it.
  if (fFormat == vfApng) {
    AVRational delay{};
    av_reduce(&delay.num, &delay.den, fLastDurationMs, 1000, UINT16_MAX);
    fMuxer.SetOption("final_delay", std::to_string(delay.num) + "/" + std::to_string(delay.den));
  }
  fMuxer.Finish();
}

}  // namespace

void WriteVideo(TFrameSource& source, TVideoFormat format, const std::string& file, const TExportOptions& options) {
  const std::int64_t count = PassLength(source);
  TProgressCounter progress(options.OnProgress, count);
  source.Rewind();
  TSourceFrame frame = PullFrame(source, 0);
  const TPictureSize size = PictureSize(format, options, *frame.Bitmap);
  ChargeExportMemory(format, size, options);
  TVideoWriter writer(format, file, options, size, frame.DurationMs);
  for (std::int64_t index = 1;; ++index) {
    writer.Add(frame);
    progress.Step();
    if (index == count) break;
    frame = PullFrame(source, index);
  }
  writer.Finish();
}

}  // namespace lumora

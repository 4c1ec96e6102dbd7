// ExportVideo: a show's frames written as a video file (H.264 in MP4 or
// Matroska, VP9 in WebM, GIF, APNG) through the FFmpeg libraries, with the
// show's music looped underneath.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/frame_source.h"

namespace lumora {

enum TVideoFormat : std::uint8_t {
  vfByExtension = 0,  // taken from the output file's name
  vfMp4 = 1,          // H.264 and AAC
  vfMatroska = 2,     // H.264 and AAC
  vfWebM = 3,         // VP9 and Opus
  vfGif = 4,          // one palette for the whole show; no sound
  vfApng = 5          // lossless; no sound
};

// Frames done of the total. A GIF reads the show twice, so its total counts
// every frame twice. Throwing from the callback stops the export.
using TExportProgress = std::function<void(std::int64_t done, std::int64_t total)>;

struct TExportOptions {
  TVideoFormat Format = vfByExtension;
  // 0 × 0 keeps the first frame's size. Otherwise, and for every frame of
  // another size, a frame is scaled to fit, keeping its aspect, between
  // black bars. H.264 and VP9 pictures are padded to even sizes.
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // Constant quality: H.264 0 … 51 (default 18), VP9 0 … 63 (default 30).
  std::optional<std::int32_t> Crf;
  // x264's speed preset, "ultrafast" … "placebo"; empty is "veryfast".
  std::string Preset;
  // Any sound FFmpeg reads; it loops for as long as the video runs.
  std::string MusicPath;
  bool WithMusic = true;
  TExportProgress OnProgress;
};

// Every failure of an export: the text names the file and the cause, on one line.
class EVideoExport : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The longest a single frame may last.
inline constexpr std::int32_t kMaxFrameDurationMs = 600'000;
// The largest side of an output picture.
inline constexpr std::int32_t kMaxVideoSide = 16384;

// ".mp4, .mkv, .webm, .gif, .apng"
std::string SupportedVideoExtensions();
// x264's speed presets, fastest first: what TExportOptions::Preset takes.
std::vector<std::string> X264Presets();
// The format a file name asks for; an unknown extension raises EVideoExport.
TVideoFormat VideoFormatFromPath(const std::string& path);

// Writes one pass of the source (two for a GIF) to path. The file appears
// only when complete: it is written under a temporary name beside it, and
// on any failure that file is removed and EVideoExport (or what the source
// or the progress callback threw) propagates.
void ExportVideo(TFrameSource& source, const std::string& path, const TExportOptions& options = {});

}  // namespace lumora

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
// What an export that goes on wants said: music left out, say.
using TExportWarning = std::function<void(const std::string& text)>;

// The box a show's frames are fitted into when no size is asked for.
inline constexpr std::int32_t kDefaultVideoWidth = 3840;
inline constexpr std::int32_t kDefaultVideoHeight = 2160;
// What an export's pictures and encoders may hold unless told otherwise.
inline constexpr std::uint64_t kExportMemoryBudget = std::uint64_t{2} << 30;

struct TExportOptions {
  TVideoFormat Format = vfByExtension;
  // 0 × 0 keeps the first frame's size, fitted into kDefaultVideoWidth ×
  // kDefaultVideoHeight when it is larger. Otherwise, and for every frame
  // of another size, a frame is scaled to fit, keeping its aspect, between
  // black bars. H.264 and VP9 pictures are padded to even sizes.
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // Constant quality: H.264 0 … 51 (default 18), VP9 0 … 63 (default 30).
  std::optional<std::int32_t> Crf;
  // x264's speed preset, "ultrafast" … "placebo"; empty is "veryfast".
  std::string Preset;
  // A sound file (see music_file.h); it loops for as long as the video
  // runs. Music that cannot be read is left out, and OnWarning says why.
  std::string MusicPath;
  bool WithMusic = true;
  TExportProgress OnProgress;
  TExportWarning OnWarning;
  // What the export's pictures and encoders may hold, estimated from the
  // picture size before any encoder opens; an export that needs more is
  // refused.
  std::uint64_t MemoryBudget = kExportMemoryBudget;
};

// Every failure of an export: the text names the file and the cause, on one line.
class EVideoExport : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The longest a single frame may last.
inline constexpr std::int32_t kMaxFrameDurationMs = 600'000;
// The largest side of an output picture in any format: VP9, GIF and APNG
// take up to this, H.264 up to 16384; FFmpeg's pictures hold at most
// about 2^28 pixels in all.
inline constexpr std::int32_t kMaxVideoSide = 65535;

// ".mp4, .mkv, .webm, .gif, .apng"
std::string SupportedVideoExtensions();
// x264's speed presets, fastest first: what TExportOptions::Preset takes.
std::vector<std::string> X264Presets();
// The format a file name asks for; an unknown extension raises EVideoExport.
TVideoFormat VideoFormatFromPath(const std::string& path);
// Why a picture of width × height cannot be written in the format (its
// encoder would refuse it); empty when it can.
std::string VideoSizeProblem(TVideoFormat format, std::int32_t width, std::int32_t height);

// Writes one pass of the source (two for a GIF) to path. The file appears
// only when complete: it is written under a temporary name beside it (see
// io/pending_file.h), and on any failure that file is removed and
// EVideoExport (or what the source or the progress callback threw)
// propagates.
void ExportVideo(TFrameSource& source, const std::string& path, const TExportOptions& options = {});

}  // namespace lumora

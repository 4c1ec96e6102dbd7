#include "export/video_export.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <filesystem>
#include <string_view>

extern "C" {
#include <libavutil/log.h>
}

#include "export/export_pass_p.h"
#include "io/pending_file.h"

namespace lumora {

namespace {

struct TExtension {
  std::string_view Name;
  TVideoFormat Format;
};

constexpr std::array<TExtension, 5> kExtensions = {{
    {".mp4", vfMp4},
    {".mkv", vfMatroska},
    {".webm", vfWebM},
    {".gif", vfGif},
    {".apng", vfApng},
}};

// libx264 refuses wider or taller pictures.
constexpr std::int32_t kMaxH264Side = 16384;

constexpr std::array<std::string_view, 10> kX264Presets = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                                                           "medium",    "slow",      "slower",   "veryslow", "placebo"};

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

TVideoFormat formatOfName(const std::string& path) {
  const std::string extension = lowerCase(std::filesystem::path(path).extension().string());
  for (const TExtension& known : kExtensions) {
    if (known.Name == extension) return known.Format;
  }
  const std::string shown = extension.empty() ? "no extension" : "\"" + extension + "\"";
  throw EVideoExport("unknown video format (" + shown + "); supported: " + SupportedVideoExtensions());
}

// FFmpeg's own rule for a picture it allocates (av_image_check_size, which
// would also log): 8 bytes a pixel and a margin of 128 each way stay below
// 2^31.
bool fitsFfmpegPicture(std::int64_t width, std::int64_t height) {
  return (8 * width + 8 * 128) * (height + 128) < INT_MAX;
}

bool isH264(TVideoFormat format) { return format == vfMp4 || format == vfMatroska; }

const char* codecName(TVideoFormat format) {
  switch (format) {
    case vfMp4:
    case vfMatroska: return "H.264";
    case vfWebM: return "VP9";
    case vfGif: return "GIF";
    default: return "APNG";
  }
}

void checkSize(const TExportOptions& options, TVideoFormat format) {
  if (options.Width == 0 && options.Height == 0) return;
  const std::string problem = VideoSizeProblem(format, options.Width, options.Height);
  if (!problem.empty()) throw EVideoExport(problem);
}

void checkQuality(const TExportOptions& options, TVideoFormat format) {
  const bool h264 = isH264(format);
  if (options.Crf && (h264 || format == vfWebM)) {
    const std::int32_t highest = h264 ? 51 : 63;
    if (*options.Crf < 0 || *options.Crf > highest) {
      throw EVideoExport("CRF " + std::to_string(*options.Crf) + " is outside 0 to " + std::to_string(highest));
    }
  }
  if (!options.Preset.empty() &&
      std::find(kX264Presets.begin(), kX264Presets.end(), options.Preset) == kX264Presets.end()) {
    std::string names;
    for (const std::string_view name : kX264Presets) names += (names.empty() ? "" : ", ") + std::string(name);
    throw EVideoExport("unknown preset \"" + options.Preset + "\"; x264 has " + names);
  }
}

}  // namespace

std::vector<std::string> X264Presets() { return {kX264Presets.begin(), kX264Presets.end()}; }

namespace {

TVideoFormat chosenFormat(const std::string& path, const TExportOptions& options) {
  if (options.Format == vfByExtension) return formatOfName(path);
  if (options.Format > vfApng) throw EVideoExport("unknown video format (" + std::to_string(options.Format) + ")");
  return options.Format;
}

}  // namespace

std::string SupportedVideoExtensions() {
  std::string list;
  for (const TExtension& known : kExtensions) list += (list.empty() ? "" : ", ") + std::string(known.Name);
  return list;
}

std::string VideoSizeProblem(TVideoFormat format, std::int32_t width, std::int32_t height) {
  const std::int32_t most = isH264(format) ? kMaxH264Side : kMaxVideoSide;
  const std::string size = std::to_string(width) + "x" + std::to_string(height) + " pixels";
  if (width < 1 || height < 1 || width > most || height > most) {
    return "a video cannot be " + size + " (" + codecName(format) + " takes 1 to " + std::to_string(most) +
           " a side)";
  }
  const bool even = format != vfGif && format != vfApng;
  if (!fitsFfmpegPicture(even ? width + (width & 1) : width, even ? height + (height & 1) : height)) {
    return "a video cannot be " + size + " (FFmpeg's pictures hold about 268 million pixels at most)";
  }
  return {};
}

TVideoFormat VideoFormatFromPath(const std::string& path) {
  try {
    return formatOfName(path);
  } catch (const EVideoExport& error) {
    throw EVideoExport(path + ": " + error.what());
  }
}

void ExportVideo(TFrameSource& source, const std::string& path, const TExportOptions& options) {
  // Failures come back as exceptions; the libraries' own chatter (the
  // encoder's settings, statistics) is not for the user.
  av_log_set_level(AV_LOG_ERROR);
  try {
    const TVideoFormat format = chosenFormat(path, options);
    checkSize(options, format);
    checkQuality(options, format);
    TPendingFile file(path);
    if (format == vfGif) {
      WriteGif(source, file.TemporaryPath(), options);
    } else {
      WriteVideo(source, format, file.TemporaryPath(), options);
    }
    file.Commit();
  } catch (const EVideoExport& error) {
    throw EVideoExport(path + ": " + error.what());
  } catch (const TWriteError& error) {
    throw EVideoExport(path + ": " + error.what());
  }
}

}  // namespace lumora

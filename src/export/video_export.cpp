#include "export/video_export.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

extern "C" {
#include <libavutil/log.h>
}

#include "export/export_pass_p.h"
#include "export/pending_file_p.h"

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

void checkSize(const TExportOptions& options) {
  if (options.Width == 0 && options.Height == 0) return;
  const auto fits = [](std::int32_t side) { return side >= 1 && side <= kMaxVideoSide; };
  if (!fits(options.Width) || !fits(options.Height)) {
    throw EVideoExport("a video cannot be " + std::to_string(options.Width) + "x" + std::to_string(options.Height) +
                       " pixels (1 to " + std::to_string(kMaxVideoSide) + " a side)");
  }
}

void checkQuality(const TExportOptions& options, TVideoFormat format) {
  const bool h264 = format == vfMp4 || format == vfMatroska;
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
    checkSize(options);
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
  }
}

}  // namespace lumora

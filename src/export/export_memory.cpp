#include "export/export_memory_p.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <thread>

namespace lumora {

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// What libx264 keeps per preset: the frames it looks ahead, its B-frames
// and its reference frames.
struct TX264Queue {
  std::string_view Preset;
  std::int32_t Lookahead;
  std::int32_t BFrames;
  std::int32_t References;
};

constexpr std::array<TX264Queue, 10> kX264Queues = {{
    {"ultrafast", 0, 0, 1},
    {"superfast", 0, 3, 1},
    {"veryfast", 10, 3, 1},
    {"faster", 20, 3, 2},
    {"fast", 30, 3, 2},
    {"medium", 40, 3, 3},
    {"slow", 50, 3, 5},
    {"slower", 60, 3, 8},
    {"veryslow", 60, 8, 16},
    {"placebo", 60, 16, 16},
}};

// Bytes per pixel, measured with /usr/bin/time -v on exports of 1000² to
// 2000² pixels (and libx264 alone at 1 to 16 threads and every preset)
// and rounded up: x264's own frame (the picture, its half-pixel planes
// and its look-ahead copy at a quarter of the size); libvpx's frame with
// its borders; the YUV 4:2:0 and RGB pictures; what the GIF's palette
// mapping and its encoder keep of a frame (the frame before, its mapped
// copy, the LZW buffers and the packet the container holds back); what
// the APNG encoder keeps (the frames before, the candidate blends and
// their compressed copies).
constexpr double kX264Frame = 4.2;
constexpr double kVp9Frame = 2.2;
constexpr double kYuvPicture = 1.5;
constexpr double kRgb32Picture = 4.0;
constexpr double kRgb24Picture = 3.0;
constexpr double kGifMapping = 6.0;
constexpr double kApngEncoder = 7.0;
// More frame threads hold three frames each for little more speed at
// these sizes.
constexpr std::int32_t kMaxX264Threads = 8;
// libvpx's look-ahead (its default lag) and the frames it keeps beside it:
// references, the alternate reference and its filtered copies.
constexpr std::int32_t kVp9Lag = 25;
constexpr std::int32_t kVp9Kept = 16;
// libvpx pads every frame with this border on each side.
constexpr std::int64_t kVp9Border = 160;
// Encoders' tables and threads' stacks, whatever the size.
constexpr std::uint64_t kFixed = 64 * kMiB;

const TX264Queue& x264Queue(const TExportOptions& options) {
  const std::string_view preset = options.Preset.empty() ? std::string_view("veryfast") : options.Preset;
  const auto* found =
      std::find_if(kX264Queues.begin(), kX264Queues.end(), [&](const TX264Queue& q) { return q.Preset == preset; });
  return found != kX264Queues.end() ? *found : kX264Queues.back();
}

std::uint64_t bytes(double perPixel, double pixels) { return static_cast<std::uint64_t>(perPixel * pixels); }

// The frames x264 holds: those it looks ahead and reorders, those each of
// its threads encodes and the references they read.
std::uint64_t x264Memory(double pixels, const TExportOptions& options) {
  const TX264Queue& queue = x264Queue(options);
  const std::int32_t frames = queue.Lookahead + 2 * queue.BFrames + 3 * X264Threads() + queue.References + 2;
  return bytes(kX264Frame * frames, pixels);
}

std::uint64_t vp9Memory(const TPictureSize& size) {
  const double bordered = double(size.CanvasWidth + 2 * kVp9Border) * double(size.CanvasHeight + 2 * kVp9Border);
  return bytes(kVp9Frame * (kVp9Lag + kVp9Kept), bordered);
}

// The frame fitter's canvas and output picture, and what the encoder keeps.
std::uint64_t encoderMemory(TVideoFormat format, const TPictureSize& size, const TExportOptions& options) {
  const double pixels = double(size.CanvasWidth) * double(size.CanvasHeight);
  switch (format) {
    case vfMp4:
    case vfMatroska:
      return bytes(kRgb32Picture + kYuvPicture, pixels) + x264Memory(pixels, options);
    case vfWebM:
      return bytes(kRgb32Picture + kYuvPicture, pixels) + vp9Memory(size);
    case vfGif:
      return bytes(2 * kRgb32Picture + kGifMapping, pixels);
    default:
      return bytes(kRgb32Picture + kRgb24Picture + kApngEncoder, pixels);
  }
}

std::string mebibytes(std::uint64_t value) { return std::to_string((value + kMiB - 1) / kMiB) + " MiB"; }

}  // namespace

std::int32_t X264Threads() {
  const auto cores = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return std::clamp(cores * 3 / 2, 1, kMaxX264Threads);
}

std::uint64_t ExportMemory(TVideoFormat format, const TPictureSize& size, const TExportOptions& options) {
  return kFixed + encoderMemory(format, size, options);
}

void ChargeExportMemory(TVideoFormat format, const TPictureSize& size, const TExportOptions& options) {
  const std::uint64_t needed = ExportMemory(format, size, options);
  if (needed <= options.MemoryBudget) return;
  throw EVideoExport("a video of " + std::to_string(size.BoxWidth) + "x" + std::to_string(size.BoxHeight) +
                     " pixels needs about " + mebibytes(needed) + " of memory to write, more than the " +
                     mebibytes(options.MemoryBudget) + " allowed");
}

}  // namespace lumora

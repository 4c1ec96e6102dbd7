// lumora-export-bench: how much faster than real time a show exports to
// H.264 — synthetic 1280 × 720 frames of moving glowing shapes, 30 ms each,
// drawn with the raster core as the player draws them. The time spent
// drawing is left out, so that the figure is the exporter's own.
//   lumora-export-bench [Google Benchmark options]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "export/video_export.h"

namespace lumora::bench {
namespace {

constexpr std::int32_t kWidth = 1280;
constexpr std::int32_t kHeight = 720;
constexpr std::int32_t kFrameMs = 30;
constexpr std::int64_t kFrames = 300;
constexpr int kShapes = 14;

using TClock = std::chrono::steady_clock;

// CPU seconds of every thread of the process: the machine's cores are
// shared, so the wall time alone says as much about the neighbours.
double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

TColor32 withAlpha(TColor32 colour, std::uint8_t alpha) { return (colour & 0x00FFFFFF) | (TColor32{alpha} << 24); }

// A star of the given points and radii, turned by angle, in 16.16 pixels.
TArrayOfFixedPoint star(double cx, double cy, double outer, double inner, int points, double angle) {
  TArrayOfFixedPoint outline;
  for (int k = 0; k < 2 * points; ++k) {
    const double radius = k % 2 == 0 ? outer : inner;
    const double a = angle + k * std::numbers::pi / points;
    outline.push_back({static_cast<TFixed>((cx + radius * std::cos(a)) * kFixedOne),
                       static_cast<TFixed>((cy + radius * std::sin(a)) * kFixedOne)});
  }
  return outline;
}

// A tube along a star's outline, halfWidth either side, as one contour: the
// outer star, then the inner one backwards; the seam between them cancels
// under the even-odd rule.
TArrayOfFixedPoint tube(double cx, double cy, double outer, double inner, double angle, double halfWidth) {
  TArrayOfFixedPoint contour = star(cx, cy, outer + halfWidth, inner + halfWidth, 5, angle);
  contour.push_back(contour.front());
  const TArrayOfFixedPoint hole = star(cx, cy, outer - halfWidth, inner - halfWidth, 5, angle);
  contour.insert(contour.end(), hole.rbegin(), hole.rend());
  contour.push_back(hole.back());
  return contour;
}

// Neon outlines drifting over black — three widening translucent glows
// around a bright tube with a white core — inside a marquee of chasing
// lamps, as the demo show looks.
class TGlowShow : public TFrameSource {
 public:
  std::int64_t FrameCount() const override { return kFrames; }
  void Rewind() override { fNext = 0; }
  TSourceFrame NextFrame() override {
    const TClock::time_point start = TClock::now();
    const double cpuStart = threadCpuSeconds();
    fSurface.Resize(kWidth, kHeight);
    fSurface.Clear(clBlack32);
    const std::int64_t index = fNext++;
    for (int shape = 0; shape < kShapes; ++shape) drawOutline(shape, index);
    drawMarquee(index);
    DrawSeconds += std::chrono::duration<double>(TClock::now() - start).count();
    DrawCpuSeconds += threadCpuSeconds() - cpuStart;
    return {&fSurface, kFrameMs};
  }

  double DrawSeconds = 0;
  double DrawCpuSeconds = 0;

 private:
  void drawOutline(int shape, std::int64_t index) {
    static constexpr TColor32 kColours[] = {0xFFFF2080, 0xFF20FF60, 0xFF3080FF, 0xFFFFC020, 0xFFC040FF};
    const double t = 0.03 * static_cast<double>(index);
    const double cx = kWidth * (0.5 + 0.38 * std::sin(t * (1 + 0.1 * shape) + shape));
    const double cy = kHeight * (0.5 + 0.34 * std::cos(t * (0.7 + 0.13 * shape) + 2 * shape));
    const double size = 40 + 8 * (shape % 5);
    const double angle = t + shape;
    const TColor32 colour = kColours[shape % 5];
    for (const double glow : {9.0, 6.0, 3.5}) {
      fSurface.PolygonFillSmooth(tube(cx, cy, size, size * 0.5, angle, glow), withAlpha(colour, 0x30), pfAlternate);
    }
    fSurface.PolygonFillSmooth(tube(cx, cy, size, size * 0.5, angle, 1.5), colour, pfAlternate);
    fSurface.PolylineSmoothFixed(star(cx, cy, size, size * 0.5, 5, angle), clWhite32, true);
  }

  // Lamps along the border, every third one lit, the lit ones moving on a
  // lamp each frame.
  void drawMarquee(std::int64_t index) {
    constexpr int kAcross = 64;
    constexpr int kDown = 36;
    constexpr double kStep = double(kWidth) / kAcross;
    for (int k = 0; k < 2 * (kAcross + kDown); ++k) {
      const bool top = k < kAcross, right = k >= kAcross && k < kAcross + kDown;
      const bool bottom = k >= kAcross + kDown && k < 2 * kAcross + kDown;
      const int j = top ? k : right ? k - kAcross : bottom ? k - kAcross - kDown : k - 2 * kAcross - kDown;
      const double x = top || bottom ? (j + 0.5) * kStep : right ? kWidth - 6 : 6;
      const double y = top ? 6 : bottom ? kHeight - 6 : (j + 0.5) * kStep;
      const bool lit = (k + index) % 3 == 0;
      fSurface.PolygonFillSmooth(star(x, y, 4, 4, 6, 0), lit ? 0xFFFFE080 : 0xFF402810, pfWinding);
    }
  }

  TBitmap32 fSurface;
  std::int64_t fNext = 0;
};

// Real time is the show's length; the exporter's time is the wall time of
// the export less the drawing, with x264's own choice of threads.
void BM_ExportH264(benchmark::State& state, const std::string& preset) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("lumora-export-bench-" + std::to_string(::getpid()) + ".mp4"))
          .string();
  TExportOptions options;
  options.Preset = preset;
  double exportSeconds = 0;
  double drawSeconds = 0;
  double exportCpuSeconds = 0;
  double fileBytes = 0;
  for (auto _ : state) {
    TGlowShow show;
    const TClock::time_point start = TClock::now();
    const double cpuStart = processCpuSeconds();
    ExportVideo(show, path, options);
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    state.SetIterationTime(wall - show.DrawSeconds);
    exportSeconds += wall - show.DrawSeconds;
    drawSeconds += show.DrawSeconds;
    exportCpuSeconds += processCpuSeconds() - cpuStart - show.DrawCpuSeconds;
    fileBytes = static_cast<double>(std::filesystem::file_size(path));
  }
  std::filesystem::remove(path);
  const double showSeconds = static_cast<double>(state.iterations() * kFrames * kFrameMs) / 1000;
  state.counters["x_real_time"] = showSeconds / exportSeconds;
  state.counters["x_real_time_with_drawing"] = showSeconds / (exportSeconds + drawSeconds);
  state.counters["export_fps"] = static_cast<double>(state.iterations() * kFrames) / exportSeconds;
  // What the export would reach with every core of the machine to itself.
  const double cores = static_cast<double>(std::thread::hardware_concurrency());
  state.counters["x_real_time_idle_machine"] = showSeconds * cores / exportCpuSeconds;
  state.counters["mb_per_minute"] = fileBytes / 1e6 * 60000 / double(kFrames * kFrameMs);
  state.counters["cpu_ms_per_frame"] = 1000 * exportCpuSeconds / static_cast<double>(state.iterations() * kFrames);
}

// The default preset first; medium and ultrafast show the trade of speed
// for file size around it.
BENCHMARK_CAPTURE(BM_ExportH264, default, std::string())->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportH264, medium, std::string("medium"))
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportH264, ultrafast, std::string("ultrafast"))
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  // x264's summary of every export would bury the table.
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

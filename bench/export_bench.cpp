// lumora-export-bench: how much faster than real time a show exports to
// H.264 — synthetic 1280 × 720 frames of moving glowing shapes, 30 ms each,
// drawn with the raster core as the player draws them. The time spent
// drawing is left out, so that the figure is the exporter's own.
//   lumora-export-bench [Google Benchmark options]
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

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

// Neon shapes drifting over black: three widening translucent glows under a
// bright core and a white tube outline, as the player's outlines look.
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
    for (int shape = 0; shape < kShapes; ++shape) drawShape(shape, index);
    DrawSeconds += std::chrono::duration<double>(TClock::now() - start).count();
    DrawCpuSeconds += threadCpuSeconds() - cpuStart;
    return {&fSurface, kFrameMs};
  }

  double DrawSeconds = 0;
  double DrawCpuSeconds = 0;

 private:
  void drawShape(int shape, std::int64_t index) {
    static constexpr TColor32 kColours[] = {0xFFFF2080, 0xFF20FF60, 0xFF3080FF, 0xFFFFC020, 0xFFC040FF};
    const double t = 0.03 * static_cast<double>(index);
    const double cx = kWidth * (0.5 + 0.4 * std::sin(t * (1 + 0.1 * shape) + shape));
    const double cy = kHeight * (0.5 + 0.38 * std::cos(t * (0.7 + 0.13 * shape) + 2 * shape));
    const double size = 30 + 6 * (shape % 5);
    const TColor32 colour = kColours[shape % 5];
    for (const double glow : {2.0, 1.6, 1.3}) {
      fSurface.PolygonFillSmooth(star(cx, cy, size * glow, size * 0.5 * glow, 5, t + shape), withAlpha(colour, 0x30),
                                 pfWinding);
    }
    const TArrayOfFixedPoint core = star(cx, cy, size, size * 0.5, 5, t + shape);
    fSurface.PolygonFillSmooth(core, colour, pfWinding);
    fSurface.PolylineSmoothFixed(core, clWhite32, true);
  }

  TBitmap32 fSurface;
  std::int64_t fNext = 0;
};

// Real time is the show's length; the exporter's time is the wall time of
// the export less the drawing, with x264's own choice of threads.
void BM_ExportH264(benchmark::State& state, const std::string& preset) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("lumora-export-bench-" + std::to_string(::getpid()) + ".mp4")).string();
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

BENCHMARK_CAPTURE(BM_ExportH264, medium, std::string("medium"))->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportH264, veryfast, std::string("veryfast"))->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportH264, superfast, std::string("superfast"))->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportH264, ultrafast, std::string("ultrafast"))->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportH264, faster, std::string("faster"))->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

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

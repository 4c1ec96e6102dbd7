// lumora-bench: the player's speed and memory on the reference show, with
// Cairo as the peer, all measured in one run, followed by a summary of the
// ratios the targets are stated in.
//   lumora-bench [Google Benchmark options]
//   lumora-bench --memory FILE    peak memory of a player holding FILE
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/cairo_peer.h"
#include "bench/outline_jobs.h"
#include "bench/reference_show.h"
#include "io/stream.h"
#include "render/gr32_graphics.h"
#include "show/headless_show.h"

namespace lumora::bench {
namespace {

constexpr TColor32 kOpaqueBlack = 0xFF000000;
constexpr int kRepetitions = 5;

// A show loaded as the player loads it into a window of the show's size.
class TLoadedShow {
 public:
  explicit TLoadedShow(const std::string& path) : fShow(kShowWidth, kShowHeight) {
    fShow.Engine.LoadMovie(path);
    if (!fShow.Host.Messages.empty() || !Engine().LastLoadError().empty() || !Engine().VectorMode()) {
      throw std::runtime_error(path + ": the reference show did not load (" + Engine().LastLoadError() + ")");
    }
  }

  TShowEngine& Engine() { return fShow.Engine; }
  std::int32_t FrameCount() {
    const TFrameDataLayer* grid = Engine().GridLayers().CurrentLayer();
    return grid != nullptr ? static_cast<std::int32_t>(grid->Merged.size()) : 0;
  }

 private:
  THeadlessShow fShow;
};

// What every measurement shares: the show's file, one player holding it and
// what was taken from its prepared scene.
struct TContext {
  std::string ShowPath;
  std::unique_ptr<TLoadedShow> Show;
  std::vector<TOutlineJob> Jobs;
  std::vector<TStoredCoverage> Coverage;
  std::vector<TCairoMask> CairoMasks;
};

TContext& context() {
  static TContext c;
  return c;
}

TColor32 jobColour(std::size_t i) { return 0xFF000000 | static_cast<TColor32>((i * 2654435761u) & 0x00FFFFFF); }

void resizeLikeFrame(TBitmap32& surface) {
  const TBitmap32& frame = context().Show->Engine().FrameBitmap();
  surface.Resize(frame.Width(), frame.Height());
  surface.Clear(kOpaqueBlack);
}

// (a) One frame as the player draws it on a tick of its timer.
void renderFrame(benchmark::State& state) {
  TLoadedShow& show = *context().Show;
  const std::int32_t frames = show.FrameCount();
  std::int32_t frame = 0;
  for (auto _ : state) {
    show.Engine().DrawFrame(frame);
    frame = (frame + 1) % frames;
  }
  state.SetItemsProcessed(state.iterations());
}

// Every stored byte's pixel, written once with a plain store.
void writeEveryByte(TBitmap32& surface, const TStoredCoverage& coverage) {
  const std::size_t count = std::min(coverage.Mask->RowOrigins.size(), coverage.Mask->CoverageRows.size());
  for (std::size_t k = 0; k < count; ++k) {
    const TPoint origin = coverage.Mask->RowOrigins[k];
    if (origin.Y < 0 || origin.Y >= surface.Height()) continue;
    const auto size = static_cast<std::int64_t>(coverage.Mask->CoverageRows[k].size());
    const std::int64_t from = std::max<std::int64_t>(0, -std::int64_t{origin.X});
    const std::int64_t to = std::min<std::int64_t>(size, std::int64_t{surface.Width()} - origin.X);
    if (from >= to) continue;
    TColor32* pixel = surface.PixelAddress(static_cast<std::int32_t>(origin.X + from), origin.Y);
    for (std::int64_t i = from; i < to; ++i) *pixel++ = coverage.Colour;
  }
}

// (b) The work no frame can avoid: the clear and one store per stored byte.
void lowerBound(benchmark::State& state) {
  TBitmap32 surface;
  resizeLikeFrame(surface);
  for (auto _ : state) {
    surface.Clear(kOpaqueBlack);
    for (const TStoredCoverage& coverage : context().Coverage) writeEveryByte(surface, coverage);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

// (c) From opening the file to the first frame drawn.
void loadShow(benchmark::State& state) {
  for (auto _ : state) {
    auto show = std::make_unique<TLoadedShow>(context().ShowPath);
    state.PauseTiming();
    show.reset();
    state.ResumeTiming();
  }
}

// (d) Every outline's coverage computed afresh, as the prepare pass does.
void coverageOurs(benchmark::State& state) {
  TBitmap32 surface;
  resizeLikeFrame(surface);
  TGR32Graphics painter;
  painter.Bitmap = &surface;
  const std::vector<TOutlineJob>& jobs = context().Jobs;
  for (auto _ : state) {
    for (std::size_t i = 0; i < jobs.size(); ++i) DrawJobFresh(painter, jobs[i], jobColour(i));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

void coverageOursComputeOnly(benchmark::State& state) {
  TBitmap32 surface;
  resizeLikeFrame(surface);
  TGR32Graphics painter;
  const std::vector<TOutlineJob>& jobs = context().Jobs;
  for (auto _ : state) {
    for (const TOutlineJob& job : jobs) ComputeJobCoverage(painter, surface, job);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

void coverageCairo(benchmark::State& state) {
  TCairoCanvas canvas(kShowWidth, kShowHeight);
  const std::vector<TOutlineJob>& jobs = context().Jobs;
  for (auto _ : state) {
    for (std::size_t i = 0; i < jobs.size(); ++i) canvas.Draw(jobs[i], jobColour(i));
    canvas.Flush();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

// (e) Every stored coverage repainted, as a frame repaints the outlines.
void repaintOurs(benchmark::State& state) {
  TBitmap32 surface;
  resizeLikeFrame(surface);
  for (auto _ : state) {
    for (const TStoredCoverage& c : context().Coverage) PaintCoverage(surface, *c.Mask, c.Colour);
    benchmark::ClobberMemory();
  }
}

void repaintCairoMasks(benchmark::State& state) {
  TCairoCanvas canvas(kShowWidth, kShowHeight);
  for (auto _ : state) {
    for (const TCairoMask& mask : context().CairoMasks) {
      canvas.PaintMask(mask.Surface.get(), mask.X, mask.Y, mask.Colour);
    }
    canvas.Flush();
  }
}

// Names of the measurements, as the summary refers to them.
constexpr const char* kRenderFrame = "a_RenderFrame";
constexpr const char* kLowerBound = "b_LowerBound_ClearAndStoreEveryByte";
constexpr const char* kLoad = "c_LoadAndPrepare_OpenToFirstFrame";
constexpr const char* kCoverageOurs = "d_Coverage_Ours_DrawingInterface";
constexpr const char* kCoverageOursCompute = "d_Coverage_Ours_WidenAndScanOnly";
constexpr const char* kCoverageCairo = "d_Coverage_Cairo_FillStroke";
constexpr const char* kRepaintOurs = "e_Repaint_Ours_PaintCoverage";
constexpr const char* kRepaintCairo = "e_Repaint_Cairo_MaskSurface";

void registerBenchmarks() {
  using benchmark::RegisterBenchmark;
  auto common = [](benchmark::internal::Benchmark* b) {
    b->Repetitions(kRepetitions)->DisplayAggregatesOnly(true)->UseRealTime();
  };
  common(RegisterBenchmark(kRenderFrame, renderFrame)->Unit(benchmark::kMicrosecond));
  common(RegisterBenchmark(kLowerBound, lowerBound)->Unit(benchmark::kMicrosecond));
  common(RegisterBenchmark(kLoad, loadShow)->Unit(benchmark::kMillisecond)->Iterations(3));
  common(RegisterBenchmark(kCoverageOurs, coverageOurs)->Unit(benchmark::kMillisecond));
  common(RegisterBenchmark(kCoverageOursCompute, coverageOursComputeOnly)->Unit(benchmark::kMillisecond));
  common(RegisterBenchmark(kCoverageCairo, coverageCairo)->Unit(benchmark::kMillisecond));
  common(RegisterBenchmark(kRepaintOurs, repaintOurs)->Unit(benchmark::kMicrosecond));
  common(RegisterBenchmark(kRepaintCairo, repaintCairoMasks)->Unit(benchmark::kMicrosecond));
}

// Keeps the seconds per iteration of every measurement: the median of the
// repetitions, or the single run when there are none.
class TCollectingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal.
  TCollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations <= 0) continue;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        fMedians[name] = seconds;
      } else if (run.run_type == Run::RT_Iteration) {
        fSingles[name] = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Seconds per iteration, or a negative value when it did not run.
  double Seconds(const std::string& name) const {
    if (auto m = fMedians.find(name); m != fMedians.end()) return m->second;
    if (auto s = fSingles.find(name); s != fSingles.end()) return s->second;
    return -1;
  }

 private:
  std::map<std::string, double> fMedians;
  std::map<std::string, double> fSingles;
};

// A field of /proc/self/status in KiB, or -1.
long statusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

// (f) Run in a process of its own, so that nothing else has raised the peak.
int measureMemory(const std::string& path) {
  const long before = statusKiB("VmHWM");
  TLoadedShow show(path);
  const std::int32_t frames = show.FrameCount();
  for (std::int32_t f = 0; f < frames; ++f) show.Engine().DrawFrame(f);
  std::printf("peak-before-load-kib %ld\npeak-kib %ld\nresident-kib %ld\n", before, statusKiB("VmHWM"),
              statusKiB("VmRSS"));
  return 0;
}

struct TMemoryFigures {
  long BeforeLoadKiB = -1;
  long PeakKiB = -1;
  long ResidentKiB = -1;
};

std::string selfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

TMemoryFigures memoryOfChild(const std::string& showPath) {
  std::string command = "'";
  command += selfPath();
  command += "' --memory '";
  command += showPath;
  command += "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot start the memory measurement");
  TMemoryFigures figures;
  char key[64];
  long value = 0;
  while (std::fscanf(pipe, "%63s %ld", key, &value) == 2) {
    const std::string k = key;
    if (k == "peak-before-load-kib") figures.BeforeLoadKiB = value;
    if (k == "peak-kib") figures.PeakKiB = value;
    if (k == "resident-kib") figures.ResidentKiB = value;
  }
  if (pclose(pipe) != 0 || figures.PeakKiB < 0) throw std::runtime_error("the memory measurement failed");
  return figures;
}

std::string cpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  return text;
}

void printMachine() {
  utsname name{};
  uname(&name);
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  sched_getaffinity(0, sizeof cpus, &cpus);
  std::printf("machine: %s; %ld cores online, this run on %d; Linux %s\n", cpuModel().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), CPU_COUNT(&cpus), name.release);
  std::printf("date: %s; compiler: GCC %s; Cairo %s (%s)\n", utcNow().c_str(), __VERSION__,
              CairoVersion().c_str(), CairoAntialiasName());
}

const char* verdict(bool met) { return met ? "met" : "NOT MET"; }

bool measured(double seconds) { return seconds > 0; }

void printFrameFigures(double a, double b) {
  if (measured(a)) {
    std::printf("a  RenderFrame: %.3f ms per frame = %.0f frames/s (target >= 200: %s)\n", a * 1e3, 1 / a,
                verdict(1 / a >= 200));
  }
  if (measured(b)) std::printf("b  lower bound (clear + one store per stored byte): %.3f ms\n", b * 1e3);
  if (measured(a) && measured(b)) std::printf("   a/b = %.2f (target <= 2.0: %s)\n", a / b, verdict(a / b <= 2.0));
}

void printCoverageFigures(std::size_t paths, double ours, double compute, double cairo) {
  if (!measured(ours) || !measured(compute) || !measured(cairo)) return;
  std::printf("d  coverage of %zu outlines: ours %.2f ms (widen + scan only %.2f ms), Cairo fill/stroke %.2f ms\n",
              paths, ours * 1e3, compute * 1e3, cairo * 1e3);
  std::printf("   ours/Cairo = %.2f, widen + scan only/Cairo = %.2f (target <= 1.0: %s)\n", ours / cairo,
              compute / cairo, verdict(ours <= cairo));
}

void printRepaintFigures(double ours, double cairo) {
  if (!measured(ours) || !measured(cairo)) return;
  std::printf("e  repaint of stored coverage: ours %.3f ms, Cairo mask_surface %.3f ms\n", ours * 1e3, cairo * 1e3);
  std::printf("   ours/Cairo = %.2f (target <= 0.5: %s)\n", ours / cairo, verdict(ours <= 0.5 * cairo));
}

// The figures of the measurements that ran; a filter may have left some out.
void printSummary(const TCollectingReporter& results, const TMemoryFigures& memory) {
  const TContext& c = context();
  const TCoverageCounts counts = CountCoverage(c.Coverage);
  std::printf("\n== Summary (medians of %d repetitions, one core) ==\n", kRepetitions);
  printMachine();
  std::printf("show: %d x %d, %zu outline paths, %zu stored coverages: %lld rows of %lld bytes (%lld above 0, "
              "%lld full)\n",
              c.Show->Engine().FrameBitmap().Width(), c.Show->Engine().FrameBitmap().Height(), c.Jobs.size(),
              c.Coverage.size(), static_cast<long long>(counts.Rows), static_cast<long long>(counts.Stored),
              static_cast<long long>(counts.Covered), static_cast<long long>(counts.Full));
  printFrameFigures(results.Seconds(kRenderFrame), results.Seconds(kLowerBound));
  if (const double load = results.Seconds(kLoad); measured(load)) {
    std::printf("c  load and prepare, open to first frame: %.1f ms (target < 1000: %s)\n", load * 1e3,
                verdict(load < 1.0));
  }
  printCoverageFigures(c.Jobs.size(), results.Seconds(kCoverageOurs), results.Seconds(kCoverageOursCompute),
                       results.Seconds(kCoverageCairo));
  printRepaintFigures(results.Seconds(kRepaintOurs), results.Seconds(kRepaintCairo));
  const double peakMiB = memory.PeakKiB / 1024.0;
  std::printf("f  peak memory holding the show after all frames: %.1f MiB (%.1f MiB before loading) "
              "(target < 300: %s)\n",
              peakMiB, memory.BeforeLoadKiB / 1024.0, verdict(peakMiB < 300));
}

// The show's file, removed again when the run ends.
class TShowFile {
 public:
  TShowFile() {
    std::string name = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX.ctl").string();
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) throw std::runtime_error("cannot create a temporary file");
    close(fd);
    fPath = name;
    WriteFileBytes(fPath, ReferenceShow());
  }
  ~TShowFile() {
    std::error_code ignored;
    std::filesystem::remove(fPath, ignored);
  }
  TShowFile(const TShowFile&) = delete;
  TShowFile& operator=(const TShowFile&) = delete;
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

int run(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  TShowFile file;
  TContext& c = context();
  c.ShowPath = file.Path();
  const TMemoryFigures memory = memoryOfChild(c.ShowPath);
  c.Show = std::make_unique<TLoadedShow>(c.ShowPath);
  TShowEngine& engine = c.Show->Engine();
  c.Jobs = CollectOutlineJobs(engine.SceneRoot(), engine.FrameBitmap());
  c.Coverage = CollectStoredCoverage(engine.SceneRoot());
  c.CairoMasks = BuildCairoMasks(c.Coverage);
  registerBenchmarks();
  TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printSummary(reporter, memory);
  c = TContext();
  benchmark::Shutdown();
  return 0;
}

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::string(argv[1]) == "--memory") return lumora::bench::measureMemory(argv[2]);
    return lumora::bench::run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora-bench: %s\n", e.what());
    return 1;
  }
}

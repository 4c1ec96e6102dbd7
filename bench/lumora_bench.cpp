// lumora-bench: the player's speed and memory on the reference show at
// 1920 x 1080 and at twice the size, 3840 x 2160, with Cairo as the peer,
// all measured in one run, followed by a summary of the ratios the targets
// are stated in. Frames are drawn in bands on one thread, on two and on
// every core this run may use, and graphic by graphic over the whole frame,
// as before bands.
//   lumora-bench [Google Benchmark options]
//   lumora-bench --memory FILE    peak memory of a player holding FILE
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/cairo_peer.h"
#include "bench/lower_bounds.h"
#include "bench/outline_jobs.h"
#include "bench/reference_show.h"
#include "io/stream.h"
#include "render/band_painter.h"
#include "render/gr32_graphics.h"
#include "show/headless_show.h"

namespace lumora::bench {
namespace {

constexpr TColor32 kOpaqueBlack = 0xFF000000;
// Frames drawn before the covered pixels of b' are taken from them.
constexpr std::int32_t kCoverFrames = 6;

// The show's file, removed again when the run ends.
class TShowFile {
 public:
  explicit TShowFile(std::int32_t scale) {
    std::string name = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX.ctl").string();
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) throw std::runtime_error("cannot create a temporary file");
    close(fd);
    fPath = name;
    WriteFileBytes(fPath, ReferenceShow(scale));
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

// One size of the reference show, loaded, with what the measurements take
// from its prepared scene.
struct TShowSize {
  std::string Name;
  std::int32_t Scale = 1;
  std::unique_ptr<TShowFile> File;
  std::unique_ptr<TLoadedShow> Show;
  std::vector<TStoredCoverage> Coverage;
  std::vector<TPackedCoverage> Packed;
  std::vector<TCairoMask> CairoMasks;
  std::vector<TPixelRun> Covered;
  TMemoryFigures Memory;
};

// The outlines of the smaller show, for the coverage computation.
std::vector<TOutlineJob>& outlineJobs() {
  static std::vector<TOutlineJob> jobs;
  return jobs;
}

TColor32 jobColour(std::size_t i) { return 0xFF000000 | static_cast<TColor32>((i * 2654435761u) & 0x00FFFFFF); }

void resizeLikeFrame(TShowSize& size, TBitmap32& surface) {
  const TBitmap32& frame = size.Show->Engine().FrameBitmap();
  surface.Resize(frame.Width(), frame.Height());
  surface.Clear(kOpaqueBlack);
}

// The pixels some graphic covers, from the first frames as the player draws them.
std::vector<TPixelRun> coveredRuns(TShowSize& size) {
  TShowEngine& engine = size.Show->Engine();
  std::vector<std::unique_ptr<TBitmap32>> frames;
  std::vector<const TBitmap32*> seen;
  for (std::int32_t f = 0; f < kCoverFrames; ++f) {
    engine.DrawFrame(f);
    frames.push_back(std::make_unique<TBitmap32>());
    frames.back()->Assign(engine.FrameBitmap());
    seen.push_back(frames.back().get());
  }
  return CoveredRuns(size.Coverage, seen);
}

void loadSize(TShowSize& size) {
  size.File = std::make_unique<TShowFile>(size.Scale);
  size.Memory = MemoryOfChild(size.File->Path());
  size.Show = std::make_unique<TLoadedShow>(size.File->Path());
  size.Coverage = CollectStoredCoverage(size.Show->Engine().SceneRoot());
  size.CairoMasks = BuildCairoMasks(size.Coverage);
  size.Covered = coveredRuns(size);
}

// (a) One frame as the player draws it on a tick of its timer.
void renderFrame(benchmark::State& state, TShowSize* size, std::int32_t threads, std::int32_t bandHeight) {
  TLoadedShow& show = *size->Show;
  show.Engine().SetDrawThreads(threads);
  show.Engine().SetBandHeight(bandHeight);
  const std::int32_t frames = show.FrameCount();
  std::int32_t frame = 0;
  for (auto _ : state) {
    show.Engine().DrawFrame(frame);
    frame = (frame + 1) % frames;
  }
  state.SetItemsProcessed(state.iterations());
}

// (b) and (b').
void lowerBound(benchmark::State& state, TShowSize* size) {
  TBitmap32 surface;
  resizeLikeFrame(*size, surface);
  for (auto _ : state) {
    ClearAndStoreEveryByte(surface, size->Coverage);
    benchmark::ClobberMemory();
  }
}

void tighterLowerBound(benchmark::State& state, TShowSize* size) {
  TBitmap32 surface;
  resizeLikeFrame(*size, surface);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadEveryByteWriteCovered(surface, size->Coverage, size->Covered));
    benchmark::ClobberMemory();
  }
}

// (c) From opening the file to the first frame drawn.
void loadShow(benchmark::State& state, TShowSize* size) {
  for (auto _ : state) {
    auto show = std::make_unique<TLoadedShow>(size->File->Path());
    state.PauseTiming();
    show.reset();
    state.ResumeTiming();
  }
}

// (d) Every outline's coverage computed afresh, as the prepare pass does.
void coverageOurs(benchmark::State& state, TShowSize* size) {
  TBitmap32 surface;
  resizeLikeFrame(*size, surface);
  TGR32Graphics painter;
  painter.Bitmap = &surface;
  const std::vector<TOutlineJob>& jobs = outlineJobs();
  for (auto _ : state) {
    for (std::size_t i = 0; i < jobs.size(); ++i) DrawJobFresh(painter, jobs[i], jobColour(i));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

void coverageOursComputeOnly(benchmark::State& state, TShowSize* size) {
  TBitmap32 surface;
  resizeLikeFrame(*size, surface);
  TGR32Graphics painter;
  const std::vector<TOutlineJob>& jobs = outlineJobs();
  for (auto _ : state) {
    for (const TOutlineJob& job : jobs) ComputeJobCoverage(painter, surface, job);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

void coverageCairo(benchmark::State& state, TShowSize* size) {
  TCairoCanvas canvas(kShowWidth * size->Scale, kShowHeight * size->Scale);
  const std::vector<TOutlineJob>& jobs = outlineJobs();
  for (auto _ : state) {
    for (std::size_t i = 0; i < jobs.size(); ++i) canvas.Draw(jobs[i], jobColour(i));
    canvas.Flush();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(jobs.size()));
}

// (e) Every stored coverage repainted, as a frame repaints the outlines:
// graphic by graphic, or through a band painter.
void repaintOurs(benchmark::State& state, TShowSize* size) {
  TBitmap32 surface;
  resizeLikeFrame(*size, surface);
  for (auto _ : state) {
    for (const TStoredCoverage& c : size->Coverage) PaintCoverage(surface, *c.Mask, c.Colour);
    benchmark::ClobberMemory();
  }
}

void repaintOursInBands(benchmark::State& state, TShowSize* size, std::int32_t threads) {
  TBitmap32 surface;
  resizeLikeFrame(*size, surface);
  TBandPainter painter;
  painter.SetThreadCount(threads);
  size->Packed = std::vector<TPackedCoverage>(size->Coverage.size());
  for (std::size_t i = 0; i < size->Coverage.size(); ++i) size->Packed[i].Pack(*size->Coverage[i].Mask);
  for (auto _ : state) {
    const TBandRecording recording(painter, surface);
    for (std::size_t i = 0; i < size->Coverage.size(); ++i) {
      TPackedCoverage& packed = size->Packed[i];
      painter.AddCoverage(packed, size->Coverage[i].Colour, packed.Runs(painter.BandHeight()));
    }
  }
}

void repaintCairoMasks(benchmark::State& state, TShowSize* size) {
  TCairoCanvas canvas(kShowWidth * size->Scale, kShowHeight * size->Scale);
  for (auto _ : state) {
    for (const TCairoMask& mask : size->CairoMasks) canvas.PaintMask(mask.Surface.get(), mask.X, mask.Y, mask.Colour);
    canvas.Flush();
  }
}

// The threads of the threaded measurements: two, and every core when there
// are more.
std::vector<std::int32_t> threadCounts() {
  std::vector<std::int32_t> counts = {1, 2};
  if (AvailableThreads() > 2) counts.push_back(AvailableThreads());
  return counts;
}

template <class... TArgs>
benchmark::internal::Benchmark* measure(const std::string& name, TArgs&&... args) {
  auto* b = benchmark::RegisterBenchmark(name.c_str(), std::forward<TArgs>(args)...);
  return b->Repetitions(kRepetitions)->DisplayAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMicrosecond);
}

void registerSize(TShowSize& size, bool withCoverage) {
  const TMeasureNames names(size.Name);
  for (const std::int32_t threads : threadCounts()) {
    measure(names.Frame(threads), renderFrame, &size, threads, kAutomaticBands);
  }
  measure(names.FrameWhole(), renderFrame, &size, 1, kNoBands);
  measure(names.LowerBound(), lowerBound, &size);
  measure(names.TighterLowerBound(), tighterLowerBound, &size);
  for (const std::int32_t threads : threadCounts()) measure(names.RepaintBands(threads), repaintOursInBands, &size, threads);
  measure(names.RepaintWhole(), repaintOurs, &size);
  measure(names.RepaintCairo(), repaintCairoMasks, &size);
  if (!withCoverage) return;
  measure(names.Load(), loadShow, &size)->Unit(benchmark::kMillisecond)->Iterations(3);
  measure(names.CoverageOurs(), coverageOurs, &size)->Unit(benchmark::kMillisecond);
  measure(names.CoverageOursCompute(), coverageOursComputeOnly, &size)->Unit(benchmark::kMillisecond);
  measure(names.CoverageCairo(), coverageCairo, &size)->Unit(benchmark::kMillisecond);
}

// (f) Run in a process of its own, so that nothing else has raised the peak.
int measureMemory(const std::string& path) {
  const long before = StatusKiB("VmHWM");
  TLoadedShow show(path);
  const std::int32_t frames = show.FrameCount();
  for (std::int32_t f = 0; f < frames; ++f) show.Engine().DrawFrame(f);
  std::printf("peak-before-load-kib %ld\npeak-kib %ld\nresident-kib %ld\n", before, StatusKiB("VmHWM"),
              StatusKiB("VmRSS"));
  return 0;
}

TSizeFigures figuresOf(const TShowSize& size) {
  TSizeFigures figures;
  figures.Name = size.Name;
  const TBitmap32& frame = const_cast<TShowSize&>(size).Show->Engine().FrameBitmap();
  figures.Width = frame.Width();
  figures.Height = frame.Height();
  figures.Counts = CountCoverage(size.Coverage);
  figures.CoveredPixels = PixelCount(size.Covered);
  figures.Memory = size.Memory;
  figures.Threads = threadCounts();
  return figures;
}

int run(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  std::vector<TShowSize> sizes(2);
  sizes[0].Name = "1080p";
  sizes[1].Name = "4K";
  sizes[1].Scale = 2;
  for (TShowSize& size : sizes) loadSize(size);
  TShowEngine& smaller = sizes[0].Show->Engine();
  outlineJobs() = CollectOutlineJobs(smaller.SceneRoot(), smaller.FrameBitmap());
  registerSize(sizes[0], true);
  registerSize(sizes[1], false);
  TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const TShowSize& size : sizes) PrintSizeSummary(reporter, figuresOf(size), outlineJobs().size());
  PrintScaling(reporter, sizes[0].Name, sizes[1].Name);
  outlineJobs().clear();
  sizes.clear();
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

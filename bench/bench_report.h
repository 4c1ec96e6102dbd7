// What lumora-bench reports: the names of its measurements, the medians it
// collects, the machine, peak memory measured in a child process, and the
// summary of figures and ratios that bench/RESULTS.md records.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/outline_jobs.h"

namespace lumora::bench {

inline constexpr int kRepetitions = 5;

// The names of the measurements of one size of the show.
class TMeasureNames {
 public:
  explicit TMeasureNames(std::string size) : fSize(std::move(size)) {}
  std::string Frame(std::int32_t threads) const { return "a_Frame_" + fSize + "_Bands_" + threadName(threads); }
  std::string FrameWhole() const { return "a_Frame_" + fSize + "_GraphicByGraphic"; }
  std::string LowerBound() const { return "b_LowerBound_" + fSize + "_ClearAndStoreEveryByte"; }
  std::string TighterLowerBound() const { return "b2_LowerBound_" + fSize + "_ReadEveryByteWriteCovered"; }
  std::string Load() const { return "c_LoadAndPrepare_" + fSize + "_OpenToFirstFrame"; }
  std::string CoverageOurs() const { return "d_Coverage_" + fSize + "_Ours_DrawingInterface"; }
  std::string CoverageOursCompute() const { return "d_Coverage_" + fSize + "_Ours_WidenAndScanOnly"; }
  std::string CoverageCairo() const { return "d_Coverage_" + fSize + "_Cairo_FillStroke"; }
  std::string RepaintBands(std::int32_t threads) const {
    return "e_Repaint_" + fSize + "_Ours_Bands_" + threadName(threads);
  }
  std::string RepaintWhole() const { return "e_Repaint_" + fSize + "_Ours_GraphicByGraphic"; }
  std::string RepaintCairo() const { return "e_Repaint_" + fSize + "_Cairo_MaskSurface"; }

 private:
  static std::string threadName(std::int32_t threads) { return std::to_string(threads) + "Threads"; }
  std::string fSize;
};

// Keeps the seconds per iteration of every measurement: the median of the
// repetitions, or the single run when there are none.
class TCollectingReporter : public benchmark::ConsoleReporter {
 public:
  TCollectingReporter();
  void ReportRuns(const std::vector<Run>& runs) override;
  // Seconds per iteration, or a negative value when it did not run.
  double Seconds(const std::string& name) const;

 private:
  std::map<std::string, double> fMedians;
  std::map<std::string, double> fSingles;
};

// A field of /proc/self/status in KiB, or -1.
long StatusKiB(const std::string& field);

struct TMemoryFigures {
  long BeforeLoadKiB = -1;
  long PeakKiB = -1;
  long ResidentKiB = -1;
};
// This program run as `--memory FILE` in a child process.
TMemoryFigures MemoryOfChild(const std::string& showPath);

// The threads this run may use.
std::int32_t AvailableThreads();

// What one size of the show is, for its summary.
struct TSizeFigures {
  std::string Name;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TCoverageCounts Counts;
  std::int64_t CoveredPixels = 0;
  TMemoryFigures Memory;
  std::vector<std::int32_t> Threads;
};

// The figures of the measurements of a size that ran; a filter may have
// left some out. The outline count is that of the coverage measurements.
void PrintSizeSummary(const TCollectingReporter& results, const TSizeFigures& size, std::size_t outlines);
// The ratios of the larger size against the smaller.
void PrintScaling(const TCollectingReporter& results, const std::string& smaller, const std::string& larger);

}  // namespace lumora::bench

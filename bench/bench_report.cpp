#include "bench/bench_report.h"

#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "bench/cairo_peer.h"
#include "render/band_painter.h"

namespace lumora::bench {

namespace {

std::string selfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

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

// The load of the last minute: other work on the machine moves every figure.
std::string loadAverage() {
  std::string load = "unknown";
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

void printMachine() {
  utsname name{};
  uname(&name);
  std::printf("machine: %s; %ld cores online, this run on %d; Linux %s; load average %s\n", cpuModel().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), AvailableThreads(), name.release, loadAverage().c_str());
  std::printf("date: %s; compiler: GCC %s; Cairo %s (%s)\n", utcNow().c_str(), __VERSION__,
              CairoVersion().c_str(), CairoAntialiasName());
}

const char* verdict(bool met) { return met ? "met" : "NOT MET"; }

bool measured(double seconds) { return seconds > 0; }

double ms(double seconds) { return seconds * 1e3; }

void printFrames(const TCollectingReporter& results, const TMeasureNames& names, const TSizeFigures& size) {
  const double one = results.Seconds(names.Frame(1));
  if (!measured(one)) return;
  std::printf("a  frame in bands, 1 thread: %.3f ms = %.0f frames/s\n", ms(one), 1 / one);
  for (const std::int32_t threads : size.Threads) {
    const double t = results.Seconds(names.Frame(threads));
    if (threads == 1 || !measured(t)) continue;
    std::printf("   %d threads: %.3f ms = %.0f frames/s, %.2f x one thread (target >= %.1f: %s)\n", threads, ms(t),
                1 / t, one / t, 0.8 * threads, verdict(one / t >= 0.8 * threads));
  }
  if (const double whole = results.Seconds(names.FrameWhole()); measured(whole)) {
    std::printf("   graphic by graphic over the whole frame, as before bands: %.3f ms = %.0f frames/s; "
                "bands on one thread take %.2f of it\n",
                ms(whole), 1 / whole, one / whole);
  }
}

void printBounds(const TCollectingReporter& results, const TMeasureNames& names) {
  const double one = results.Seconds(names.Frame(1));
  if (const double b = results.Seconds(names.LowerBound()); measured(b) && measured(one)) {
    std::printf("b  clear + one store per stored byte: %.3f ms; a/b = %.2f (one thread)\n", ms(b), one / b);
  }
  if (const double b2 = results.Seconds(names.TighterLowerBound()); measured(b2) && measured(one)) {
    std::printf("b' one read per stored byte + one write per covered pixel: %.3f ms; a/b' = %.2f "
                "(one thread; target <= 1.3: %s)\n",
                ms(b2), one / b2, verdict(one <= 1.3 * b2));
  }
}

void printRepaint(const TCollectingReporter& results, const TMeasureNames& names, const TSizeFigures& size) {
  const double cairo = results.Seconds(names.RepaintCairo());
  const double one = results.Seconds(names.RepaintBands(1));
  if (!measured(cairo) || !measured(one)) return;
  std::printf("e  repaint of all stored coverage: Cairo mask_surface %.3f ms; ours in bands, 1 thread %.3f ms = "
              "%.2f of Cairo (target <= 0.2: %s)\n",
              ms(cairo), ms(one), one / cairo, verdict(one <= 0.2 * cairo));
  for (const std::int32_t threads : size.Threads) {
    const double t = results.Seconds(names.RepaintBands(threads));
    if (threads != 1 && measured(t)) std::printf("   %d threads %.3f ms = %.2f of Cairo\n", threads, ms(t), t / cairo);
  }
  if (const double whole = results.Seconds(names.RepaintWhole()); measured(whole)) {
    std::printf("   graphic by graphic %.3f ms = %.2f of Cairo\n", ms(whole), whole / cairo);
  }
  for (const std::int32_t threads : size.Threads) {
    const double frame = results.Seconds(names.Frame(threads));
    if (measured(frame)) std::printf("   a whole frame in bands, %d threads = %.2f of Cairo's repaint\n", threads, frame / cairo);
  }
}

void printLoadAndCoverage(const TCollectingReporter& results, const TMeasureNames& names, std::size_t outlines) {
  if (const double load = results.Seconds(names.Load()); measured(load)) {
    std::printf("c  load and prepare, open to first frame: %.1f ms (target < 1000: %s)\n", ms(load),
                verdict(load < 1.0));
  }
  const double ours = results.Seconds(names.CoverageOurs());
  const double compute = results.Seconds(names.CoverageOursCompute());
  const double cairo = results.Seconds(names.CoverageCairo());
  if (!measured(ours) || !measured(compute) || !measured(cairo)) return;
  std::printf("d  coverage of %zu outlines: ours %.2f ms (widen + scan only %.2f ms), Cairo fill/stroke %.2f ms\n",
              outlines, ms(ours), ms(compute), ms(cairo));
  std::printf("   ours/Cairo = %.2f, widen + scan only/Cairo = %.2f (target <= 1.0: %s)\n", ours / cairo,
              compute / cairo, verdict(ours <= cairo));
}

}  // namespace

TCollectingReporter::TCollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

void TCollectingReporter::ReportRuns(const std::vector<Run>& runs) {
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

double TCollectingReporter::Seconds(const std::string& name) const {
  if (auto m = fMedians.find(name); m != fMedians.end()) return m->second;
  if (auto s = fSingles.find(name); s != fSingles.end()) return s->second;
  return -1;
}

long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

TMemoryFigures MemoryOfChild(const std::string& showPath) {
  // Built up step by step: GCC 12 warns falsely of overlapping copies for
  // "'" + selfPath() + ….
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

std::int32_t AvailableThreads() { return AvailableCores(); }

void PrintSizeSummary(const TCollectingReporter& results, const TSizeFigures& size, std::size_t outlines) {
  const TMeasureNames names(size.Name);
  std::printf("\n== %s: %d x %d (medians of %d repetitions) ==\n", size.Name.c_str(), size.Width, size.Height,
              kRepetitions);
  printMachine();
  std::printf("show: stored coverage in %lld rows of %lld bytes (%lld above 0, %lld full); "
              "%lld pixels covered\n",
              static_cast<long long>(size.Counts.Rows), static_cast<long long>(size.Counts.Stored),
              static_cast<long long>(size.Counts.Covered), static_cast<long long>(size.Counts.Full),
              static_cast<long long>(size.CoveredPixels));
  printFrames(results, names, size);
  printBounds(results, names);
  printLoadAndCoverage(results, names, outlines);
  printRepaint(results, names, size);
  const double peakMiB = size.Memory.PeakKiB / 1024.0;
  std::printf("f  peak memory holding the show after all frames: %.1f MiB (%.1f MiB before loading) "
              "(target < 300: %s)\n",
              peakMiB, size.Memory.BeforeLoadKiB / 1024.0, verdict(peakMiB < 300));
}

void PrintScaling(const TCollectingReporter& results, const std::string& smaller, const std::string& larger) {
  const TMeasureNames small(smaller);
  const TMeasureNames large(larger);
  const double a1 = results.Seconds(small.Frame(1));
  const double a4 = results.Seconds(large.Frame(1));
  const double b1 = results.Seconds(small.TighterLowerBound());
  const double b4 = results.Seconds(large.TighterLowerBound());
  if (!measured(a1) || !measured(a4) || !measured(b1) || !measured(b4)) return;
  std::printf("\n== %s against %s (four times the pixels) ==\n", larger.c_str(), smaller.c_str());
  std::printf("frame in bands, 1 thread: %.2f x the time; a/b' %.2f against %.2f\n", a4 / a1, a4 / b4, a1 / b1);
  const double t1 = results.Seconds(small.Frame(2));
  const double t4 = results.Seconds(large.Frame(2));
  if (measured(t1) && measured(t4)) {
    std::printf("2 threads: %.2f x one thread against %.2f\n", a4 / t4, a1 / t1);
  }
}

}  // namespace lumora::bench

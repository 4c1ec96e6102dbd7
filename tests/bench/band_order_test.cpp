// The reference show's first frames drawn in bands, on several threads and
// with several band heights, against drawing every graphic over the whole
// frame in turn on one thread: every pixel of every frame must agree.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <span>

#include <gtest/gtest.h>

#include "bench/reference_show.h"
#include "io/stream.h"
#include "show/headless_show.h"

namespace lumora::bench {
namespace {

constexpr std::int32_t kFrames = 30;

struct TSetting {
  std::int32_t Threads;
  std::int32_t BandHeight;
};

// The show loaded as the benchmarks load it, drawn under the setting.
class TDrawnShow {
 public:
  TDrawnShow(const std::string& path, const TSetting& setting) {
    fShow.Engine.SetDrawThreads(setting.Threads);
    fShow.Engine.SetBandHeight(setting.BandHeight);
    fShow.Engine.LoadMovie(path);
  }
  const std::string& LoadError() const { return fShow.Engine.LastLoadError(); }
  std::span<const TColor32> Frame(std::int32_t frame) {
    fShow.Engine.DrawFrame(frame);
    return fShow.Engine.FrameBitmap().Bits();
  }

 private:
  THeadlessShow fShow{kShowWidth, kShowHeight};
};

TEST(BandOrder, DrawsTheReferenceShowAsGraphicByGraphic) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("lumora-band-order-" + std::to_string(getpid()) + ".ctl")).string();
  WriteFileBytes(path, ReferenceShow());
  const TSetting settings[] = {{1, kAutomaticBands}, {2, kAutomaticBands}, {3, 7}, {8, 1}, {2, 64}, {8, 1080}};
  for (const TSetting& setting : settings) {
    TDrawnShow expected(path, {1, kNoBands});
    TDrawnShow banded(path, setting);
    ASSERT_EQ(banded.LoadError(), "");
    for (std::int32_t f = 0; f < kFrames; ++f) {
      const std::span<const TColor32> want = expected.Frame(f);
      const std::span<const TColor32> got = banded.Frame(f);
      ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin(), want.end()))
          << setting.Threads << " threads, bands of " << setting.BandHeight << " rows: frame " << f << " differs";
    }
  }
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace
}  // namespace lumora::bench

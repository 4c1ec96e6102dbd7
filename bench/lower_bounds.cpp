#include "bench/lower_bounds.h"

#include <algorithm>
#include <numeric>

namespace lumora::bench {

namespace {

constexpr TColor32 kOpaqueBlack = 0xFF000000;
constexpr TColor32 kStoredColour = 0xFF40C0FF;

// One flag per pixel of the surface.
class TCoverFlags {
 public:
  TCoverFlags(std::int32_t width, std::int32_t height)
      : fWidth(width), fHeight(height), fFlags(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

  void Set(std::int64_t x, std::int32_t y) {
    if (x >= 0 && x < fWidth && y >= 0 && y < fHeight) fFlags[index(static_cast<std::int32_t>(x), y)] = 1;
  }
  bool Get(std::int32_t x, std::int32_t y) const { return fFlags[index(x, y)] != 0; }

  std::vector<TPixelRun> Runs() const {
    std::vector<TPixelRun> runs;
    for (std::int32_t y = 0; y < fHeight; ++y) {
      for (std::int32_t x = 0; x < fWidth;) {
        if (!Get(x, y)) {
          ++x;
          continue;
        }
        const std::int32_t start = x;
        while (x < fWidth && Get(x, y)) ++x;
        runs.push_back({start, y, x - start});
      }
    }
    return runs;
  }

 private:
  std::size_t index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(fWidth) + static_cast<std::size_t>(x);
  }

  std::int32_t fWidth;
  std::int32_t fHeight;
  std::vector<std::uint8_t> fFlags;
};

// Every stored row cut to the surface, as the painters cut it.
template <class TVisit>
void forEachVisibleRow(const TBitmap32& surface, const TStoredCoverage& coverage, const TVisit& visit) {
  const std::size_t count = std::min(coverage.Mask->RowOrigins.size(), coverage.Mask->CoverageRows.size());
  for (std::size_t k = 0; k < count; ++k) {
    const TPoint origin = coverage.Mask->RowOrigins[k];
    if (origin.Y < 0 || origin.Y >= surface.Height()) continue;
    const auto size = static_cast<std::int64_t>(coverage.Mask->CoverageRows[k].size());
    const std::int64_t from = std::max<std::int64_t>(0, -std::int64_t{origin.X});
    const std::int64_t to = std::min<std::int64_t>(size, std::int64_t{surface.Width()} - origin.X);
    if (from < to) visit(origin, coverage.Mask->CoverageRows[k], from, to);
  }
}

}  // namespace

std::vector<TPixelRun> CoveredRuns(const std::vector<TStoredCoverage>& coverages,
                                   const std::vector<const TBitmap32*>& frames) {
  const TBitmap32& first = *frames.front();
  TCoverFlags flags(first.Width(), first.Height());
  for (const TStoredCoverage& coverage : coverages) {
    forEachVisibleRow(first, coverage, [&](TPoint origin, const std::vector<std::uint8_t>& bytes, std::int64_t from,
                                           std::int64_t to) {
      for (std::int64_t i = from; i < to; ++i) {
        if (bytes[static_cast<std::size_t>(i)] != 0) flags.Set(origin.X + i, origin.Y);
      }
    });
  }
  for (const TBitmap32* frame : frames) {
    for (std::int32_t y = 0; y < frame->Height(); ++y) {
      for (std::int32_t x = 0; x < frame->Width(); ++x) {
        if (frame->ReadPixel(x, y) != kOpaqueBlack) flags.Set(x, y);
      }
    }
  }
  return flags.Runs();
}

std::int64_t PixelCount(const std::vector<TPixelRun>& runs) {
  return std::accumulate(runs.begin(), runs.end(), std::int64_t{0},
                         [](std::int64_t sum, const TPixelRun& run) { return sum + run.Count; });
}

void ClearAndStoreEveryByte(TBitmap32& surface, const std::vector<TStoredCoverage>& coverages) {
  surface.Clear(kOpaqueBlack);
  for (const TStoredCoverage& coverage : coverages) {
    forEachVisibleRow(surface, coverage, [&](TPoint origin, const std::vector<std::uint8_t>&, std::int64_t from,
                                             std::int64_t to) {
      TColor32* pixel = surface.PixelAddress(static_cast<std::int32_t>(origin.X + from), origin.Y);
      for (std::int64_t i = from; i < to; ++i) *pixel++ = coverage.Colour;
    });
  }
}

std::uint64_t ReadEveryByteWriteCovered(TBitmap32& surface, const std::vector<TStoredCoverage>& coverages,
                                        const std::vector<TPixelRun>& covered) {
  std::uint64_t sum = 0;
  for (const TStoredCoverage& coverage : coverages) {
    for (const std::vector<std::uint8_t>& row : coverage.Mask->CoverageRows) {
      sum = std::accumulate(row.begin(), row.end(), sum);
    }
  }
  const std::span<TColor32> bits = surface.Bits();
  const auto width = static_cast<std::size_t>(surface.Width());
  for (const TPixelRun& run : covered) {
    TColor32* start = bits.data() + static_cast<std::size_t>(run.Y) * width + static_cast<std::size_t>(run.X);
    std::fill(start, start + run.Count, kStoredColour);
  }
  return sum;
}

}  // namespace lumora::bench

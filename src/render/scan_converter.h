// The anti-aliasing polygon scan converter: contours in 16.16 pixels become
// one coverage byte per pixel, kept as rows that can be repainted later in any
// colour without converting again.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/matrix.h"

namespace lumora {

using TArrayofByteArray = std::vector<std::vector<std::uint8_t>>;

// A coverage mask: rows of one coverage byte per pixel, row k starting at
// pixel RowOrigins[k]. It is computed once and repainted in any colour.
struct TCoverageMask {
  TPoints RowOrigins;
  TArrayofByteArray CoverageRows;
  void Clear() {
    RowOrigins.clear();
    CoverageRows.clear();
  }
};

// What stored coverage costs beyond its bytes, as the memory budget is
// charged: every row of a mask's band keeps an origin and a byte list, and
// a row with coverage an allocation of its own, so that thin, tall shapes
// are charged what they really take.
inline constexpr std::uint64_t kCoverageRowBytes = sizeof(TPoint) + sizeof(std::vector<std::uint8_t>);
inline constexpr std::uint64_t kCoverageAllocationBytes = 16;

// Paints one row of coverage: dst holds the surface pixels from (x, y) on,
// coverage their bytes. A fill callback stands in for a plain colour.
using TFillLineEvent =
    std::function<void(std::span<TColor32> dst, std::int32_t x, std::int32_t y, std::span<const std::uint8_t> coverage)>;

// The converter found a sub-line with an odd number of crossings.
class EAssertionFailed : public std::logic_error {
 public:
  EAssertionFailed() : std::logic_error("Assertion failure") {}
};

// Anti-alias levels 0 … 4: 32, 16, 8, 4 or 2 sub-samples per pixel and axis.
inline constexpr std::int32_t kMaxAntialiasLevel = 4;

// One contour into the mask (which the caller empties first). Nothing
// happens for fewer than 3 points, or for a transparent colour when there is
// no fill callback.
void ComputeCoverage(TCoverageMask& mask, TBitmap32& surface, std::span<const TFixedPoint> contour,
                     const TAffineTransformation* transformation, std::int32_t level, bool nonZero,
                     const TFillLineEvent* fillCallback, TColor32 colour);

// Several contours into one mask; contours of fewer than 3 points add nothing.
void ComputeCoveragePoly(TCoverageMask& mask, TBitmap32& surface, const TArrayOfArrayOfFixedPoint& contours,
                         const TAffineTransformation* transformation, std::int32_t level, bool nonZero,
                         TColor32 colour);

// A mask into the surface: fully covered pixels take the colour as it is,
// partly covered ones blend its RGB by the coverage alone.
void PaintCoverage(TBitmap32& surface, const TCoverageMask& mask, TColor32 colour);

}  // namespace lumora

// The scan converter's steps, for the polygon fills of the surface and for
// the tests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "render/scan_converter.h"

namespace lumora::scan {

// One list per sub-line of the band; an entry is a crossing X in sub-samples
// with bit 31 set when its edge runs upwards.
using TCrossingLists = std::vector<std::vector<std::uint32_t>>;
inline constexpr std::uint32_t kUpward = 0x80000000u;
inline constexpr std::uint32_t kCrossingX = 0x7FFFFFFFu;

// Every list ascending by X; a list of odd length raises EAssertionFailed.
void SortCrossings(TCrossingLists& lists);

// Sorting and the coverage rows, inside the surface's update bracket (closed
// on errors too); minY is the first sub-line of the band.
void BuildCoverageRows(TCoverageMask& mask, TBitmap32& surface, TCrossingLists& lists, std::int32_t minY,
                       std::int32_t level, bool nonZero);

// The whole conversion of several contours into origins and rows, without the
// colour test; returns false when the band is empty and nothing was reported.
bool ComputeCoverageMask(TCoverageMask& mask, TBitmap32& surface, std::span<const std::span<const TFixedPoint>> contours,
                         const TAffineTransformation* transformation, std::int32_t level, bool nonZero);

}  // namespace lumora::scan

// The painters behind PaintCoverage, for the tests: each paints a row of
// coverage bytes over the pixels under it, a whole mask, or a packed mask's
// segments in one band of a frame, as PaintCoverage describes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/band_steps_p.h"
#include "render/bitmap32.h"
#include "render/color32.h"
#include "render/scan_converter.h"

namespace lumora::paint {

using TRowPaint = void (*)(TColor32* pixels, const std::uint8_t* coverage, std::size_t count, TColor32 colour);
using TMaskPaint = void (*)(TBitmap32& surface, const TCoverageMask& mask, TColor32 colour);
// Packed segments in words [first, end), as far as they lie in the band.
using TSegmentPaint = void (*)(const bands::TBand& band, const std::uint32_t* words, std::size_t first,
                               std::size_t end, TColor32 colour);

struct TRowPainter {
  const char* Name;
  TRowPaint Paint;
  TMaskPaint PaintMask;
  TSegmentPaint PaintSegments;
};

// Every painter this build can run on this processor, the plainest first;
// PaintCoverage uses the last.
const std::vector<TRowPainter>& RowPainters();

}  // namespace lumora::paint

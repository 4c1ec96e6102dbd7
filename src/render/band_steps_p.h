// What a band painter records and paints a band of: the rows of a frame as
// its painters write them, and the paints that can wait (stored coverage,
// transfers between surfaces), described fully enough that any rows of them
// can be painted later, on any thread, with the pixels painting them at once
// would give.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/bitmap32.h"

namespace lumora::bands {

// The pixel store of a frame, written without the surface's bookkeeping;
// each thread writes only the rows of its own bands.
struct TPixelRows {
  TColor32* Bits = nullptr;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TColor32* Pixel(std::int32_t x, std::int32_t y) const {
    return Bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + x;
  }
};

// The pixel store of a source surface, read without the surface's
// bookkeeping while the painter keeps the surface from changing.
struct TSourceRows {
  const TColor32* Bits = nullptr;
  std::int32_t Width = 0;
  const TColor32* Pixel(std::int32_t x, std::int32_t y) const {
    return Bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + x;
  }
};

// Rows [Top, Bottom) of a frame, and what painting them wrote: per row of
// the frame (by y), one bit for each of at most 64 blocks of columns,
// 2^BlockShift columns wide, that a paint wrote in; none when nobody keeps
// them.
struct TBand {
  TPixelRows Rows;
  std::int32_t Top = 0;
  std::int32_t Bottom = 0;
  std::uint64_t* Written = nullptr;
  std::int32_t BlockShift = 0;

  // Columns [left, right) of row y were written; left < right.
  void MarkWritten(std::int32_t y, std::int32_t left, std::int32_t right) const {
    if (Written == nullptr) return;
    const std::int32_t first = left >> BlockShift;
    const std::int32_t last = (right - 1) >> BlockShift;
    const std::uint64_t upTo = last >= 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << last) - 1;
    Written[y] |= upTo & ~((std::uint64_t{1} << first) - 1);
  }
};

// The packed segments in words [first, end), as far as they lie in the
// band, painted as PaintCoverage paints the rows they were packed from.
void PaintSegments(const TBand& band, const std::uint32_t* words, std::size_t first, std::size_t end,
                   TColor32 colour);

enum class TTransferKind : std::uint8_t { Block, Stretch, Transform };

// A transfer of a source surface onto a frame with everything it reads
// when recorded: the area it writes (already cut to the frame and its
// clip), how pixels combine, and the mapping from frame to source.
struct TTransfer {
  TTransferKind Kind = TTransferKind::Block;
  // The surface read, and its pixels, taken when the transfer is painted
  // or kept.
  const TBitmap32* Source = nullptr;
  TSourceRows Pixels;
  TRect Area;
  TDrawMode Mode = dmOpaque;
  TCombineMode Combine = cmBlend;
  std::uint8_t MasterAlpha = 255;
  TColor32 OuterColor = 0;
  // Block: source pixel = frame pixel + (DX, DY), inside SourceArea.
  std::int64_t DX = 0;
  std::int64_t DY = 0;
  TRect SourceArea;
  // Stretch: the destination and source rectangles and the resampler.
  TRect DstRect;
  TRect SrcRect;
  std::uint8_t Resampler = 0;
  // Transform: the inverse matrix, the source rectangle and its pixels.
  TFloatMatrix Inverse{};
  TFloatRect SourceRect;
};

// Whether a transfer in this draw mode can wait: a custom combine may read
// or keep anything, so it paints at once.
inline bool CanWait(TDrawMode mode) { return mode != dmCustom; }

// Rows of the transfer, as far as they lie in the band.
void PaintTransferRows(const TBand& band, const TTransfer& transfer);

}  // namespace lumora::bands

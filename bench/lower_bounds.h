// The least work a frame of the reference show must do, as plain loops over
// the same data, for the frame's time to be compared with: (b) a clear of
// the whole frame and one store per stored coverage byte, and the tighter
// (b') one read of every stored coverage byte and one write of every pixel
// some graphic covers, the pixels nothing covers staying black from the
// frame before.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/outline_jobs.h"
#include "render/bitmap32.h"

namespace lumora::bench {

// Pixels (X, Y) to (X + Count - 1, Y).
struct TPixelRun {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  std::int32_t Count = 0;
};

// The pixels some graphic covers: under a stored coverage byte above 0, or
// shown in another colour than opaque black by any of the drawn frames
// (the LED matrices and the lamps); in rows, left to right.
std::vector<TPixelRun> CoveredRuns(const std::vector<TStoredCoverage>& coverages,
                                   const std::vector<const TBitmap32*>& frames);
std::int64_t PixelCount(const std::vector<TPixelRun>& runs);

// (b) The clear to opaque black and one plain store per stored byte.
void ClearAndStoreEveryByte(TBitmap32& surface, const std::vector<TStoredCoverage>& coverages);
// (b') One read of every stored byte, one store per covered pixel; answers
// the sum of the bytes, so that the reads cannot be left out.
std::uint64_t ReadEveryByteWriteCovered(TBitmap32& surface, const std::vector<TStoredCoverage>& coverages,
                                        const std::vector<TPixelRun>& covered);

}  // namespace lumora::bench

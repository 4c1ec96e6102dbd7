// TPackedCoverage: a stored coverage mask repacked for repainting from one
// block of memory read front to back. Each row becomes segments: runs of
// full coverage, kept as their length alone, and runs of other bytes, kept
// with their bytes; longer runs of empty bytes are left out. Repainting the
// segments changes exactly the pixels repainting the rows changes, in the
// same way, while reading a fraction of the memory.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "render/geometry.h"
#include "render/scan_converter.h"

namespace lumora {

// The words of a segment: X, Y, then its length with kFullSegment set for
// full coverage; a partial segment's bytes follow in ceil(length / 4) words.
// Eight bytes can be read from any byte of a segment: painters read eight
// at a time.
inline constexpr std::uint32_t kFullSegment = 0x80000000;
inline constexpr std::size_t kSegmentHeaderWords = 3;
inline constexpr std::size_t kSegmentPaddingWords = 2;

// The segments [First, End) (word indexes) of one band, in segment order.
struct TBandRun {
  std::int32_t Band = 0;
  std::uint32_t First = 0;
  std::uint32_t End = 0;
};
using TBandRuns = std::vector<TBandRun>;

class TPackedCoverage {
 public:
  // Whether this was packed from the mask's rows as they are stored now.
  bool Matches(const TCoverageMask& mask) const;
  // Packs the mask's rows, charging the memory to the budgets in force.
  void Pack(const TCoverageMask& mask);
  // The mask was changed in place: the next Matches fails.
  void Forget() { fPacked = false; }

  // The segments, followed in memory by kSegmentPaddingWords more words.
  std::span<const std::uint32_t> Words() const { return {fWords.data(), fSize}; }
  // The runs of consecutive segments that share a band of the height;
  // segments above the surface belong to none.
  const TBandRuns& Runs(std::int32_t bandHeight);

 private:
  void addSegment(std::int32_t x, std::int32_t y, const std::uint8_t* bytes, std::size_t length, bool full);

  std::vector<std::uint32_t> fWords;
  std::size_t fSize = 0;
  bool fPacked = false;
  const TPoint* fOrigins = nullptr;
  std::size_t fOriginCount = 0;
  const std::vector<std::uint8_t>* fRows = nullptr;
  std::size_t fRowCount = 0;
  TBandRuns fRuns;
  std::int32_t fRunsHeight = 0;
};

}  // namespace lumora

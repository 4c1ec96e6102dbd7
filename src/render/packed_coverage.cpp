#include "render/packed_coverage.h"

#include <algorithm>
#include <cstring>

#include "render/memory_budget.h"

namespace lumora {

namespace {

// Runs at least this long of empty or of full bytes end a partial segment:
// shorter ones cost less to paint through than a segment's header.
constexpr std::size_t kEmptyGap = 32;
constexpr std::size_t kFullRun = 48;

std::size_t runOf(const std::vector<std::uint8_t>& bytes, std::size_t i, std::uint8_t value) {
  std::size_t j = i;
  while (j < bytes.size() && bytes[j] == value) ++j;
  return j - i;
}

// Where the partial segment from i ends: before a run of empty bytes that is
// long or reaches the row's end, or before a long run of full bytes.
std::size_t partialEnd(const std::vector<std::uint8_t>& bytes, std::size_t i) {
  while (i < bytes.size()) {
    if (bytes[i] == 0) {
      const std::size_t empty = runOf(bytes, i, 0);
      if (empty >= kEmptyGap || i + empty == bytes.size()) return i;
      i += empty;
    } else if (bytes[i] == 255) {
      const std::size_t full = runOf(bytes, i, 255);
      if (full >= kFullRun) return i;
      i += full;
    } else {
      ++i;
    }
  }
  return i;
}

// Hands every segment of the row to add(x, bytes, length, full).
template <class TAdd>
void forEachSegment(const TPoint& origin, const std::vector<std::uint8_t>& bytes, const TAdd& add) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    i += runOf(bytes, i, 0);
    if (i == bytes.size()) break;
    const std::int64_t x = std::int64_t{origin.X} + static_cast<std::int64_t>(i);
    // A row reaching past the coordinates' range paints nothing there.
    if (x > INT32_MAX) break;
    const std::size_t full = runOf(bytes, i, 255);
    const std::size_t end = full >= kFullRun ? i + full : partialEnd(bytes, i);
    add(static_cast<std::int32_t>(x), bytes.data() + i, end - i, full >= kFullRun);
    i = end;
  }
}

std::size_t wordsFor(std::size_t length, bool full) {
  return kSegmentHeaderWords + (full ? 0 : (length + 3) / 4);
}

std::size_t segmentWords(std::uint32_t lengthAndKind) {
  const std::uint32_t length = lengthAndKind & ~kFullSegment;
  return kSegmentHeaderWords + ((lengthAndKind & kFullSegment) != 0 ? 0 : (length + 3) / 4);
}

std::int32_t floorDiv(std::int32_t a, std::int32_t b) { return a >= 0 ? a / b : -((-std::int64_t{a} + b - 1) / b); }

}  // namespace

bool TPackedCoverage::Matches(const TCoverageMask& mask) const {
  return fPacked && fOrigins == mask.RowOrigins.data() && fOriginCount == mask.RowOrigins.size() &&
         fRows == mask.CoverageRows.data() && fRowCount == mask.CoverageRows.size();
}

void TPackedCoverage::Pack(const TCoverageMask& mask) {
  fPacked = false;
  fRunsHeight = 0;
  fWords = {};
  fSize = 0;
  const std::size_t count = std::min(mask.RowOrigins.size(), mask.CoverageRows.size());
  std::size_t words = 0;
  for (std::size_t k = 0; k < count; ++k) {
    forEachSegment(mask.RowOrigins[k], mask.CoverageRows[k],
                   [&](std::int32_t, const std::uint8_t*, std::size_t length, bool full) { words += wordsFor(length, full); });
  }
  ChargeMemory((words + kSegmentPaddingWords) * sizeof(std::uint32_t), "stored coverage");
  fWords.reserve(words + kSegmentPaddingWords);
  for (std::size_t k = 0; k < count; ++k) {
    const std::int32_t y = mask.RowOrigins[k].Y;
    forEachSegment(mask.RowOrigins[k], mask.CoverageRows[k],
                   [&](std::int32_t x, const std::uint8_t* bytes, std::size_t length, bool full) {
                     addSegment(x, y, bytes, length, full);
                   });
  }
  fSize = fWords.size();
  fWords.resize(fSize + kSegmentPaddingWords, 0);
  fOrigins = mask.RowOrigins.data();
  fOriginCount = mask.RowOrigins.size();
  fRows = mask.CoverageRows.data();
  fRowCount = mask.CoverageRows.size();
  fPacked = true;
}

void TPackedCoverage::addSegment(std::int32_t x, std::int32_t y, const std::uint8_t* bytes, std::size_t length,
                                 bool full) {
  fWords.push_back(static_cast<std::uint32_t>(x));
  fWords.push_back(static_cast<std::uint32_t>(y));
  fWords.push_back(static_cast<std::uint32_t>(length) | (full ? kFullSegment : 0));
  if (full) return;
  const std::size_t at = fWords.size();
  fWords.resize(at + wordsFor(length, false) - kSegmentHeaderWords, 0);
  std::memcpy(fWords.data() + at, bytes, length);
}

const TBandRuns& TPackedCoverage::Runs(std::int32_t bandHeight) {
  if (bandHeight == fRunsHeight) return fRuns;
  fRuns.clear();
  for (std::size_t i = 0; i < fSize; i += segmentWords(fWords[i + 2])) {
    const auto y = static_cast<std::int32_t>(fWords[i + 1]);
    if (y < 0) continue;
    const std::int32_t band = floorDiv(y, bandHeight);
    const auto at = static_cast<std::uint32_t>(i);
    const auto end = static_cast<std::uint32_t>(i + segmentWords(fWords[i + 2]));
    if (!fRuns.empty() && fRuns.back().Band == band && fRuns.back().End == at) {
      fRuns.back().End = end;
    } else {
      fRuns.push_back({band, at, end});
    }
  }
  fRunsHeight = bandHeight;
  return fRuns;
}

}  // namespace lumora

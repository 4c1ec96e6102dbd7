#include "render/scan_converter.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "render/memory_budget.h"
#include "render/scan_converter_p.h"

namespace lumora {

namespace {

using scan::kCrossingX;
using scan::kUpward;
using scan::TCrossingLists;

struct TLevelSetting {
  std::int32_t Lines;  // sub-lines per pixel row, and sub-columns per column
  std::int32_t Shift;
  std::int64_t Factor;  // scales a pixel's summed coverage to 0 … 0xFF00
};

// Level 0 sums 32 × 31 per full pixel, which the factor 65 takes only to 251,
// so even fully covered pixels are blended at that level.
constexpr TLevelSetting kLevels[kMaxAntialiasLevel + 1] = {
    {32, 5, 65}, {16, 4, 273}, {8, 3, 1167}, {4, 2, 5460}, {2, 1, 32662}};

// One addend for every level: at level 0 it moves every point up to the next
// sub-sample, at the coarser levels ever less; stored masks depend on it.
constexpr std::int64_t kRoundingAddend = 2047;

const TLevelSetting& levelSetting(std::int32_t level) {
  return kLevels[std::clamp(level, 0, kMaxAntialiasLevel)];
}

std::int32_t toSubSamples(TFixed v, std::int32_t shift) {
  return static_cast<std::int32_t>((std::int64_t{v} + kRoundingAddend) >> (16 - shift));
}

// A clip edge in sub-samples. Crossings keep X in 31 bits, so edges beyond
// 2^30 sub-samples (far past any real surface) are cut there.
std::int32_t toClipSubSamples(std::int32_t edge, std::int32_t shift) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{edge} << shift, std::int64_t{1} << 30));
}

// The contours mapped and converted to sub-samples, with their vertical band.
struct TConvertedContours {
  std::vector<TPoints> Contours;
  std::int32_t MinY = 0x7F000000;
  std::int32_t MaxY = -0x7F000000;
  TFixedRect Bounds;  // of the untransformed points
};

TConvertedContours convertContours(std::span<const std::span<const TFixedPoint>> contours,
                                   const TAffineTransformation* transformation, std::int32_t shift) {
  TConvertedContours result;
  bool first = true;
  for (std::span<const TFixedPoint> contour : contours) {
    if (contour.size() < 3) continue;
    TPoints& converted = result.Contours.emplace_back();
    converted.reserve(contour.size());
    for (const TFixedPoint& p : contour) {
      const TFixedPoint q = transformation ? transformation->Transform(p) : p;
      const TPoint s{toSubSamples(q.X, shift), toSubSamples(q.Y, shift)};
      converted.push_back(s);
      result.MinY = std::min(result.MinY, s.Y);
      result.MaxY = std::max(result.MaxY, s.Y);
      if (first) {
        result.Bounds = {p.X, p.Y, p.X, p.Y};
        first = false;
      }
      result.Bounds = {std::min(result.Bounds.Left, p.X), std::min(result.Bounds.Top, p.Y),
                       std::max(result.Bounds.Right, p.X), std::max(result.Bounds.Bottom, p.Y)};
    }
  }
  return result;
}

// The crossings of the band's sub-lines in one block, line after line: line
// i holds the entries from Starts[i] up to Starts[i + 1]. It is filled in two
// walks over the edges, one counting and one storing, so that a mask costs a
// few allocations rather than a growing list per sub-line.
class TCrossingTable {
 public:
  explicit TCrossingTable(std::size_t lines) : fStarts(lines + 1, 0) {}

  std::size_t Lines() const { return fStarts.size() - 1; }
  std::span<std::uint32_t> Line(std::size_t i) {
    return {fEntries.data() + fStarts[i], fStarts[i + 1] - fStarts[i]};
  }
  std::span<const std::uint32_t> Line(std::size_t i) const {
    return {fEntries.data() + fStarts[i], fStarts[i + 1] - fStarts[i]};
  }

  bool Counting() const { return fCounting; }
  void Count(std::size_t line) { ++fStarts[line + 1]; }
  // Ends the counting walk: the counts become starts, with room behind them.
  void StartStoring() {
    for (std::size_t i = 1; i < fStarts.size(); ++i) fStarts[i] += fStarts[i - 1];
    fEntries.resize(fStarts.back());
    fCursors.assign(fStarts.begin(), fStarts.end() - 1);
    fCounting = false;
  }
  void Store(std::size_t line, std::uint32_t entry) { fEntries[fCursors[line]++] = entry; }

 private:
  std::vector<std::size_t> fStarts;
  std::vector<std::size_t> fCursors;
  std::vector<std::uint32_t> fEntries;
  bool fCounting = true;
};

TCrossingTable tableFromLists(const TCrossingLists& lists) {
  TCrossingTable table(lists.size());
  for (std::size_t i = 0; i < lists.size(); ++i) {
    for (std::size_t j = 0; j < lists[i].size(); ++j) table.Count(i);
  }
  table.StartStoring();
  for (std::size_t i = 0; i < lists.size(); ++i) {
    for (std::uint32_t entry : lists[i]) table.Store(i, entry);
  }
  return table;
}

// What the table of a band minY … maxY can hold at most, found before any
// edge is walked: a hostile outline of a few points can cross millions of
// sub-lines, and the table is charged to the memory budget first. An edge
// adds at most its rows inside the band and one crossing where it turns.
std::uint64_t crossingTableBytes(const std::vector<TPoints>& contours, std::int32_t minY, std::int32_t maxY) {
  std::uint64_t entries = 0;
  for (const TPoints& p : contours) {
    for (std::size_t i = 0; i < p.size(); ++i) {
      const TPoint& a = p[i];
      const TPoint& b = p[i + 1 == p.size() ? 0 : i + 1];
      if (a.Y == b.Y) continue;
      const std::int64_t top = std::max(std::min(a.Y, b.Y), minY);
      const std::int64_t bottom = std::min(std::max(a.Y, b.Y), maxY);
      entries += static_cast<std::uint64_t>(std::max<std::int64_t>(bottom - top + 1, 0)) + 1;
    }
  }
  const std::uint64_t lines = static_cast<std::uint64_t>(maxY - minY) + 1;
  return entries * sizeof(std::uint32_t) + (2 * lines + 1) * sizeof(std::size_t);
}

std::uint32_t crossingX(std::uint32_t entry) { return entry & kCrossingX; }

// Ascending by X. Most sub-lines hold a handful of crossings, which
// insertion sorts fastest; entries of equal X may end in any order, since
// the coverage of a sub-line does not depend on it.
void sortLine(std::span<std::uint32_t> line) {
  constexpr std::size_t kInsertionLimit = 16;
  if (line.size() > kInsertionLimit) {
    std::sort(line.begin(), line.end(), [](std::uint32_t a, std::uint32_t b) { return crossingX(a) < crossingX(b); });
    return;
  }
  for (std::size_t i = 1; i < line.size(); ++i) {
    const std::uint32_t entry = line[i];
    std::size_t j = i;
    for (; j > 0 && crossingX(line[j - 1]) > crossingX(entry); --j) line[j] = line[j - 1];
    line[j] = entry;
  }
}

// Every line sorted; a line of odd length raises EAssertionFailed.
void sortLines(TCrossingTable& table) {
  for (std::size_t i = 0; i < table.Lines(); ++i) {
    if (table.Line(i).size() % 2 != 0) throw EAssertionFailed();
    sortLine(table.Line(i));
  }
}

// Collects the crossings of edges with the sub-lines of the band.
class TCrossingBuilder {
 public:
  TCrossingBuilder(TCrossingTable& table, std::int32_t minY, std::int32_t lastY, std::int32_t minX,
                   std::int32_t maxX)
      : fTable(table), fMinY(minY), fLastY(lastY), fMinX(minX), fMaxX(maxX) {}

  // The extra crossing where the vertical direction reverses keeps every
  // sub-line's count even; horizontal edges add none.
  void BuildCrossings(const TPoints& p) {
    const std::size_t n = p.size();
    std::int32_t lastDir = 0;
    for (std::size_t i = n - 1; i >= 1; --i) {
      if (p[i].Y != p[0].Y) {
        lastDir = p[0].Y > p[i].Y ? 1 : -1;
        break;
      }
    }
    for (std::size_t i = 1; i <= n; ++i) {
      const TPoint& a = p[i - 1];
      const TPoint& b = p[i == n ? 0 : i];
      if (a.Y == b.Y) continue;
      const std::int32_t d = WalkEdge(a.X, a.Y, b.X, b.Y);
      if (d != lastDir) {
        AddCrossing(a.X, a.Y, -d);
        lastDir = d;
      }
    }
  }

  // One crossing per sub-line from the start row up to, not including, the
  // end row, stepped with an integer error term.
  std::int32_t WalkEdge(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    const std::int64_t dy = std::llabs(y2 - y1);
    const std::int32_t sy = y2 > y1 ? 1 : -1;
    const std::int64_t dx = std::llabs(x2 - x1);
    const std::int64_t sx = x2 > x1 ? 1 : -1;
    std::int64_t err = (dx % dy) >> 1;
    std::int64_t x = x1;
    std::int64_t y = y1;
    std::int64_t steps = dy;
    skipOutsideBand(x, y, err, steps, dx, dy, sx, sy);
    for (; steps > 0; --steps) {
      if (sy > 0 ? y > fLastY : y < fMinY) break;  // the rest of the edge lies past the band
      AddCrossing(x, y, sy);
      y += sy;
      err += dx;
      if (err > dy) {
        x += sx;
        err -= dy;
        if (err > dy) {
          x += sx;
          err -= dy;
          if (err > dy) {
            const std::int64_t n = (err + dy - 1) / dy;
            x += sx * n;
            err -= dy * n;
          }
        }
      }
    }
    return sy;
  }

  void AddCrossing(std::int64_t x, std::int64_t y, std::int32_t dir) {
    if (y < fMinY || y > fLastY) return;
    const auto line = static_cast<std::size_t>(y - fMinY);
    if (fTable.Counting()) {
      fTable.Count(line);
      return;
    }
    const auto cx = static_cast<std::uint32_t>(std::clamp<std::int64_t>(x, fMinX, fMaxX));
    fTable.Store(line, dir < 0 ? cx | kUpward : cx);
  }

 private:
  // Jumps over the sub-lines an edge walks before it reaches the band. While
  // dx ≤ 2 dy the error term never needs the ceiling step, so its state after
  // k steps has a closed form; steeper-than-that shallow edges are walked.
  void skipOutsideBand(std::int64_t& x, std::int64_t& y, std::int64_t& err, std::int64_t& steps, std::int64_t dx,
                       std::int64_t dy, std::int64_t sx, std::int32_t sy) const {
    if (dx > 2 * dy) return;
    const std::int64_t outside = sy > 0 ? fMinY - y : y - fLastY;
    const std::int64_t k = std::min(outside, steps);
    if (k <= 0) return;
    const std::int64_t total = err + k * dx;
    const std::int64_t advances = total > dy ? (total + dy - 1) / dy - 1 : 0;
    x += sx * advances;
    err = total - advances * dy;
    y += sy * k;
    steps -= k;
  }

  TCrossingTable& fTable;
  std::int32_t fMinY;
  std::int32_t fLastY;
  std::int32_t fMinX;
  std::int32_t fMaxX;
};

// The horizontal extent, in pixels, of the sub-lines top … bottom that hold
// crossings; false when none does.
bool rowExtent(const TCrossingTable& table, std::size_t top, std::size_t bottom, const TLevelSetting& s,
               std::int32_t& xMin, std::int32_t& xMax) {
  bool found = false;
  for (std::size_t i = top; i <= bottom; ++i) {
    const std::span<const std::uint32_t> list = table.Line(i);
    if (list.size() < 2) continue;
    const auto first = static_cast<std::int32_t>(list.front() & kCrossingX);
    const auto last = static_cast<std::int32_t>((list.back() & kCrossingX) + s.Lines - 1);
    xMin = found ? std::min(xMin, first) : first;
    xMax = found ? std::max(xMax, last) : last;
    found = true;
  }
  xMin >>= s.Shift;
  xMax >>= s.Shift;
  return found;
}

// Opening a span at sub-column x puts its pixel's share in cell c and the
// rest of a full pixel into c + 1, so that the running sum gives coverage.
void addSpanEdge(std::vector<std::int32_t>& cells, std::uint32_t entry, std::int32_t xMin, const TLevelSetting& s,
                 std::int32_t sign) {
  const auto x = static_cast<std::int32_t>(entry & kCrossingX);
  const auto c = static_cast<std::size_t>((x >> s.Shift) - xMin);
  const std::int32_t f = x & (s.Lines - 1);
  cells[c] += sign * (s.Lines - 1 - f);
  cells[c + 1] += sign * f;
}

void accumulateSubLine(std::vector<std::int32_t>& cells, std::span<const std::uint32_t> list, std::int32_t xMin,
                       const TLevelSetting& s, bool nonZero) {
  if (!nonZero) {
    for (std::size_t j = 0; j < list.size(); ++j) addSpanEdge(cells, list[j], xMin, s, j % 2 == 0 ? 1 : -1);
    return;
  }
  std::int32_t winding = 0;
  for (std::uint32_t entry : list) {
    const bool opens = winding == 0;
    winding += (entry & kUpward) ? 1 : -1;
    if (opens) {
      addSpanEdge(cells, entry, xMin, s, 1);
    } else if (winding == 0) {
      addSpanEdge(cells, entry, xMin, s, -1);
    }
  }
}

std::vector<std::uint8_t> coverageBytes(const std::vector<std::int32_t>& cells, std::size_t width,
                                        const TLevelSetting& s) {
  std::vector<std::uint8_t> bytes(width);
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < width; ++i) {
    sum += cells[i];
    bytes[i] = static_cast<std::uint8_t>(((sum * s.Factor) & 0xFF00) >> 8);
  }
  return bytes;
}

// Sorting and the coverage rows, inside the surface's update bracket (closed
// on errors too); minY is the first sub-line of the band.
void buildCoverageRows(TCoverageMask& mask, TBitmap32& surface, TCrossingTable& table, std::int32_t minY,
                       std::int32_t level, bool nonZero) {
  const TLevelSetting& s = levelSetting(level);
  TUpdateBracket bracket(surface);
  sortLines(table);
  if (table.Lines() == 0) return;
  const std::int64_t count = static_cast<std::int64_t>(table.Lines());
  const std::int32_t firstRow = minY >> s.Shift;
  const auto endRow = static_cast<std::int32_t>((count + minY + s.Lines - 1) >> s.Shift);
  ChargeMemory(static_cast<std::uint64_t>(endRow - firstRow) * kCoverageRowBytes, "stored coverage");
  mask.RowOrigins.assign(static_cast<std::size_t>(endRow - firstRow), TPoint{});
  mask.CoverageRows.assign(static_cast<std::size_t>(endRow - firstRow), {});
  std::vector<std::int32_t> cells;
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    const std::int64_t firstLine = (std::int64_t{y} << s.Shift) - minY;
    const auto top = static_cast<std::size_t>(std::max<std::int64_t>(firstLine, 0));
    const auto bottom = static_cast<std::size_t>(std::min<std::int64_t>(firstLine + s.Lines - 1, count - 1));
    std::int32_t xMin = 0;
    std::int32_t xMax = 0;
    if (!rowExtent(table, top, bottom, s, xMin, xMax)) continue;
    const auto width = static_cast<std::size_t>(xMax - xMin + 2);
    ChargeMemory(width + kCoverageAllocationBytes, "stored coverage");
    if (cells.size() < width) cells.resize(width + 64);
    std::fill(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(width), 0);
    for (std::size_t i = top; i <= bottom; ++i) accumulateSubLine(cells, table.Line(i), xMin, s, nonZero);
    const auto k = static_cast<std::size_t>(y - firstRow);
    mask.CoverageRows[k] = coverageBytes(cells, width, s);
    mask.RowOrigins[k] = {xMin, y};
  }
}

}  // namespace

namespace scan {

void SortCrossings(TCrossingLists& lists) {
  for (std::vector<std::uint32_t>& list : lists) {
    if (list.size() % 2 != 0) throw EAssertionFailed();
    sortLine(list);
  }
}

void BuildCoverageRows(TCoverageMask& mask, TBitmap32& surface, TCrossingLists& lists, std::int32_t minY,
                       std::int32_t level, bool nonZero) {
  TCrossingTable table = tableFromLists(lists);
  buildCoverageRows(mask, surface, table, minY, level, nonZero);
  // The lists end sorted, as the rows were built from them.
  for (std::size_t i = 0; i < lists.size(); ++i) {
    const std::span<const std::uint32_t> sorted = table.Line(i);
    std::copy(sorted.begin(), sorted.end(), lists[i].begin());
  }
}

bool ComputeCoverageMask(TCoverageMask& mask, TBitmap32& surface, std::span<const std::span<const TFixedPoint>> contours,
                         const TAffineTransformation* transformation, std::int32_t level, bool nonZero) {
  const TLevelSetting& s = levelSetting(level);
  const TConvertedContours converted = convertContours(contours, transformation, s.Shift);
  const TRect clip = surface.ClipRect();
  if (converted.Contours.empty() || IsRectEmpty(clip)) return false;
  const std::int32_t clipTop = toClipSubSamples(clip.Top, s.Shift);
  const std::int32_t clipLast = toClipSubSamples(clip.Bottom, s.Shift) - 1;
  const std::int32_t minY = std::clamp(converted.MinY, clipTop, clipLast);
  const std::int32_t maxY = std::clamp(converted.MaxY, clipTop, clipLast);
  if (minY >= maxY) return false;
  const TMemoryCharge tableCharge(crossingTableBytes(converted.Contours, minY, maxY), "crossings of an outline");
  TCrossingTable table(static_cast<std::size_t>(maxY - minY + 1));
  TCrossingBuilder builder(table, minY, clipLast, toClipSubSamples(clip.Left, s.Shift),
                           toClipSubSamples(clip.Right, s.Shift) - 1);
  for (const TPoints& contour : converted.Contours) builder.BuildCrossings(contour);
  table.StartStoring();
  for (const TPoints& contour : converted.Contours) builder.BuildCrossings(contour);
  buildCoverageRows(mask, surface, table, minY, level, nonZero);
  surface.Changed(RectFromFixedRect(converted.Bounds, RoundOutside));
  return true;
}

}  // namespace scan

void ComputeCoverage(TCoverageMask& mask, TBitmap32& surface, std::span<const TFixedPoint> contour,
                     const TAffineTransformation* transformation, std::int32_t level, bool nonZero,
                     const TFillLineEvent* fillCallback, TColor32 colour) {
  if (contour.size() < 3) return;
  if ((fillCallback == nullptr || !*fillCallback) && AlphaComponent(colour) == 0) return;
  const std::span<const TFixedPoint> contours[] = {contour};
  scan::ComputeCoverageMask(mask, surface, contours, transformation, level, nonZero);
}

void ComputeCoveragePoly(TCoverageMask& mask, TBitmap32& surface, const TArrayOfArrayOfFixedPoint& contours,
                         const TAffineTransformation* transformation, std::int32_t level, bool nonZero,
                         TColor32 /*colour*/) {
  const std::vector<std::span<const TFixedPoint>> spans(contours.begin(), contours.end());
  scan::ComputeCoverageMask(mask, surface, spans, transformation, level, nonZero);
}

}  // namespace lumora

// TCellRange: an inclusive rectangle of grid cells, as the LED matrix and
// the polyline group store it.
#pragma once

#include <cstdint>
#include <limits>

#include "io/stream.h"

namespace lumora {

struct TCellRange {
  std::int32_t FirstColumn = 0;
  std::int32_t FirstRow = 0;
  std::int32_t LastColumn = 0;
  std::int32_t LastRow = 0;

  // 0 along a side whose last index is before its first; a side holds at
  // most 2^32 cells.
  std::int64_t ColumnCount() const { return spanOf(FirstColumn, LastColumn); }
  std::int64_t RowCount() const { return spanOf(FirstRow, LastRow); }
  // The product, which for the widest ranges (2^32 x 2^32) does not fit in
  // 64 bits: those answer kTooManyCells.
  static constexpr std::int64_t kTooManyCells = std::numeric_limits<std::int64_t>::max();
  std::int64_t CellCount() const {
    const std::int64_t columns = ColumnCount();
    const std::int64_t rows = RowCount();
    if (rows != 0 && columns > kTooManyCells / rows) return kTooManyCells;
    return columns * rows;
  }

  // A truncated record leaves the fields that did not arrive as they were.
  void Read(TStreamReader& stream) {
    stream.ReadS32(FirstColumn);
    stream.ReadS32(FirstRow);
    stream.ReadS32(LastColumn);
    stream.ReadS32(LastRow);
  }
  void Write(TStreamWriter& stream) const {
    stream.WriteS32(FirstColumn);
    stream.WriteS32(FirstRow);
    stream.WriteS32(LastColumn);
    stream.WriteS32(LastRow);
  }
  bool operator==(const TCellRange&) const = default;

 private:
  static std::int64_t spanOf(std::int32_t first, std::int32_t last) {
    return last < first ? 0 : std::int64_t{last} - first + 1;
  }
};

}  // namespace lumora

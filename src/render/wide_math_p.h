// Exact integer helpers shared by the surface's line and transfer code.
#pragma once

#include <cstdint>

#include "render/geometry.h"

namespace lumora::wide {

// Positions are 16.16 held in 64 bits, so that integer coordinates anywhere
// in the 32-bit range convert without overflow; products of two such values
// need 128 bits.
using Wide = __int128;
inline constexpr std::int64_t kOne = kFixedOne;

inline std::int64_t floorDiv(Wide num, std::int64_t den) {
  Wide q = num / den;
  if (num % den != 0 && (num < 0) != (den < 0)) --q;
  return static_cast<std::int64_t>(q);
}

inline std::int64_t ceilDiv(std::int64_t num, std::int64_t den) { return -floorDiv(-Wide{num}, den); }

}  // namespace lumora::wide

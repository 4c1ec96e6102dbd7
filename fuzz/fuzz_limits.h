// Settings the fuzz targets share: a body cap and a memory budget small
// enough for the fuzzer's memory limit.
#pragma once

#include <cstdint>

namespace lumora::fuzz {

inline constexpr std::uint64_t kFuzzBodyCap = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kFuzzMemoryBudget = std::uint64_t{256} << 20;

}  // namespace lumora::fuzz

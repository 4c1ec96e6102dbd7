// The 256 output levels of a fixture: its gamma, then its brightness, applied
// to each 8-bit colour component by one lookup.
#pragma once

#include <array>
#include <cstdint>

namespace lumora::output {

using TLevelTable = std::array<std::uint8_t, 256>;

// Entry v = round(255 × (v / 255)^gamma × brightness / 100), brightness in
// percent.
TLevelTable MakeLevelTable(double brightness, double gamma);

}  // namespace lumora::output

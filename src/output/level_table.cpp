#include "output/level_table.h"

#include <cmath>

namespace lumora::output {

TLevelTable MakeLevelTable(double brightness, double gamma) {
  TLevelTable table{};
  for (int v = 0; v < 256; ++v) {
    const double level = 255.0 * std::pow(v / 255.0, gamma) * brightness / 100.0;
    table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(std::lround(std::fmin(std::fmax(level, 0.0), 255.0)));
  }
  return table;
}

}  // namespace lumora::output

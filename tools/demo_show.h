// The bundled demo show: the player's demo, and seeds for the fuzz targets.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "movie/frame_data.h"

namespace lumora {

// A 1280 x 720 version-6 movie: neon outlines, lamp strips, an LED bar and a
// swinging light, coloured from a grid animation.
std::vector<std::uint8_t> DemoNeonMovie();
// Grid movies of colour waves and of rings of light.
std::unique_ptr<TFrameDataLayer> DemoWavesGrid();
std::unique_ptr<TFrameDataLayer> DemoRingsGrid();

}  // namespace lumora

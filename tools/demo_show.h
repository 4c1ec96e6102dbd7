// The bundled demo show: the player's demo, and seeds for the fuzz targets.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "grid/frame_data.h"

namespace lumora {

// The colour of a cell in a frame of a generated grid animation.
using TCellColour = std::function<TWinColor(std::int32_t frame, std::int32_t row, std::int32_t column)>;

// A grid layer of one frame list: frames of rows x columns cells of
// cellWidth x cellHeight pixels, each cell coloured by colour.
std::unique_ptr<TFrameDataLayer> GridAnimation(const TCellColour& colour, std::int32_t rows, std::int32_t columns,
                                               std::int32_t frames, std::int32_t cellWidth, std::int32_t cellHeight);

// A 1280 x 720 version-6 movie: neon outlines, lamp strips, an LED bar and a
// swinging light, coloured from a grid animation, with its music.
std::vector<std::uint8_t> DemoNeonMovie();
// The neon movie's music: a short tune as long as one pass of the movie,
// a mono 16-bit PCM WAV file at 22,050 Hz.
std::vector<std::uint8_t> DemoTune();
// The name the neon movie stores its music under.
inline constexpr const char* kDemoTuneName = "demo-tune.wav";
// Grid movies of colour waves and of rings of light.
std::unique_ptr<TFrameDataLayer> DemoWavesGrid();
std::unique_ptr<TFrameDataLayer> DemoRingsGrid();

}  // namespace lumora

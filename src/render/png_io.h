// PNG images of TBitmap32 surfaces: 8-bit RGBA with straight alpha, for the
// golden images of the tests and for tools.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "render/bitmap32.h"

namespace lumora {

std::vector<std::uint8_t> EncodePng(const TBitmap32& bitmap);
void SavePng(const TBitmap32& bitmap, const std::string& path);

// Any PNG libpng reads, converted to 8-bit RGBA; the surface takes its size.
// Errors are std::runtime_error; those of LoadPng and SavePng name the file.
void DecodePng(std::span<const std::uint8_t> data, TBitmap32& bitmap);
void LoadPng(const std::string& path, TBitmap32& bitmap);

}  // namespace lumora

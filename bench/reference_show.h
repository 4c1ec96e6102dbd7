// The reference show of the benchmarks, written by our own movie writer from
// a fixed seed: a 1920 x 1080 movie of 2,000 neon outlines (lines, polylines,
// Bézier paths, ellipses, rectangles and stars, 1 to 8 pixels wide, some
// filled) bound to a 64 x 32 grid of 300 frames, 20 LED matrices of 32 x 8
// cells, 10 light strips and 2 masked layers.
#pragma once

#include <cstdint>
#include <vector>

namespace lumora::bench {

inline constexpr std::int32_t kShowWidth = 1920;
inline constexpr std::int32_t kShowHeight = 1080;
inline constexpr std::int32_t kGridColumns = 64;
inline constexpr std::int32_t kGridRows = 32;
inline constexpr std::int32_t kGridFrames = 300;
inline constexpr std::int32_t kOutlineCount = 2000;
inline constexpr std::int32_t kLEDCount = 20;
inline constexpr std::int32_t kLEDColumns = 32;
inline constexpr std::int32_t kLEDRows = 8;
inline constexpr std::int32_t kStripCount = 10;
inline constexpr std::int32_t kMaskedLayerCount = 2;
// Of the outlines, this many lie in each masked layer beside its mask.
inline constexpr std::int32_t kMaskedLayerOutlines = 120;

// The version-6 movie file; every call gives the same bytes. At a scale of
// 2 it is the same show at twice the size (3840 x 2160): every position,
// outline, stroke width, LED cell and lamp twice as large.
std::vector<std::uint8_t> ReferenceShow(std::int32_t scale = 1);

}  // namespace lumora::bench

// Estimates of what drawing a frame costs, in pixels blended, made when a
// show is prepared and charged to the work budget (render/work_budget.h)
// before the first frame is drawn. They are upper bounds: every stored
// coverage byte, every pixel of a rectangle or image on the surface, and
// every pixel along a thin line, as if each frame drew all of them.
#pragma once

#include <cstdint>
#include <span>

#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/gr32_graphics.h"

namespace lumora {

// The pixels of the rectangle that lie on the surface.
std::uint64_t PixelsOnSurface(const TRect& r, const TBitmap32& surface);
// What a frozen painter repaints each frame: its stored coverage, its
// region rectangles and the lines through its outline points.
std::uint64_t PainterFramePixels(const TGR32Graphics& painter, const TBitmap32& surface);
// The pixels a one-pixel line through the points touches, each segment
// taken as no longer than the surface is wide and high together.
std::uint64_t LinePixels(std::span<const TFixedPoint> points, const TBitmap32& surface);
std::uint64_t LinePixels(std::span<const TPoint> points, const TBitmap32& surface);
// The same for an outline whose painter stored nothing to repaint (a pen
// not wider than nothing): it is drawn anew along the points every frame.
std::uint64_t ThinLinePixels(const TGR32Graphics& painter, std::span<const TFixedPoint> points,
                             const TBitmap32& surface);

}  // namespace lumora

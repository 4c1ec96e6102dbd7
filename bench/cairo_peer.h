// Cairo as the peer of the measurements: the same outlines filled and
// stroked into an ARGB32 surface, and the same stored coverage painted as
// 8-bit masks, as a Cairo-based player that caches its masks would.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/outline_jobs.h"

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;

namespace lumora::bench {

struct TCairoDeleter {
  void operator()(cairo_t* cr) const;
  void operator()(cairo_surface_t* surface) const;
};
using TCairoContext = std::unique_ptr<cairo_t, TCairoDeleter>;
using TCairoSurface = std::unique_ptr<cairo_surface_t, TCairoDeleter>;

// An ARGB32 surface with a context in the default (grey) anti-aliasing.
class TCairoCanvas {
 public:
  TCairoCanvas(std::int32_t width, std::int32_t height);

  // Builds the job's flattened path and fills it under its rule, or strokes
  // it with butt caps and mitred joins at the job's pen width.
  void Draw(const TOutlineJob& job, TColor32 colour);
  // The mask painted at its place in a solid colour (cairo_mask_surface).
  void PaintMask(cairo_surface_t* mask, std::int32_t x, std::int32_t y, TColor32 colour);
  void Flush();

 private:
  TCairoSurface fSurface;
  TCairoContext fContext;
};

// One graphic's stored coverage as an A8 surface over its rows' box.
struct TCairoMask {
  TCairoSurface Surface;
  std::int32_t X = 0;
  std::int32_t Y = 0;
  TColor32 Colour = 0;
};
std::vector<TCairoMask> BuildCairoMasks(const std::vector<TStoredCoverage>& coverages);

// "1.16.0" and the anti-aliasing the canvas uses.
std::string CairoVersion();
const char* CairoAntialiasName();

}  // namespace lumora::bench

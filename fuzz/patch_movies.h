// The movies the channel patch target binds every patch to, as a play list's
// entries are bound, and the seeds' starting patches are written for: a
// vector movie with two grid layers and a light strip, then a grid movie.
#pragma once

#include <vector>

#include "output/frame_input.h"

namespace lumora::fuzz {

inline std::vector<output::TMovieShape> PatchMovies() {
  using namespace output;
  TMovieShape vector;
  vector.GridLayers = {{4, 6}, {2, 3}};
  vector.LampGraphics = {{1, 2, "TDengDaiState", 5, TLampKind::LightStrip}};
  vector.Width = 64;
  vector.Height = 32;
  vector.File = "a.ctl";
  TMovieShape grid;
  grid.GridLayers = {{3, 8}};
  grid.Width = 64;
  grid.Height = 24;
  grid.File = "b.tol";
  return {vector, grid};
}

}  // namespace lumora::fuzz

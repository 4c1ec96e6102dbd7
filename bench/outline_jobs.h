// The outlines of a loaded, prepared show as the drawing interface receives
// them, for measuring coverage computation and repaint apart from the rest
// of a frame, and against other rasterisers given the same paths.
#pragma once

#include <cstdint>
#include <vector>

#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/scan_converter.h"
#include "scene/control_layer.h"

namespace lumora::bench {

enum class TOutlineKind : std::uint8_t { Line, PolygonFill, PolylineStroke, BezierFill, BezierStroke };

struct TOutlineJob {
  TOutlineKind Kind = TOutlineKind::Line;
  TFixed PenWidth = kFixedOne;
  // What the graphic hands its drawing interface: line ends, polygon
  // vertices or Bézier control points in bitmap coordinates.
  TArrayOfFixedPoint Input;
  // The integer outline a stroked Bézier path is drawn from.
  TPoints IntInput;
  // The flattened path before widening: the polygon of a fill, the centre
  // line of a stroke.
  TArrayOfFixedPoint Path;
  bool Closed = false;
  bool NonZero = true;
};

// The stored coverage of one graphic and the colour it is repainted in.
struct TStoredCoverage {
  const TCoverageMask* Mask = nullptr;
  TColor32 Colour = 0;
};

// Every plain-effect outline of the scene, in drawing order; the scene must
// be prepared for playback (edit mode off, coverage frozen).
std::vector<TOutlineJob> CollectOutlineJobs(TControlLayer& scene, const TBitmap32& frame);

// Every graphic's stored coverage, in drawing order, with a colour of its own.
std::vector<TStoredCoverage> CollectStoredCoverage(const TControlLayer& scene);

// Rows, stored bytes, bytes above 0 and bytes of 255 over all coverages.
struct TCoverageCounts {
  std::int64_t Rows = 0;
  std::int64_t Stored = 0;
  std::int64_t Covered = 0;
  std::int64_t Full = 0;
};
TCoverageCounts CountCoverage(const std::vector<TStoredCoverage>& coverages);

// The job through the drawing interface with its mask recomputed, as the
// prepare pass draws it: flattening, widening, scan conversion, painting.
void DrawJobFresh(TGR32Graphics& painter, const TOutlineJob& job, TColor32 colour);
// The coverage alone from the flattened path: widening and scan conversion.
void ComputeJobCoverage(TGR32Graphics& painter, TBitmap32& surface, const TOutlineJob& job);

}  // namespace lumora::bench

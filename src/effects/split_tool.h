// TFengeTool: cuts the outline of one graphic into a number of separate
// graphics at equal spacing: round dots, square dots or line pieces.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/color32.h"
#include "render/geometry.h"
#include "scene/layer.h"

namespace lumora {

class TGraphicBase;

enum TSegmentStyle : std::int32_t { ssRoundDots = 0, ssSquareDots = 1, ssLinePieces = 2 };

// The most pieces one split makes; a larger count gives none.
inline constexpr std::int64_t kMaxSplitPieces = std::int64_t{1} << 16;
// How far each line piece reaches past its ends, so that neighbours overlap
// and no hairline gap shows between them.
inline constexpr double kPieceOverlap = 0.2;

class TFengeTool {
 public:
  explicit TFengeTool(TGraphicBase& source) : fSource(source) {}

  // count pieces of the style (ssRoundDots, ssSquareDots or ssLinePieces),
  // dots lineWidth (16.16) wide in the colour; line pieces take the
  // source's LineColor and LineWidth. Empty for another style, a count not
  // positive or too large, or an outline that gives no pitch.
  std::unique_ptr<TGraphicBaseList> Split(std::int32_t style, std::int64_t count, TFixed lineWidth,
                                          TWinColor colour);

  // The dot centres along the outline at the pitch: the first point, the
  // points every pitch pixels of path, and the last point once more.
  static std::vector<TDoublePoint> DotCentres(const std::vector<TDoublePoint>& outline, double pitch);
  // The point runs of the line pieces; runs of fewer than two points are
  // left in and make no piece.
  static std::vector<std::vector<TFixedPoint>> PieceRuns(const std::vector<TDoublePoint>& outline, double pitch);

 private:
  void addDots(TGraphicBaseList& list, const std::vector<TDoublePoint>& outline, double pitch, bool round,
               TFixed lineWidth, TWinColor colour) const;
  void addPieces(TGraphicBaseList& list, const std::vector<TDoublePoint>& outline, double pitch) const;

  TGraphicBase& fSource;
};

}  // namespace lumora

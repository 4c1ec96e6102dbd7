// TGR32Graphics: the pen-and-brush drawing object through which every scene
// object strokes and fills its outline. Wide strokes and fills become a
// coverage mask that stays in the object, so that a step which only changes
// colour repaints the same shape without computing it again.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "render/band_painter.h"
#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/packed_coverage.h"
#include "render/polygon32.h"
#include "render/scan_converter.h"

namespace lumora {

// The narrowest stroke that polygon widening produces: 1.25 pixels.
inline constexpr TFixed kMinWidenedStroke = 81920;
inline constexpr float kWidenSharpness = 0.5f;
// 8 × 8 sub-samples, with the non-zero rule, for every mask of this object.
inline constexpr std::int32_t kGraphicsAntialiasLevel = 2;

class TGR32Graphics : public TObject {
 public:
  TGR32Graphics();
  std::string ClassName() const override { return "TGR32Graphics"; }

  TBitmap32* Bitmap = nullptr;
  bool Antialias = false;
  TFixed PenWidth = 1;
  TColor32 PenColor = clBlack32;
  TColor32 BrushColor = clWhite32;
  std::unique_ptr<TPolygon32> WorkPolygon;
  // What a shape's first drawing leaves for the repaints: the stored
  // coverage of anti-aliased shapes, and the rectangles and outline of
  // shapes drawn in whole pixels.
  TCoverageMask Coverage;
  TRects RegionRects;
  TPoints OutlinePoints;
  // While set, operations compute nothing and repaint the stored mask or
  // rectangles in the current colour; a band painter recording into Bitmap
  // then keeps the stored mask's repaint as a step of its frame.
  bool ReuseMask = false;

  void DrawLine(const TFixedPoint& p1, const TFixedPoint& p2);
  void DrawLineWideFixed(const TFixedPoint& p1, const TFixedPoint& p2);
  void DrawLinePixels(const TPoint& p1, const TPoint& p2);
  void WidenLineByGdi(const TPoint& p1, const TPoint& p2);
  void DrawOutlinePoints(const TPoints& points, TColor32 c);
  void FillRegionRects(const TRects& rects, TColor32 c);

  void DrawPolyline(std::span<const TFixedPoint> points);
  void DrawPolylineWide(std::span<const TFixedPoint> points);
  void FillPolygon(std::span<const TFixedPoint> points);
  void FillPolygonWithOutline(std::span<const TFixedPoint> points);
  void FillBezierPath(std::span<const TFixedPoint> points);
  void FillBezierPathGdi(std::span<const TFixedPoint> points);
  void DrawBezierWide(std::span<const TPoint> points);
  void FillGlyphPath(std::span<const TPoint> points, std::span<const std::uint8_t> types);
  void StrokeGlyphPath(std::span<const TPoint> points, std::span<const std::uint8_t> types);
  // Path points with their path point types into contours of the polygon;
  // Béziers are flattened against Bitmap when there is one.
  void PathToPolygon(std::span<const TPoint> points, std::span<const std::uint8_t> types, TPolygon32& polygon) const;

  // WorkPolygon replaced by its outline grown by half the pen width.
  void WidenWorkPolygon(bool closed);
  // Every coverage byte scaled by the alpha of the surface pixel under it;
  // rows left without coverage are dropped.
  void MaskCoverageByAlpha(const TBitmap32& surface);

  // A filled anti-aliased circle straight onto the surface, without a mask.
  static void DrawDot(TBitmap32& surface, const TFixedPoint& centre, TFixed radius, TColor32 colour);

 private:
  void paintMask(TColor32 colour);
  void clearCoverage();
  void computeWorkPolygonCoverage();
  void drawBezierPixels(std::span<const TPoint> points);

  // The stored mask packed for the band painter once it is frozen.
  TPackedCoverage fPacked;
};

}  // namespace lumora

// TGR32Graphics: the pen-and-brush drawing object through which every scene
// object strokes and fills its outline. Wide strokes and fills become a
// coverage mask that stays in the object, so that a step which only changes
// colour repaints the same shape without computing it again.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/polygon32.h"
#include "render/scan_converter.h"

namespace lumora {

// Eight pixels: the Manhattan length below which a Bézier piece is flat.
inline constexpr TFixed FlattenTolerance = 8 << 16;
inline constexpr long double EllipseFactor = 0.26521648984L;
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
  TPoints RowOrigins;
  TRects RegionRects;
  TArrayofByteArray CoverageRows;
  // While set, operations compute nothing and repaint the stored mask or
  // rectangles in the current colour.
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

  // 13 control points: four cubic pieces from the left middle of the box over
  // the top, the right and the bottom back to the left middle.
  static TArrayOfFixedPoint EllipseBezier(TFixed l, TFixed t, TFixed r, TFixed b);
  static TArrayOfFixedPoint EllipseBezier(const TPoint& topLeft, const TPoint& bottomRight);
  // Control points of the arc of the ellipse in the box, angles in radians
  // growing counter-clockwise on screen; equal angles give the whole ellipse.
  static TArrayOfFixedPoint ArcBezier(const TPoint& p1, const TPoint& p2, double startAngle, double endAngle);
  static TFixedRect PointsBounds(std::span<const TFixedPoint> points);
  static TFixedRect BezierBounds(std::span<const TFixedPoint> points);
  // The on-curve ends of the pieces the Bézier is cut into. Pieces whose
  // control points all lie outside one side of a clip rectangle (when one is
  // given and not all zero) stay whole.
  static TArrayOfFixedPoint FlattenBezier(std::span<const TFixedPoint> points, TFixed tolerance = FlattenTolerance,
                                          const TFixedRect* clip = nullptr);
  // Flattens into output unless every point lies outside the surface on one
  // side; then output is left as it is and the answer is false.
  static bool FlattenBezierVisible(std::span<const TFixedPoint> points, const TBitmap32& surface,
                                   TArrayOfFixedPoint& output);
  // 1 right, 3 below, 0 left, 2 above, 4 inside, tested in that order.
  static std::int32_t OutCode(const TFixedPoint& p, const TFixedRect& r);
  // A filled anti-aliased circle straight onto the surface, without a mask.
  static void DrawDot(TBitmap32& surface, const TFixedPoint& centre, TFixed radius, TColor32 colour);

 private:
  void clearMask();
  void paintMask(TColor32 colour);
  void computeWorkPolygonCoverage();
  void drawBezierPixels(std::span<const TPoint> points);
};

}  // namespace lumora

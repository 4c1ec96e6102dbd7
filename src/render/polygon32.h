// TPolygon32: contours of 16.16 points with a fill rule, and their widening.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "render/bitmap32.h"
#include "render/geometry.h"

namespace lumora {

// Colours a fill from a pattern surface repeated over the target: the pixel
// (X, Y) takes the pattern pixel ((X − OffsetX) mod W, (Y − OffsetY) mod H),
// combined under the pattern's draw mode.
class TBitmapPolygonFiller {
 public:
  const TBitmap32* Pattern = nullptr;
  std::int32_t OffsetX = 0;
  std::int32_t OffsetY = 0;

  // Combines the pattern into one row of pixels starting at (x, y), each
  // weighted by its coverage (255 throughout without anti-aliasing).
  void FillLine(std::span<TColor32> dst, std::int32_t x, std::int32_t y, std::span<const std::uint8_t> coverage) const;
};

class TPolygon32 {
 public:
  // A new polygon holds one empty contour.
  TPolygon32();

  const TArrayOfArrayOfFixedPoint& Points() const { return fPoints; }
  TArrayOfArrayOfFixedPoint& MutablePoints() {
    fNormals.clear();
    return fPoints;
  }

  bool Closed = true;
  TPolyFillMode FillMode = pfAlternate;
  bool Antialiased = false;
  // 0 … 4, the sub-sampling levels of the scan converter.
  std::int32_t AntialiasLevel = 2;

  // No contours, then one new empty contour.
  void Clear();
  void NewContour();
  // Append to the last contour.
  void AddPoint(const TFixedPoint& p);
  void AddPoints(std::span<const TFixedPoint> points);

  // Closed: every contour followed by a contour of the same points reversed;
  // open: every contour extended in place by its points reversed.
  std::unique_ptr<TPolygon32> Outline() const;
  // Every contour moved outwards by delta along its edge normals; corners
  // sharper than the sharpness allows get two points instead of one.
  std::unique_ptr<TPolygon32> Grow(TFixed delta, float sharpness) const;

  // The unit edge normals of every contour, in 16.16, built on first use.
  const TArrayOfArrayOfFixedPoint& Normals() const;

  // All contours at once under the fill rule, anti-aliased at the polygon's
  // level when its flag is set.
  void FillOnSurface(TBitmap32& surface, TColor32 colour) const;
  // The same with the colours of a pattern filler.
  void FillWithPattern(TBitmap32& surface, const TBitmapPolygonFiller& filler) const;

 private:
  void copySettingsFrom(const TPolygon32& other);

  TArrayOfArrayOfFixedPoint fPoints;
  mutable TArrayOfArrayOfFixedPoint fNormals;
};

// a × b / c with a 64-bit product, rounded half away from zero.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace lumora

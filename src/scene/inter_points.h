// The outline point lists of the outline shapes: TInterPoints keeps the
// points in the graphic's own coordinates, TMetaPoly reads them as a chain
// of cubic Bézier pieces and TMetaPolygon as the vertices of a polygon.
#pragma once

#include <cstdint>
#include <span>

#include "render/color32.h"
#include "render/geometry.h"
#include "render/polygon32.h"

namespace lumora {

class TBitmap32;
class TGraphicBase;
class TStreamReader;
class TStreamWriter;
struct TCanvas;

// The most points one outline may hold (32 MB of 16.16 pairs); a show's
// outlines together hold no more than its work budget allows.
inline constexpr std::int64_t kMaxOutlinePoints = std::int64_t{1} << 22;
// What one outline point costs while a show is prepared: the point, the
// copies drawing keeps (device points, the outline cache) and the widened
// polygon built from them. Charged when the points are read or generated,
// before any of that work.
inline constexpr std::uint64_t kOutlinePointBytes = 192;

// The kinds of the older shape records.
inline constexpr std::int32_t kLegacyArc = 0;
inline constexpr std::int32_t kLegacyEllipse = 3;
inline constexpr std::int32_t kLegacyPolygon = 4;
inline constexpr std::int32_t kLegacyStar = 5;

// A 16.16 coordinate in the older unit of about a hundredth of a pixel,
// truncated toward zero.
inline std::int32_t ExportCoordinate(TFixed v) { return v / 655; }
// A coordinate of the older integer records (hundredths of a pixel) in
// 16.16: scaled by the single 0.01 and rounded to whole pixels.
TFixed FixedFromHundredths(std::int32_t v);
// (v + 32767) sar 16 shifted back: exact halves go down.
TFixed RoundFixedToWhole(TFixed v);

class TInterPoints {
 public:
  explicit TInterPoints(TGraphicBase& owner) : fOwner(&owner) {}
  TInterPoints(const TInterPoints&) = delete;
  TInterPoints& operator=(const TInterPoints&) = delete;

  const TArrayOfFixedPoint& Points() const { return fPoints; }
  std::size_t Count() const { return fPoints.size(); }
  // The outline as last drawn, in bitmap coordinates.
  const TArrayOfFixedPoint& DrawnPoints() const { return fDrawn; }

  // Charges n outline points about to be read or generated for what: to the
  // work budget's points and, at kOutlinePointBytes each, to the memory
  // budget.
  static void ChargePoints(std::uint64_t n, const char* what);

  // The point record, with the list sized to its count first: 0 empties it,
  // a negative count is a format error.
  void ReadPoints(TStreamReader& stream);
  void WritePoints(TStreamWriter& stream) const;
  // The count and the points mapped by ComposeMatrix in the older unit.
  void WriteExportPoints(TStreamWriter& stream) const;

  void SetPoints(std::span<const TFixedPoint> points);
  void SetIntPoints(std::span<const TPoint> points);
  // Every coordinate rounded as (v + 32767) sar 16, untransformed.
  TPoints IntPoints() const;
  // Every coordinate rounded to whole pixels that way, kept in 16.16.
  void RoundToWholeUnits();

  // With a Deformer on the owner: the placement and the Deformer folded into
  // the points, the owner left with a neutral placement at the points' box.
  void Bake();

  // n points of an older record in hundredths of a pixel, each coordinate
  // rounded to whole pixels; a negative count is a format error.
  void ReadHundredths(TStreamReader& stream, std::int32_t n);
  // Moves the points by minus the box's top-left corner; the owner's Size
  // becomes the box's size (clamped), Position its corner and Pivot the
  // centre of Size.
  void MoveToOrigin(const TFixedRect& box);

 protected:
  TGraphicBase& Owner() const { return *fOwner; }
  // The points through ComposeMatrix's working transformation.
  TArrayOfFixedPoint composedPoints() const;
  // The points through the working transformation and the Deformer, when
  // the owner has one.
  TArrayOfFixedPoint deformedPoints() const;
  // The outline points of step 1 of drawing into fDrawn and the owner's
  // OutlineCache.
  void prepareDrawing();
  void bake(TFixedRect (*bounds)(std::span<const TFixedPoint>));
  // The owner of an older shape: neutral placement, transformation rebuilt,
  // grid layer 0.
  void finishLegacyShape();
  // Reads n points of n after checking it against the data that follows.
  void readPointData(TStreamReader& stream, std::int32_t n);

  TArrayOfFixedPoint fPoints;
  // The drawn outline in bitmap coordinates, kept for the repaints of a
  // frozen coverage so that a frame allocates nothing.
  TArrayOfFixedPoint fDrawn;

 private:
  TGraphicBase* fOwner;
};

class TMetaPoly : public TInterPoints {
 public:
  using TInterPoints::TInterPoints;

  // The point record; a count of 0 or less keeps the points.
  void ReadPoints(TStreamReader& stream);
  // Bake with the box of the curves.
  void Bake();
  // The transformed control points flattened into a polyline.
  void GetFixedOutline(TArrayOfFixedPoint& points) const;
  void DrawInColor(TBitmap32& bitmap, TWinColor colour);
  void DrawToCanvas(TCanvas& canvas) const;
  void AddToPolygon(TPolygon32& polygon) const;
  bool HitTest(std::int32_t x, std::int32_t y) const;
  void GetBounds(TFixedRect& rect) const;
  void GetRegionBounds(TRect& rect) const;
  // The older ellipse and arc parameters (kind kLegacyArc or kLegacyEllipse),
  // 63 bytes; the owner gets the outline's box as its placement.
  void ReadLegacyShape(TStreamReader& stream, std::int32_t kind);
};

class TMetaPolygon : public TInterPoints {
 public:
  using TInterPoints::TInterPoints;

  void GetFixedOutline(TArrayOfFixedPoint& points) const;
  void DrawInColor(TBitmap32& bitmap, TWinColor colour);
  void DrawToCanvas(TCanvas& canvas) const;
  void AddToPolygon(TPolygon32& polygon) const;
  bool HitTest(std::int32_t x, std::int32_t y) const;
  void GetBounds(TFixedRect& rect) const;
  void GetRegionBounds(TRect& rect) const;
  // The older polygon and star parameters (kind kLegacyPolygon or
  // kLegacyStar), 63 bytes; the owner gets the outline's box as its
  // placement.
  void ReadLegacyShape(TStreamReader& stream, std::int32_t kind);
  // The vertices mapped by ComposeMatrix in the older unit as a chain of
  // straight Bézier pieces: 3n − 2 points, nothing for no vertices.
  void WriteExport(TStreamWriter& stream) const;
};

}  // namespace lumora

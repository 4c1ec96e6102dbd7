// The open paths: TLine (one straight segment), TPolyLine (a path through
// vertices) and TPolyBezier (a chain of cubic Bézier pieces). The older
// polygon, star and arc records become polylines and Bézier paths.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "scene/inter_points.h"
#include "scene/outline_shape.h"

namespace lumora {

class TLine : public TGraphicBase {
 public:
  explicit TLine(TView* view);
  std::string ClassName() const override { return "TLine"; }

  // Start and end, in the line's own coordinates; a current record may
  // carry another count, of which the first two points are the ends
  // (missing ones are (0, 0)).
  TInterPoints& Outline() { return fOutline; }
  const TInterPoints& Outline() const { return fOutline; }
  // The device-space ends for the selection markers.
  const TPoints& EndpointCache() const { return fEndpointCache; }

  // Moves the ends into their own box: Size, Position and Pivot of that
  // box, neutral scale, skew and angle.
  void NormaliseLine();
  // Both ends in 16.16, normalised, transformation rebuilt.
  void SetEndpoints(const TFixedPoint& start, const TFixedPoint& end);

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override;
  // Needs the view's canvas; without a view nothing is hit.
  bool HitTest(std::int32_t x, std::int32_t y) override;
  void DrawToCanvas(TCanvas& canvas) override;
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override;
  void GetFixedOutline(TArrayOfFixedPoint& points) override;
  void GetBounds(TFixedRect& rect) override;
  void GetRegionBounds(TRect& rect) override;
  TGdiRegion CreateRegion() override;
  // The effect's static draw in LineColor (a line is never filled), then
  // two white squares at the ends when selected.
  void Draw(TBitmap32& bitmap) override;
  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override;
  // The older line record: two whole-pixel points.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteBody(TStreamWriter& stream) override;
  void WriteExport(TStreamWriter& stream) override;
  void BakeTransform() override;
  void OutlineChanged() override { fOutline.Bake(); }
  // A thin line is drawn anew every frame.
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override;

 private:
  std::array<TFixedPoint, 2> ends() const;
  std::array<TPoint, 2> mappedIntEnds() const;

  TInterPoints fOutline;
  TPoints fEndpointCache;
  // The drawn ends, kept for the repaints of a frozen coverage.
  std::array<TFixedPoint, 2> fDrawnEnds{};
};

class TPolyLine : public TOutlineShape<TMetaPolygon> {
 public:
  explicit TPolyLine(TView* view) : TOutlineShape(view, 11) {}
  std::string ClassName() const override { return "TPolyLine"; }

  // 1 on the polylines the outline splitting tool makes; carried only.
  std::uint8_t FromSplit = 0;

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TPolyLine>(); }
  // Inside the outline, or on its line widened by LineWidth + 4 pixels.
  bool HitTest(std::int32_t x, std::int32_t y) override;
  // One open polyline through all points.
  void DrawToCanvas(TCanvas& canvas) override;
  // The older regular-polygon and star records.
  void ReadLegacyPolygon(TStreamReader& stream);
  void ReadLegacyStar(TStreamReader& stream);

 protected:
  void readOwnFields(TStreamReader& stream) override { stream.ReadU8(FromSplit); }
  void writeOwnFields(TStreamWriter& stream) override { stream.WriteU8(FromSplit); }
  void writeExportOutline(TStreamWriter& stream) override { fOutline.WriteExport(stream); }
};

class TPolyBezier : public TOutlineShape<TMetaPoly> {
 public:
  explicit TPolyBezier(TView* view) : TOutlineShape(view, 6) {}
  std::string ClassName() const override { return "TPolyBezier"; }

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TPolyBezier>(); }
  // The older Bézier record: control points in hundredths, moved into the
  // box of their curves.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
  // The older arc record.
  void ReadLegacyArc(TStreamReader& stream);
};

}  // namespace lumora

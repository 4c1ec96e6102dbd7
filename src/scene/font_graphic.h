// TFontGraphic: lettering, stored as the path that drawing the text left
// behind (points and path point types), so that the player needs no fonts.
// It fills or strokes that path like any other outline.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/graphic_base.h"
#include "scene/inter_points.h"

namespace lumora {

// Path point types: move to, line to (3 closes the figure), Bézier point
// (5 is the last point of a closed Bézier figure).
inline constexpr std::uint8_t kPathMoveTo = 6;
inline constexpr std::uint8_t kPathLineTo = 2;
inline constexpr std::uint8_t kPathBezierTo = 4;
inline constexpr std::uint8_t kPathCloseFigure = 1;

class TFontGraphic : public TGraphicBase {
 public:
  explicit TFontGraphic(TView* view);
  std::string ClassName() const override { return "TFontGraphic"; }

  // 16.16 points relative to the top-left corner of the path's box; the
  // i-th type belongs to the i-th point.
  TInterPoints& Points() { return fPoints; }
  const TInterPoints& Points() const { return fPoints; }
  const std::vector<std::uint8_t>& PointTypes() const { return fTypes; }
  void SetPointTypes(std::vector<std::uint8_t> types) { fTypes = std::move(types); }

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override;
  // The point, mapped back into the graphic's own coordinates, inside the
  // path's region.
  bool HitTest(std::int32_t x, std::int32_t y) override;
  void DrawToCanvas(TCanvas& canvas) override;
  // Fills (Filled) or strokes the mapped path; a frozen coverage is only
  // recoloured.
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override;
  void GetBounds(TFixedRect& rect) override;
  void AddToPolygon(TPolygon32& polygon) override;
  void OutlineChanged() override;
  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteBody(TStreamWriter& stream) override;
  // The older record of code 10: points in hundredths and the discarded
  // text; the points are then moved into their own box.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
  // The oldest record (code 8): the discarded text, then points in whole
  // pixels and their types.
  void ReadLegacyText(TStreamReader& stream);
  void WriteExport(TStreamWriter& stream) override;

 private:
  void readTypes(TStreamReader& stream, std::int32_t count);
  void moveIntoBox();
  TPoints mappedPath() const;

  std::vector<std::uint8_t> fTypes;
  TInterPoints fPoints;
};

}  // namespace lumora

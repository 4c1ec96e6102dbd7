// TOutlineShape: what the outline shapes share. Each owns one outline point
// list and hands it nearly every outline operation; its body is the common
// record, the effect's record and the list's point record, followed by the
// class's own fields.
#pragma once

#include <memory>

#include "io/stream.h"
#include "render/work_budget.h"
#include "scene/effect.h"
#include "scene/frame_work.h"
#include "scene/graphic_base.h"
#include "scene/inter_points.h"

namespace lumora {

template <class THolder>
class TOutlineShape : public TGraphicBase {
 public:
  THolder& Outline() { return fOutline; }
  const THolder& Outline() const { return fOutline; }

  bool HitTest(std::int32_t x, std::int32_t y) override { return fOutline.HitTest(x, y); }
  void DrawToCanvas(TCanvas& canvas) override { fOutline.DrawToCanvas(canvas); }
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override { fOutline.DrawInColor(bitmap, colour); }
  void GetFixedOutline(TArrayOfFixedPoint& points) override { fOutline.GetFixedOutline(points); }
  void GetBounds(TFixedRect& rect) override { fOutline.GetBounds(rect); }
  void GetRegionBounds(TRect& rect) override { fOutline.GetRegionBounds(rect); }
  void AddToPolygon(TPolygon32& polygon) override { fOutline.AddToPolygon(polygon); }
  void OutlineChanged() override { fOutline.Bake(); }
  // Thin outlines are drawn anew every frame along their points.
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override {
    TGraphicBase::SetCoverageFrozen(flag, bitmap);
    if (flag) ChargeFramePixels(ThinLinePixels(Painter(), fOutline.DrawnPoints(), bitmap), "the lines of an outline");
  }

  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override {
    TGraphicBase::ReadBody(stream, builder);
    fOutline.ReadPoints(stream);
    readOwnFields(stream);
  }
  void WriteBody(TStreamWriter& stream) override {
    TGraphicBase::WriteBody(stream);
    fOutline.WritePoints(stream);
    writeOwnFields(stream);
  }
  // The older header, then the outline in the older unit for the plain
  // effect or the polyline group's export; other effects add nothing.
  void WriteExport(TStreamWriter& stream) override {
    TGraphicBase::WriteExport(stream);
    if (EffectKind() == kEffectPlain) {
      writeExportOutline(stream);
    } else if (EffectKind() == kEffectPolyLineGroup) {
      Effect().WriteExport(stream);
    }
  }

 protected:
  TOutlineShape(TView* view, std::uint8_t typeCode) : TGraphicBase(view), fOutline(*this) { SetTypeCode(typeCode); }

  // The fields the class keeps after the point record.
  virtual void readOwnFields(TStreamReader&) {}
  virtual void writeOwnFields(TStreamWriter&) {}
  // The count and the mapped points; corner shapes write a Bézier chain.
  virtual void writeExportOutline(TStreamWriter& stream) { fOutline.WriteExportPoints(stream); }

  // A new object of the class, assigned from this one.
  template <class TShape>
  std::unique_ptr<TGraphicBase> cloneAs() {
    auto copy = std::make_unique<TShape>(nullptr);
    copy->Assign(*this);
    return copy;
  }

  THolder fOutline;
};

// Reads a 32-bit count m and skips m records of 9 bytes, which the player
// does not use.
void SkipNineByteRecords(TStreamReader& stream);

}  // namespace lumora

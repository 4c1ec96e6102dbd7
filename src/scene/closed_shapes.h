// The closed shapes: TEllipse and TArc keep their outline as Bézier control
// points, TRectangle, TPolygon and TPolyStar as polygon vertices whose last
// vertex repeats the first. The outline is stored ready-made; the shape
// parameters are only carried through a load and save.
#pragma once

#include <cstdint>
#include <string>

#include "scene/inter_points.h"
#include "scene/outline_shape.h"

namespace lumora {

class TEllipse : public TOutlineShape<TMetaPoly> {
 public:
  explicit TEllipse(TView* view) : TOutlineShape(view, 3) {}
  std::string ClassName() const override { return "TEllipse"; }

  // The outline rounded to whole units, then the base assignment.
  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TEllipse>(); }
  // The older ellipse record: the ellipse of its box, placed, and the
  // trailing records skipped.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
};

class TArc : public TOutlineShape<TMetaPoly> {
 public:
  explicit TArc(TView* view) : TOutlineShape(view, 0) {}
  std::string ClassName() const override { return "TArc"; }

  // Carried through a load and save, not drawn.
  std::int32_t ArcValue4 = 0;
  std::int32_t ArcValue2 = 0;
  std::int32_t ArcValue3 = 0;
  std::int32_t ArcValue1 = 0;

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TArc>(); }

 protected:
  void readOwnFields(TStreamReader& stream) override;
  void writeOwnFields(TStreamWriter& stream) override;
};

class TRectangle : public TOutlineShape<TMetaPolygon> {
 public:
  explicit TRectangle(TView* view) : TOutlineShape(view, 2) { SetFilled(false); }
  std::string ClassName() const override { return "TRectangle"; }

  // The outline copied exactly, then the base assignment.
  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TRectangle>(); }
  // The older record: points in hundredths, moved into their own box.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
  // The closed outline of Size alone, with Pivot at its centre.
  void BuildFromSize();
};

class TPolygon : public TOutlineShape<TMetaPolygon> {
 public:
  explicit TPolygon(TView* view) : TOutlineShape(view, 4) {}
  std::string ClassName() const override { return "TPolygon"; }

  std::int32_t Sides = 5;
  std::int32_t ShapeSize = 0;

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TPolygon>(); }

 protected:
  void readOwnFields(TStreamReader& stream) override;
  void writeOwnFields(TStreamWriter& stream) override;
  void writeExportOutline(TStreamWriter& stream) override { fOutline.WriteExport(stream); }
};

class TPolyStar : public TOutlineShape<TMetaPolygon> {
 public:
  explicit TPolyStar(TView* view) : TOutlineShape(view, 5) {}
  std::string ClassName() const override { return "TPolyStar"; }

  std::int32_t StarPoints = 5;
  std::int32_t ShapeSize = 0;
  std::int32_t InnerPercent = 38;

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override { return cloneAs<TPolyStar>(); }

 protected:
  void readOwnFields(TStreamReader& stream) override;
  void writeOwnFields(TStreamWriter& stream) override;
  void writeExportOutline(TStreamWriter& stream) override { fOutline.WriteExport(stream); }
};

}  // namespace lumora

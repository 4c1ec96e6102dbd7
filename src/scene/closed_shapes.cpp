#include "scene/closed_shapes.h"

#include "io/stream.h"
#include "render/gr32_graphics.h"

namespace lumora {

namespace {

// The source's outline, rounded to whole units when asked: the copy of a
// shape holds whole-unit coordinates except for rectangles.
template <class THolder>
void copyOutline(THolder& target, const THolder& source, bool roundToWhole) {
  target.SetPoints(source.Points());
  if (roundToWhole) target.RoundToWholeUnits();
}

}  // namespace

void SkipNineByteRecords(TStreamReader& stream) {
  std::int32_t m = 0;
  if (!stream.ReadS32(m)) stream.Fail("an older shape record is cut short");
  if (m < 0) stream.Fail("an older shape record with a negative record count");
  const std::uint64_t bytes = std::uint64_t{9} * static_cast<std::uint32_t>(m);
  if (stream.Skip(bytes) != bytes) stream.Fail("an older shape record is cut short");
}

void TEllipse::Assign(TGraphicBase& source) {
  if (auto* ellipse = dynamic_cast<TEllipse*>(&source)) copyOutline(fOutline, ellipse->fOutline, true);
  TGraphicBase::Assign(source);
}

void TEllipse::ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) {
  fOutline.ReadLegacyShape(stream, kLegacyEllipse);
  SetTypeCode(6);
  SkipNineByteRecords(stream);
}

void TArc::Assign(TGraphicBase& source) {
  if (auto* arc = dynamic_cast<TArc*>(&source)) {
    ArcValue1 = arc->ArcValue1;
    ArcValue2 = arc->ArcValue2;
    ArcValue3 = arc->ArcValue3;
    ArcValue4 = arc->ArcValue4;
    copyOutline(fOutline, arc->fOutline, true);
  }
  TGraphicBase::Assign(source);
}

void TArc::readOwnFields(TStreamReader& stream) {
  stream.ReadS32(ArcValue1);
  stream.ReadS32(ArcValue2);
  stream.ReadS32(ArcValue3);
  stream.ReadS32(ArcValue4);
}

void TArc::writeOwnFields(TStreamWriter& stream) {
  stream.WriteS32(ArcValue1);
  stream.WriteS32(ArcValue2);
  stream.WriteS32(ArcValue3);
  stream.WriteS32(ArcValue4);
}

void TRectangle::Assign(TGraphicBase& source) {
  if (auto* rectangle = dynamic_cast<TRectangle*>(&source)) copyOutline(fOutline, rectangle->fOutline, false);
  TGraphicBase::Assign(source);
}

void TRectangle::ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) {
  SetGridLayer(0);
  std::int32_t n = 0;
  if (!stream.ReadS32(n)) stream.Fail("an older rectangle record is cut short");
  if (n <= 0) return;
  fOutline.ReadHundredths(stream, n);
  fOutline.MoveToOrigin(PointsBounds(fOutline.Points()));
}

void TRectangle::BuildFromSize() {
  const TFixed w = FixedFromFloat(Size().X);
  const TFixed h = FixedFromFloat(Size().Y);
  const TFixedPoint corners[] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}};
  fOutline.SetPoints(corners);
  SetPivot({Size().X / 2, Size().Y / 2});
}

void TPolygon::Assign(TGraphicBase& source) {
  if (auto* polygon = dynamic_cast<TPolygon*>(&source)) {
    Sides = polygon->Sides;
    ShapeSize = polygon->ShapeSize;
    copyOutline(fOutline, polygon->fOutline, true);
  }
  TGraphicBase::Assign(source);
}

void TPolygon::readOwnFields(TStreamReader& stream) {
  stream.ReadS32(Sides);
  stream.ReadS32(ShapeSize);
}

void TPolygon::writeOwnFields(TStreamWriter& stream) {
  stream.WriteS32(Sides);
  stream.WriteS32(ShapeSize);
}

void TPolyStar::Assign(TGraphicBase& source) {
  if (auto* star = dynamic_cast<TPolyStar*>(&source)) {
    StarPoints = star->StarPoints;
    ShapeSize = star->ShapeSize;
    InnerPercent = star->InnerPercent;
    copyOutline(fOutline, star->fOutline, true);
  }
  TGraphicBase::Assign(source);
}

void TPolyStar::readOwnFields(TStreamReader& stream) {
  stream.ReadS32(StarPoints);
  stream.ReadS32(InnerPercent);
  stream.ReadS32(ShapeSize);
}

void TPolyStar::writeOwnFields(TStreamWriter& stream) {
  stream.WriteS32(StarPoints);
  stream.WriteS32(InnerPercent);
  stream.WriteS32(ShapeSize);
}

}  // namespace lumora

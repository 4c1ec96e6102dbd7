#include "scene/inter_points.h"

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>

#include "io/stream.h"
#include "render/bezier.h"
#include "render/gdi_path.h"
#include "render/gr32_graphics.h"
#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/graphic_base.h"
#include "scene/view.h"

namespace lumora {

namespace {

// The largest arc angle of an older record, in whole degrees (the arc
// builder refuses angles beyond 1024 half turns).
constexpr std::int32_t kMaxLegacyDegrees = 1000 * 180;

// The fields of the older ellipse-and-arc and polygon-and-star records: nine
// 32-bit values, a placement of six singles and three bytes.
struct TLegacyShapeRecord {
  std::int32_t Values[9] = {};
  float Placement[6] = {};

  std::int32_t Left() const { return Values[0]; }
  std::int32_t Top() const { return Values[1]; }
  std::int32_t Width() const { return Values[2]; }
  std::int32_t Height() const { return Values[3]; }
};
constexpr std::uint64_t kLegacyShapeRecordSize = 63;

TLegacyShapeRecord readLegacyShapeRecord(TStreamReader& stream) {
  if (!stream.Has(kLegacyShapeRecordSize)) stream.Fail("an older shape record is cut short");
  TLegacyShapeRecord r;
  for (std::int32_t& v : r.Values) stream.ReadS32(v);
  for (float& f : r.Placement) stream.ReadFloat(f);
  stream.Skip(3);
  return r;
}

// The centre of the box (left, top, left + width, top + height) in whole
// units, as 16.16.
TFixedPoint boxCentre(const TLegacyShapeRecord& r) {
  const std::int64_t x = (std::int64_t{r.Left()} * 2 + r.Width()) / 2;
  const std::int64_t y = (std::int64_t{r.Top()} * 2 + r.Height()) / 2;
  return {FixedFromInt(static_cast<std::int32_t>(x)), FixedFromInt(static_cast<std::int32_t>(y))};
}

// The placement of the record, then the move to the centre of its box.
void placeLegacyOutline(TArrayOfFixedPoint& points, const TLegacyShapeRecord& r) {
  TransformPoints(points, r.Placement);
  const TFixedPoint centre = boxCentre(r);
  OffsetPoints(points, centre.X, centre.Y);
}

// A box that is empty along an axis gets one pixel along it.
TFixedRect atLeastOnePixel(TFixedRect r) {
  if (std::int64_t{r.Right} - r.Left <= 0) r.Right = WrapAdd(r.Left, kFixedOne);
  if (std::int64_t{r.Bottom} - r.Top <= 0) r.Bottom = WrapAdd(r.Top, kFixedOne);
  return r;
}

void appendContour(TPolygon32& polygon, const TArrayOfFixedPoint& points) {
  if (points.empty()) return;
  polygon.NewContour();
  polygon.AddPoints(points);
}

// The point (x, y) in outline coordinates: through the inverse of the
// working transformation.
TPoint outlinePoint(TGraphicBase& owner, std::int32_t x, std::int32_t y) {
  return owner.WorkTransform().ReverseTransform(TPoint{x, y});
}

// Identity matrices and a neutral scale, skew and angle.
void resetPlacement(TGraphicBase& owner) {
  owner.SetBaseMatrix(IdentityMatrix);
  owner.SetUserMatrix(IdentityMatrix);
  owner.SetScale({1, 1});
  owner.SetSkew({0, 0});
  owner.SetAngle(0);
}

}  // namespace

TFixed FixedFromHundredths(std::int32_t v) {
  return FixedFromInt(RoundToInt(static_cast<double>(v) * static_cast<double>(0.01f)));
}

TFixed RoundFixedToWhole(TFixed v) { return FixedFromInt(static_cast<std::int32_t>((std::int64_t{v} + 32767) >> 16)); }

void TInterPoints::ChargePoints(std::uint64_t n, const char* what) {
  lumora::ChargePoints(n, what);
  ChargeMemory(n * kOutlinePointBytes, what);
}

void TInterPoints::readPointData(TStreamReader& stream, std::int32_t n) {
  if (n > kMaxOutlinePoints) {
    stream.Fail("an outline of " + std::to_string(n) + " points, more than " + std::to_string(kMaxOutlinePoints));
  }
  ChargePoints(static_cast<std::uint32_t>(n), "the points of an outline");
  if (!stream.Has(std::uint64_t{8} * static_cast<std::uint32_t>(n))) {
    stream.Fail("an outline of " + std::to_string(n) + " points is cut short");
  }
  fPoints.assign(static_cast<std::size_t>(n), TFixedPoint{});
  for (TFixedPoint& p : fPoints) {
    stream.ReadS32(p.X);
    stream.ReadS32(p.Y);
  }
}

void TInterPoints::ReadHundredths(TStreamReader& stream, std::int32_t n) {
  if (n < 0) stream.Fail("an outline with a negative point count");
  readPointData(stream, n);
  for (TFixedPoint& p : fPoints) p = {FixedFromHundredths(p.X), FixedFromHundredths(p.Y)};
}

void TInterPoints::ReadPoints(TStreamReader& stream) {
  std::int32_t n = 0;
  if (!stream.ReadS32(n)) stream.Fail("an outline's point count is cut short");
  if (n < 0) stream.Fail("an outline with a negative point count");
  readPointData(stream, n);
}

void TInterPoints::WritePoints(TStreamWriter& stream) const {
  stream.WriteS32(static_cast<std::int32_t>(fPoints.size()));
  for (const TFixedPoint& p : fPoints) {
    stream.WriteS32(p.X);
    stream.WriteS32(p.Y);
  }
}

void TInterPoints::WriteExportPoints(TStreamWriter& stream) const {
  const TArrayOfFixedPoint mapped = composedPoints();
  stream.WriteS32(static_cast<std::int32_t>(mapped.size()));
  for (const TFixedPoint& p : mapped) {
    stream.WriteS32(ExportCoordinate(p.X));
    stream.WriteS32(ExportCoordinate(p.Y));
  }
}

void TInterPoints::SetPoints(std::span<const TFixedPoint> points) { fPoints.assign(points.begin(), points.end()); }

void TInterPoints::SetIntPoints(std::span<const TPoint> points) { fPoints = TGraphicBase::IntToFixed(points); }

TPoints TInterPoints::IntPoints() const { return TGraphicBase::FixedToInt(fPoints); }

void TInterPoints::RoundToWholeUnits() {
  for (TFixedPoint& p : fPoints) p = {RoundFixedToWhole(p.X), RoundFixedToWhole(p.Y)};
}

TArrayOfFixedPoint TInterPoints::composedPoints() const {
  Owner().ComposeMatrix();
  return Owner().TransformOutlineFixed(fPoints);
}

TArrayOfFixedPoint TInterPoints::deformedPoints() const {
  TArrayOfFixedPoint points = composedPoints();
  if (const TAffineTransformation* deformer = Owner().Deformer()) {
    for (TFixedPoint& p : points) p = deformer->Transform(p);
  }
  return points;
}

void TInterPoints::Bake() { bake(PointsBounds); }

void TInterPoints::bake(TFixedRect (*bounds)(std::span<const TFixedPoint>)) {
  if (Owner().Deformer() == nullptr) return;
  fPoints = deformedPoints();
  MoveToOrigin(bounds(fPoints));
  resetPlacement(Owner());
}

void TInterPoints::finishLegacyShape() {
  resetPlacement(Owner());
  Owner().UpdateTransform();
  Owner().SetGridLayer(0);
}

void TInterPoints::MoveToOrigin(const TFixedRect& box) {
  OffsetPoints(fPoints, WrapSub(0, box.Left), WrapSub(0, box.Top));
  const float width = static_cast<float>((std::int64_t{box.Right} - box.Left) / 65536.0);
  const float height = static_cast<float>((std::int64_t{box.Bottom} - box.Top) / 65536.0);
  Owner().SetSize({width, height});
  Owner().ClampSize();
  Owner().SetPosition(FloatPoint(TFixedPoint{box.Left, box.Top}));
  Owner().SetPivot({Owner().Size().X / 2, Owner().Size().Y / 2});
}

void TInterPoints::prepareDrawing() {
  TGraphicBase& owner = Owner();
  const TAffineTransformation* deformer = owner.Deformer();
  if (owner.EditMode() && deformer != nullptr) {
    owner.ComposeMatrix();
    TAffineTransformation view;
    owner.ApplyView(view);
    fDrawn.resize(fPoints.size());
    for (std::size_t i = 0; i < fPoints.size(); ++i) {
      fDrawn[i] = view.Transform(deformer->Transform(owner.WorkTransform().Transform(fPoints[i])));
    }
  } else if (owner.EditMode() || !owner.Painter().ReuseMask) {
    owner.UpdateTransform();
    fDrawn.resize(fPoints.size());
    for (std::size_t i = 0; i < fPoints.size(); ++i) fDrawn[i] = owner.WorkTransform().Transform(fPoints[i]);
  } else {
    return;
  }
  owner.OutlineCache() = TGraphicBase::FixedToInt(fDrawn);
}

void TMetaPoly::Bake() { bake(BezierBounds); }

void TMetaPoly::ReadPoints(TStreamReader& stream) {
  std::int32_t n = 0;
  if (!stream.ReadS32(n)) stream.Fail("an outline's point count is cut short");
  if (n > 0) readPointData(stream, n);
}

void TMetaPoly::GetFixedOutline(TArrayOfFixedPoint& points) const {
  points = FlattenBezier(composedPoints());
}

void TMetaPoly::DrawInColor(TBitmap32& bitmap, TWinColor colour) {
  prepareDrawing();
  TGraphicBase& owner = Owner();
  owner.SetTarget(&bitmap, colour);
  if (owner.Filled()) {
    owner.Painter().FillBezierPath(fDrawn);
  } else {
    owner.Painter().DrawBezierWide(owner.OutlineCache());
  }
}

void TMetaPoly::DrawToCanvas(TCanvas& canvas) const { canvas.Path.PolyBezier(Owner().TransformOutlineInt(fPoints)); }

void TMetaPoly::AddToPolygon(TPolygon32& polygon) const {
  TArrayOfFixedPoint outline;
  GetFixedOutline(outline);
  appendContour(polygon, outline);
}

bool TMetaPoly::HitTest(std::int32_t x, std::int32_t y) const {
  const TPoint p = outlinePoint(Owner(), x, y);
  TGdiPath path;
  path.PolyBezier(IntPoints());
  TGdiRegion region = TGdiRegion::FromPath(path, pfAlternate);
  // A straight or flat chain encloses nothing: its widened line counts.
  if (IsRectEmpty(region.Box())) region = TGdiRegion::FromPath(path.Widened(kRegionPenWidth), pfWinding);
  return region.Contains(p);
}

void TMetaPoly::GetBounds(TFixedRect& rect) const {
  rect = atLeastOnePixel(BezierBounds(deformedPoints()));
}

void TMetaPoly::GetRegionBounds(TRect& rect) const {
  rect = RectFromFixedRect(BezierBounds(composedPoints()), RoundOutside);
}

void TMetaPoly::ReadLegacyShape(TStreamReader& stream, std::int32_t kind) {
  const TLegacyShapeRecord r = readLegacyShapeRecord(stream);
  std::int32_t startDegrees = r.Values[7];
  std::int32_t endDegrees = r.Values[8];
  if (std::abs(std::int64_t{startDegrees}) > kMaxLegacyDegrees ||
      std::abs(std::int64_t{endDegrees}) > kMaxLegacyDegrees) {
    stream.Fail("an older arc turns more than " + std::to_string(kMaxLegacyDegrees) + " degrees");
  }
  if (startDegrees > endDegrees) std::swap(startDegrees, endDegrees);
  const TPoint corner{r.Width(), r.Height()};
  if (kind == kLegacyArc) {
    fPoints = ArcBezier({0, 0}, corner, startDegrees * std::numbers::pi / 180,
                                       endDegrees * std::numbers::pi / 180);
  } else {
    fPoints = EllipseBezier({0, 0}, corner);
  }
  // A few thousand points at most, bounded by the angles checked above.
  ChargePoints(fPoints.size(), "an older arc or ellipse");
  OffsetPoints(fPoints, FixedFromInt(-(r.Width() / 2)), FixedFromInt(-(r.Height() / 2)));
  placeLegacyOutline(fPoints, r);
  MoveToOrigin(BezierBounds(fPoints));
  finishLegacyShape();
}

void TMetaPolygon::GetFixedOutline(TArrayOfFixedPoint& points) const { points = composedPoints(); }

void TMetaPolygon::DrawInColor(TBitmap32& bitmap, TWinColor colour) {
  prepareDrawing();
  TGraphicBase& owner = Owner();
  owner.SetTarget(&bitmap, colour);
  if (owner.Filled()) {
    owner.Painter().FillPolygon(fDrawn);
  } else {
    owner.Painter().DrawPolylineWide(fDrawn);
  }
}

void TMetaPolygon::DrawToCanvas(TCanvas& canvas) const { canvas.Path.Polygon(Owner().TransformOutlineInt(fPoints)); }

void TMetaPolygon::AddToPolygon(TPolygon32& polygon) const { appendContour(polygon, composedPoints()); }

bool TMetaPolygon::HitTest(std::int32_t x, std::int32_t y) const {
  const TPoint p = outlinePoint(Owner(), x, y);
  return TGdiRegion::FromPolygon(IntPoints(), pfWinding).Contains(p);
}

void TMetaPolygon::GetBounds(TFixedRect& rect) const {
  rect = atLeastOnePixel(PointsBounds(deformedPoints()));
}

void TMetaPolygon::GetRegionBounds(TRect& rect) const {
  rect = RectFromFixedRect(PointsBounds(composedPoints()), RoundOutside);
}

void TMetaPolygon::ReadLegacyShape(TStreamReader& stream, std::int32_t kind) {
  const TLegacyShapeRecord r = readLegacyShapeRecord(stream);
  const std::int32_t size = r.Width();
  const std::int32_t corners = r.Values[5];
  const std::int64_t count = kind == kLegacyStar ? 2 * std::int64_t{corners} + 1 : std::int64_t{corners} + 1;
  if (count > kMaxOutlinePoints) stream.Fail("an older shape of " + std::to_string(corners) + " corners");
  if (count > 0) ChargePoints(static_cast<std::uint64_t>(count), "an older polygon or star");
  if (kind == kLegacyStar) {
    fPoints = StarPoints(corners, size, r.Values[6]);
  } else {
    fPoints = RegularPolygonPoints(corners, size);
  }
  const TFixed half = RoundToInt(size * 32768.0);
  OffsetPoints(fPoints, WrapSub(0, half), WrapSub(0, half));
  placeLegacyOutline(fPoints, r);
  MoveToOrigin(PointsBounds(fPoints));
  finishLegacyShape();
}

void TMetaPolygon::WriteExport(TStreamWriter& stream) const {
  const TArrayOfFixedPoint mapped = composedPoints();
  if (mapped.empty()) return;
  const auto write = [&stream](const TFixedPoint& p, int times) {
    for (int i = 0; i < times; ++i) {
      stream.WriteS32(ExportCoordinate(p.X));
      stream.WriteS32(ExportCoordinate(p.Y));
    }
  };
  if (mapped.size() == 1) {
    stream.WriteS32(1);
    write(mapped.front(), 1);
    return;
  }
  stream.WriteS32(static_cast<std::int32_t>(3 * mapped.size() - 2));
  write(mapped.front(), 2);
  for (std::size_t i = 1; i + 1 < mapped.size(); ++i) write(mapped[i], 3);
  write(mapped.back(), 2);
}

}  // namespace lumora

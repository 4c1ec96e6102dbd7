#include "scene/lines_and_paths.h"

#include <algorithm>

#include "io/stream.h"
#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "render/work_budget.h"
#include "scene/effect.h"
#include "scene/frame_work.h"

namespace lumora {

namespace {

// Half the side of the squares that mark a selected line's ends.
constexpr std::int32_t kEndMarkerRadius = 3;
constexpr TColor32 kEndMarkerColor = 0xFFFFFFFF;
// The hit-test pen is this much wider than the line.
constexpr std::int32_t kHitSlack = 4;

// The hit-test pen of a line: its width in whole pixels and the slack.
std::int32_t hitPenWidth(TFixed lineWidth) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(std::int64_t{lineWidth >> 16} + kHitSlack, 1, kMaxWidenCoordinate));
}

// Whether the point lies in the path stroked by a pen of the width.
bool strokeContains(const TGdiPath& path, std::int32_t penWidth, const TPoint& p) {
  return TGdiRegion::FromPath(path.Widened(penWidth), pfWinding).Contains(p);
}

}  // namespace

TLine::TLine(TView* view) : TGraphicBase(view), fOutline(*this) {
  SetTypeCode(1);
  const TFixedPoint origin[] = {{0, 0}, {0, 0}};
  fOutline.SetPoints(origin);
}

std::array<TFixedPoint, 2> TLine::ends() const {
  const TArrayOfFixedPoint& p = fOutline.Points();
  return {p.empty() ? TFixedPoint{} : p[0], p.size() < 2 ? TFixedPoint{} : p[1]};
}

// The ends rounded to whole units and mapped with the integer mapping.
std::array<TPoint, 2> TLine::mappedIntEnds() const {
  const std::array<TFixedPoint, 2> e = ends();
  const TPoints mapped = TransformPointsInt(FixedToInt(e));
  return {mapped[0], mapped[1]};
}

void TLine::NormaliseLine() {
  const std::array<TFixedPoint, 2> e = ends();
  const TFixedRect box = PointsBounds(e);
  fOutline.SetPoints(e);
  fOutline.MoveToOrigin(box);
  SetScale({1, 1});
  SetSkew({0, 0});
  SetAngle(0);
}

void TLine::SetEndpoints(const TFixedPoint& start, const TFixedPoint& end) {
  const TFixedPoint e[] = {start, end};
  fOutline.SetPoints(e);
  NormaliseLine();
  UpdateTransform();
}

void TLine::Assign(TGraphicBase& source) {
  if (auto* line = dynamic_cast<TLine*>(&source)) {
    fOutline.SetPoints(line->fOutline.Points());
    fOutline.RoundToWholeUnits();
  }
  TGraphicBase::Assign(source);
}

std::unique_ptr<TGraphicBase> TLine::Clone() {
  auto copy = std::make_unique<TLine>(nullptr);
  copy->Assign(*this);
  return copy;
}

bool TLine::HitTest(std::int32_t x, std::int32_t y) {
  if (View() == nullptr) return false;
  UpdateTransform();
  TCanvas& canvas = View()->Canvas();
  // The canvas gets its thin pen and an empty path back in every case.
  struct TCanvasRestore {
    TCanvas& Canvas;
    ~TCanvasRestore() {
      Canvas.Path = TGdiPath();
      Canvas.PenWidth = 1;
    }
  } restore{canvas};
  canvas.Path = TGdiPath();
  canvas.PenWidth = hitPenWidth(LineWidth());
  DrawToCanvas(canvas);
  return strokeContains(canvas.Path, canvas.PenWidth, {x, y});
}

void TLine::DrawToCanvas(TCanvas& canvas) {
  const std::array<TPoint, 2> e = mappedIntEnds();
  canvas.Path.MoveTo(e[0]);
  canvas.Path.LineTo(e[1]);
}

void TLine::DrawInColor(TBitmap32& bitmap, TWinColor colour) {
  const std::array<TFixedPoint, 2> e = ends();
  if (!EditMode()) {
    if (!Painter().ReuseMask) {
      UpdateTransform();
      fDrawnEnds = {WorkTransform().Transform(e[0]), WorkTransform().Transform(e[1])};
    }
    SetTarget(&bitmap, colour);
    Painter().DrawLineWideFixed(fDrawnEnds[0], fDrawnEnds[1]);
    return;
  }
  if (const TAffineTransformation* deformer = Deformer()) {
    ComposeMatrix();
    for (std::size_t i = 0; i < 2; ++i) fDrawnEnds[i] = deformer->Transform(WorkTransform().Transform(e[i]));
    WorkTransform().Clear();
    ApplyView(WorkTransform());
    for (TFixedPoint& p : fDrawnEnds) p = WorkTransform().Transform(p);
  } else {
    UpdateTransform();
    fDrawnEnds = {WorkTransform().Transform(e[0]), WorkTransform().Transform(e[1])};
    if (Selected()) fEndpointCache = FixedToInt(fDrawnEnds);
  }
  SetTarget(&bitmap, colour);
  Painter().DrawLine(fDrawnEnds[0], fDrawnEnds[1]);
}

void TLine::GetFixedOutline(TArrayOfFixedPoint& points) {
  ComposeMatrix();
  points = TransformOutlineFixed(ends());
}

void TLine::GetBounds(TFixedRect& rect) {
  TArrayOfFixedPoint mapped;
  GetFixedOutline(mapped);
  rect = PointsBounds(mapped);
  if (rect.Right == rect.Left) rect.Right = WrapAdd(rect.Left, kFixedOne);
  if (rect.Bottom == rect.Top) rect.Bottom = WrapAdd(rect.Top, kFixedOne);
}

void TLine::GetRegionBounds(TRect& rect) {
  ComposeMatrix();
  const std::array<TPoint, 2> e = mappedIntEnds();
  rect = {std::min(e[0].X, e[1].X), std::min(e[0].Y, e[1].Y), std::max(e[0].X, e[1].X), std::max(e[0].Y, e[1].Y)};
  if (rect.Right <= rect.Left) rect.Right = rect.Left + 1;
  if (rect.Bottom <= rect.Top) rect.Bottom = rect.Top + 1;
}

TGdiRegion TLine::CreateRegion() {
  ComposeMatrix();
  const TPoints mapped = TransformOutlineInt(ends());
  TGdiPath path;
  path.MoveTo(mapped[0]);
  path.LineTo(mapped[1]);
  return TGdiRegion::FromPath(path.Widened(kRegionPenWidth), pfWinding);
}

void TLine::Draw(TBitmap32& bitmap) {
  Effect().Draw(bitmap, LineColor());
  if (Selected()) {
    UpdateTransform();
    fEndpointCache = TransformOutlineInt(ends());
    for (const TPoint& p : fEndpointCache) {
      bitmap.FillRectClipped(p.X - kEndMarkerRadius, p.Y - kEndMarkerRadius, p.X + kEndMarkerRadius,
                             p.Y + kEndMarkerRadius, kEndMarkerColor);
    }
  }
  if (!Painter().ReuseMask) fEndpointCache.clear();
}

void TLine::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  TGraphicBase::ReadBody(stream, builder);
  fOutline.ReadPoints(stream);
}

void TLine::ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) {
  if (!stream.Has(16)) stream.Fail("an older line record is cut short");
  std::int32_t v[4] = {};
  for (std::int32_t& c : v) stream.ReadS32(c);
  const TFixedPoint e[] = {FixedPoint(TPoint{v[0], v[1]}), FixedPoint(TPoint{v[2], v[3]})};
  fOutline.SetPoints(e);
  NormaliseLine();
  SetGridLayer(0);
}

void TLine::WriteBody(TStreamWriter& stream) {
  TGraphicBase::WriteBody(stream);
  fOutline.WritePoints(stream);
}

void TLine::WriteExport(TStreamWriter& stream) {
  TGraphicBase::WriteExport(stream);
  if (EffectKind() == kEffectPolyLineGroup) {
    Effect().WriteExport(stream);
    return;
  }
  if (EffectKind() != kEffectPlain) return;
  ComposeMatrix();
  for (const TPoint& p : TransformOutlineInt(ends())) {
    stream.WriteS32(p.X);
    stream.WriteS32(p.Y);
  }
}

void TLine::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  TGraphicBase::SetCoverageFrozen(flag, bitmap);
  if (flag) ChargeFramePixels(ThinLinePixels(Painter(), fDrawnEnds, bitmap), "a line");
}

void TLine::BakeTransform() {
  TGraphicBase::BakeTransform();
  ComposeMatrix();
  fOutline.SetPoints(TransformOutlineFixed(ends()));
  NormaliseLine();
  SetBaseMatrix(IdentityMatrix);
}

void TPolyLine::Assign(TGraphicBase& source) {
  if (auto* polyline = dynamic_cast<TPolyLine*>(&source)) {
    FromSplit = polyline->FromSplit;
    fOutline.SetPoints(polyline->fOutline.Points());
    fOutline.RoundToWholeUnits();
  }
  TGraphicBase::Assign(source);
}

bool TPolyLine::HitTest(std::int32_t x, std::int32_t y) {
  if (fOutline.HitTest(x, y)) return true;
  TGdiPath path;
  path.Polyline(fOutline.IntPoints());
  return strokeContains(path, hitPenWidth(LineWidth()), WorkTransform().ReverseTransform(TPoint{x, y}));
}

void TPolyLine::DrawToCanvas(TCanvas& canvas) { canvas.Path.Polyline(TransformOutlineInt(fOutline.Points())); }

void TPolyLine::ReadLegacyPolygon(TStreamReader& stream) {
  fOutline.ReadLegacyShape(stream, kLegacyPolygon);
  SetTypeCode(11);
}

void TPolyLine::ReadLegacyStar(TStreamReader& stream) {
  fOutline.ReadLegacyShape(stream, kLegacyStar);
  SetTypeCode(11);
}

void TPolyBezier::Assign(TGraphicBase& source) {
  if (auto* bezier = dynamic_cast<TPolyBezier*>(&source)) {
    fOutline.SetPoints(bezier->fOutline.Points());
    fOutline.RoundToWholeUnits();
  }
  TGraphicBase::Assign(source);
}

void TPolyBezier::ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) {
  std::int32_t n = 0;
  if (!stream.ReadS32(n)) stream.Fail("an older Bézier record is cut short");
  fOutline.ReadHundredths(stream, n);
  fOutline.MoveToOrigin(BezierBounds(fOutline.Points()));
  SetGridLayer(0);
}

void TPolyBezier::ReadLegacyArc(TStreamReader& stream) {
  fOutline.ReadLegacyShape(stream, kLegacyArc);
  SetTypeCode(6);
  SkipNineByteRecords(stream);
}

}  // namespace lumora

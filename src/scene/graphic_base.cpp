#include "scene/graphic_base.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "io/stream.h"
#include "render/little_endian.h"
#include "render/work_budget.h"
#include "scene/effect.h"
#include "scene/frame_work.h"
#include "scene/layer.h"
#include "scene/object_builder.h"

namespace lumora {

namespace {

static_assert(sizeof(TFloatMatrix) == 9 * sizeof(float), "matrices are compared and stored as nine singles");

// Arcs, ellipses, polygons, stars and polylines are exported as Bézier
// outlines, polyline groups as groups.
std::uint8_t exportTypeCode(std::uint8_t code, std::uint8_t effectKind) {
  if (effectKind == kEffectPolyLineGroup) code = 9;
  switch (code) {
    case 0: case 3: case 4: case 5: case 11: return 6;
    default: return code;
  }
}

// A -0.0 in place of 0.0 counts as a difference, as the bytes differ.
bool isIdentityBytes(const TFloatMatrix& m) { return std::memcmp(&m, &IdentityMatrix, sizeof(TFloatMatrix)) == 0; }

void readMatrix(TStreamReader& stream, TFloatMatrix& m) {
  for (auto& row : m) {
    for (float& v : row) stream.ReadFloat(v);
  }
}

void writeMatrix(TStreamWriter& stream, const TFloatMatrix& m) {
  for (const auto& row : m) {
    for (const float v : row) stream.WriteFloat(v);
  }
}

void readPoint(TStreamReader& stream, TFloatPoint& p) {
  stream.ReadFloat(p.X);
  stream.ReadFloat(p.Y);
}

void writePoint(TStreamWriter& stream, const TFloatPoint& p) {
  stream.WriteFloat(p.X);
  stream.WriteFloat(p.Y);
}

// (v + 32767) sar 16: exact halves go down.
std::int32_t fixedToIntDown(TFixed v) { return static_cast<std::int32_t>((std::int64_t{v} + 32767) >> 16); }

}  // namespace

TGraphicBase::TGraphicBase(TView* view)
    : fPainter(std::make_unique<TGR32Graphics>()),
      fView(view),
      fEffect(std::make_unique<TCustomState>(this)),
      fWorkTransform(std::make_unique<TAffineTransformation>()) {}

TGraphicBase::~TGraphicBase() = default;

void TGraphicBase::LoadHeader(const TObjectHeader& header) {
  fLineColor = S32At(header, 0);
  fLineWidth = S32At(header, 4);
  fFillColor = S32At(header, 8);
  fRedColor = S32At(header, 12);
  fGreenColor = S32At(header, 16);
  fBlueColor = S32At(header, 20);
  fSelected = header[24];
  fFilled = header[25];
  fReserved = {header[26], header[27]};
  fGridRow = S32At(header, 28);
  fGridColumn = S32At(header, 32);
  fTypeCode = header[36];
  fChannelMode = header[37];
  fGridLayer = static_cast<std::uint16_t>(header[38] | header[39] << 8);
  if (fLineWidth < kFixedOne) fLineWidth = WrapShl(fLineWidth, 16);
}

TObjectHeader TGraphicBase::HeaderBytes() const {
  TObjectHeader h{};
  PutU32(h, 0, static_cast<std::uint32_t>(fLineColor));
  PutU32(h, 4, static_cast<std::uint32_t>(fLineWidth));
  PutU32(h, 8, static_cast<std::uint32_t>(fFillColor));
  PutU32(h, 12, static_cast<std::uint32_t>(fRedColor));
  PutU32(h, 16, static_cast<std::uint32_t>(fGreenColor));
  PutU32(h, 20, static_cast<std::uint32_t>(fBlueColor));
  h[24] = fSelected;
  h[25] = fFilled;
  h[26] = fReserved[0];
  h[27] = fReserved[1];
  PutU32(h, 28, static_cast<std::uint32_t>(fGridRow));
  PutU32(h, 32, static_cast<std::uint32_t>(fGridColumn));
  h[36] = fTypeCode;
  h[37] = fChannelMode;
  h[38] = static_cast<std::uint8_t>(fGridLayer);
  h[39] = static_cast<std::uint8_t>(fGridLayer >> 8);
  return h;
}

void TGraphicBase::copyHeader(const TGraphicBase& source) {
  fLineColor = source.fLineColor;
  fLineWidth = source.fLineWidth;
  fFillColor = source.fFillColor;
  fRedColor = source.fRedColor;
  fGreenColor = source.fGreenColor;
  fBlueColor = source.fBlueColor;
  fSelected = source.fSelected;
  fFilled = source.fFilled;
  fReserved = source.fReserved;
  fGridRow = source.fGridRow;
  fGridColumn = source.fGridColumn;
  fTypeCode = source.fTypeCode;
  fChannelMode = source.fChannelMode;
  fGridLayer = source.fGridLayer;
}

void TGraphicBase::SetEffect(std::unique_ptr<TCustomState> effect) {
  if (effect == nullptr) throw std::invalid_argument("a graphic needs an effect");
  fEffect = std::move(effect);
  fEffect->SetOwner(this);
  fEffectKind = fEffect->Kind();
}

void TGraphicBase::applyPlacement(TAffineTransformation& t, bool always) const {
  t.Translate(-fPivot.X, -fPivot.Y);
  if (always || fScale.X != 1 || fScale.Y != 1) t.Scale(fScale.X, fScale.Y);
  if (always || fSkew.X != 0 || fSkew.Y != 0) t.Skew(fSkew.X, fSkew.Y);
  if (always || fAngle != 0) t.Rotate(0, 0, fAngle);
  t.Translate(fPosition.X + fPivot.X, fPosition.Y + fPivot.Y);
}

void TGraphicBase::ComposeMatrix() {
  fWorkTransform->SetMatrix(fBaseMatrix);
  TAffineTransformation placement;
  applyPlacement(placement, false);
  fWorkTransform->SetMatrix(MatrixMult(placement.Matrix(), fWorkTransform->Matrix()));
  if (!isIdentityBytes(fUserMatrix)) fWorkTransform->SetMatrix(MatrixMult(fUserMatrix, fWorkTransform->Matrix()));
}

void TGraphicBase::ApplyView(TAffineTransformation& transformation) const {
  if (fUseView == 0 || fView == nullptr) return;
  const TFloatPoint scale = fView->ViewScale();
  transformation.Scale(scale.X, scale.Y);
  const TFloatPoint offset = fView->ViewOffset();
  transformation.Translate(offset.X, offset.Y);
}

void TGraphicBase::UpdateTransform() {
  ComposeMatrix();
  ApplyView(*fWorkTransform);
}

void TGraphicBase::MoveBy(float dx, float dy) {
  fPosition.X += dx;
  fPosition.Y += dy;
}

void TGraphicBase::ScaleBy(float dsx, float dsy) {
  fScale.X += dsx;
  fScale.Y += dsy;
  const double a = static_cast<double>(fAngle) * std::numbers::pi / 180;
  const double e = static_cast<double>(dsx) * fSize.X / 2;
  const double f = static_cast<double>(dsy) * fSize.Y / 2;
  fPosition.X = static_cast<float>(fPosition.X + std::cos(a) * e + std::sin(a) * f);
  fPosition.Y = static_cast<float>(fPosition.Y - std::sin(a) * e + std::cos(a) * f);
}

void TGraphicBase::FlipHorizontal() {
  SetScale({-fScale.X, fScale.Y});
  SetSkew({-fSkew.X, fSkew.Y});
  SetAngle(-fAngle);
  UpdateTransform();
}

void TGraphicBase::FlipVertical() {
  SetScale({fScale.X, -fScale.Y});
  SetSkew({-fSkew.X, fSkew.Y});
  SetAngle(-fAngle);
  UpdateTransform();
}

void TGraphicBase::BakeTransform() {
  TFixedRect b;
  GetBounds(b);
  TAffineTransformation placement;
  applyPlacement(placement, true);
  const TFloatMatrix composed = MatrixMult(fUserMatrix, MatrixMult(placement.Matrix(), fBaseMatrix));
  fScale = {1, 1};
  fSkew = {0, 0};
  fAngle = 0;
  fSize = {static_cast<float>((std::int64_t{b.Right} - b.Left) / 65536.0),
           static_cast<float>((std::int64_t{b.Bottom} - b.Top) / 65536.0)};
  ClampSize();
  fPivot = {fSize.X / 2, fSize.Y / 2};
  fUserMatrix = IdentityMatrix;
  fPosition = {static_cast<float>(b.Left / 65536.0), static_cast<float>(b.Top / 65536.0)};
  TAffineTransformation toPosition;
  toPosition.Translate(fPosition.X, fPosition.Y);
  fBaseMatrix = MatrixMult(MatrixInvert(toPosition.Matrix()), composed);
  fWorkTransform->SetMatrix(fBaseMatrix);
}

void TGraphicBase::ClampSize() {
  if (!(fSize.X > 0)) fSize.X = 1;
  if (!(fSize.Y >= 1)) fSize.Y = 1;
}

void TGraphicBase::readCommonRecord(TStreamReader& stream) {
  stream.ReadU8(fAuxFlag);
  readMatrix(stream, fBaseMatrix);
  readPoint(stream, fPosition);
  readPoint(stream, fPivot);
  readPoint(stream, fScale);
  readPoint(stream, fSkew);
  stream.ReadFloat(fAngle);
  readPoint(stream, fSize);
  stream.ReadU8(fAuxPercent);
  stream.ReadU8(fTintMode);
  stream.ReadS16(fAuxWord);
  stream.ReadS32(fAuxValue);
}

void TGraphicBase::writeCommonRecord(TStreamWriter& stream) const {
  stream.WriteU8(fAuxFlag);
  writeMatrix(stream, fBaseMatrix);
  writePoint(stream, fPosition);
  writePoint(stream, fPivot);
  writePoint(stream, fScale);
  writePoint(stream, fSkew);
  stream.WriteFloat(fAngle);
  writePoint(stream, fSize);
  stream.WriteU8(fAuxPercent);
  stream.WriteU8(fTintMode);
  stream.WriteS16(fAuxWord);
  stream.WriteS32(fAuxValue);
}

// A truncated record keeps the current kind, like every other field; a kind
// no effect class exists for makes the file malformed.
void TGraphicBase::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  readCommonRecord(stream);
  std::uint8_t kind = fEffectKind;
  stream.ReadU8(kind);
  if (kind != fEffectKind) {
    std::unique_ptr<TCustomState> effect = builder.CreateEffect(kind);
    if (effect == nullptr) stream.Fail("effect kind " + std::to_string(kind) + " is not known");
    SetEffect(std::move(effect));
  }
  fEffect->ReadBody(stream);
}

void TGraphicBase::WriteBody(TStreamWriter& stream) {
  SetSelected(false);
  stream.WriteBytes(HeaderBytes());
  writeCommonRecord(stream);
  stream.WriteU8(fEffectKind);
  fEffect->WriteBody(stream);
}

void TGraphicBase::ReadLegacyBody(TStreamReader&, TObjectBuilder&) {}

void TGraphicBase::WriteExport(TStreamWriter& stream) {
  stream.WriteS32(fLineColor);
  stream.WriteS32(fLineWidth >> 16);
  stream.WriteS32(fFillColor);
  stream.WriteS32(fRedColor);
  stream.WriteS32(fGreenColor);
  stream.WriteS32(fBlueColor);
  stream.WriteU8(0);
  stream.WriteU8(fFilled);
  stream.WriteU16(0);
  stream.WriteS32(fGridRow);
  stream.WriteS32(fGridColumn);
  stream.WriteU8(exportTypeCode(fTypeCode, fEffectKind));
  stream.WriteU8(fChannelMode);
  stream.WriteU16(0);
}

void TGraphicBase::GetBounds(TFixedRect& rect) { rect = {}; }

void TGraphicBase::GetIntBounds(TRect& rect) {
  TFixedRect f;
  GetBounds(f);
  rect = {fixedToIntDown(f.Left), fixedToIntDown(f.Top), fixedToIntDown(f.Right), fixedToIntDown(f.Bottom)};
}

void TGraphicBase::GetViewBounds(TFloatRect& rect) {
  TAffineTransformation view;
  ApplyView(view);
  TFixedRect b;
  GetBounds(b);
  const TFloatRect r = FloatRect(b);
  const TFloatPoint corners[4] = {
      view.Transform(TFloatPoint{r.Left, r.Top}), view.Transform(TFloatPoint{r.Right, r.Top}),
      view.Transform(TFloatPoint{r.Right, r.Bottom}), view.Transform(TFloatPoint{r.Left, r.Bottom})};
  rect = PointsBounds(corners);
}

void TGraphicBase::GetFixedOutline(TArrayOfFixedPoint& points) { points.clear(); }

void TGraphicBase::AddToPolygon(TPolygon32&) {}

void TGraphicBase::PaintToCanvas(TCanvas& canvas) {
  UpdateTransform();
  DrawToCanvas(canvas);
}

void TGraphicBase::GetFlatPath(TPoints& points) {
  points.clear();
  TCanvas canvas;
  PaintToCanvas(canvas);
  points = canvas.Path.Flattened().Points();
}

TGdiRegion TGraphicBase::CreateRegion() {
  ComposeMatrix();
  TCanvas canvas;
  canvas.PenWidth = kRegionPenWidth;
  DrawToCanvas(canvas);
  return TGdiRegion::FromPath(canvas.Path, pfAlternate);
}

void TGraphicBase::GetRegionBounds(TRect& rect) { rect = CreateRegion().Box(); }

// The widened outline is the union of the pen's strokes, so the winding rule
// keeps the places where strokes overlap.
bool TGraphicBase::IntersectsRect(const TRect& rect) {
  TFixedRect b;
  GetBounds(b);
  const TFixedRect r = FixedRect(rect);
  const bool apart = std::max(b.Left, r.Left) >= std::min(b.Right, r.Right) ||
                     std::max(b.Top, r.Top) >= std::min(b.Bottom, r.Bottom);
  if (apart) return false;
  ComposeMatrix();
  TCanvas canvas;
  canvas.PenWidth = kRegionPenWidth;
  DrawToCanvas(canvas);
  const TGdiRegion outline = TGdiRegion::FromPath(canvas.Path.Widened(canvas.PenWidth), pfWinding);
  return !TGdiRegion::FromRect(rect).Combine(outline, RGN_AND).IsEmpty();
}

void TGraphicBase::SetTargetBitmap(TBitmap32* bitmap) { fPainter->Bitmap = bitmap; }

void TGraphicBase::SetTarget(TBitmap32* bitmap, TWinColor colour) {
  const TColor32 c = Color32FromWinColor(colour);
  fPainter->PenColor = c;
  fPainter->BrushColor = c;
  fPainter->PenWidth = fLineWidth;
  fPainter->Antialias = true;
  fPainter->Bitmap = bitmap;
}

void TGraphicBase::Draw(TBitmap32& bitmap) {
  fEffect->Draw(bitmap, fFilled != 0 ? fFillColor : fLineColor);
  if (fSelected != 0) DrawHandles(bitmap);
  if (!fPainter->ReuseMask) fOutlineCache = TPoints();
}

void TGraphicBase::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  fEffect->DrawFrame(gridLayers, frame, bitmap);
}

void TGraphicBase::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  fPainter->ReuseMask = flag;
  if (flag) ChargeFramePixels(PainterFramePixels(*fPainter, bitmap), "stored coverage");
}

void TGraphicBase::ApplyMask(TBitmap32& maskBitmap) { fEffect->ApplyMask(maskBitmap); }

// The markers follow the placement and the view only, so that they frame
// the Size box the user edits.
void TGraphicBase::DrawHandles(TBitmap32& bitmap) {
  TAffineTransformation t;
  applyPlacement(t, true);
  if (fView != nullptr) {
    const TFloatPoint scale = fView->ViewScale();
    t.Scale(scale.X, scale.Y);
    const TFloatPoint offset = fView->ViewOffset();
    t.Translate(offset.X, offset.Y);
  }
  const float w = fSize.X;
  const float h = fSize.Y;
  const TFloatPoint markers[8] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {w / 2, 0}, {w, h / 2}, {w / 2, h}, {0, h / 2}};
  for (const TFloatPoint& m : markers) {
    const TFloatPoint p = t.Transform(m);
    const double x = p.X;
    const double y = p.Y;
    bitmap.FrameRectClipped(RoundToInt(x - kHandleRadius), RoundToInt(y - kHandleRadius),
                            RoundToInt(x + kHandleRadius), RoundToInt(y + kHandleRadius), kHandleColor);
  }
}

void TGraphicBase::Assign(TGraphicBase& source) {
  copyHeader(source);
  SetPosition(source.fPosition);
  SetPivot(source.fPivot);
  SetScale(source.fScale);
  SetSkew(source.fSkew);
  SetAngle(source.fAngle);
  fSize = source.fSize;
  fEditMode = source.fEditMode;
  fView = source.fView;
  fBaseMatrix = source.fBaseMatrix;
  SetUserMatrix(source.fUserMatrix);
  fAuxPercent = source.fAuxPercent;
  fTintMode = source.fTintMode;
  fAuxWord = source.fAuxWord;
  fAuxValue = source.fAuxValue;
  UpdateTransform();
  if (source.fEffectKind != fEffectKind) SetEffect(source.fEffect->CreateSameKind());
  fEffect->AssignFrom(*source.fEffect);
  fPainter->Bitmap = source.fPainter->Bitmap;
}

// No grid layer has a negative index; one must not wrap GridLayer 0 round
// to 65535.
void TGraphicBase::GridLayerRemoved(std::int32_t index) {
  if (index < 0) return;
  if (index == fGridLayer) {
    if (fEffectKind == kEffectPolyLineGroup) {
      fEffect->UnbindCells();
    } else {
      SetGridColumn(-1);
      SetGridRow(-1);
    }
  } else if (index < fGridLayer) {
    SetGridLayer(static_cast<std::uint16_t>(fGridLayer - 1));
  }
}

void TGraphicBase::AttachMaskToLayer(TLayer& layer) {
  if (fEffectKind != kEffectMask) return;
  SetEffect(std::make_unique<TCustomState>());
  layer.SetMaskGraphic(this);
  SetEffect(std::make_unique<TMaskState>());
}

TArrayOfFixedPoint TGraphicBase::TransformOutlineFixed(std::span<const TFixedPoint> points) const {
  TArrayOfFixedPoint out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) out[i] = fWorkTransform->Transform(points[i]);
  return out;
}

TPoints TGraphicBase::TransformOutlineInt(std::span<const TFixedPoint> points) const {
  TPoints out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const TFixedPoint p = fWorkTransform->Transform(points[i]);
    out[i] = {fixedToIntDown(p.X), fixedToIntDown(p.Y)};
  }
  return out;
}

TPoints TGraphicBase::TransformPointsInt(std::span<const TPoint> points) const {
  TPoints out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const TFixedPoint p = fWorkTransform->Transform(FixedPoint(points[i]));
    out[i] = {FixedRound(p.X), FixedRound(p.Y)};
  }
  return out;
}

TArrayOfFixedPoint TGraphicBase::TransformOutlineFloat(std::span<const TPoint> points) const {
  TArrayOfFixedPoint out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const TFloatPoint p = fWorkTransform->Transform(FloatPoint(points[i]));
    out[i] = {RoundToInt(static_cast<double>(p.X) * 65536), RoundToInt(static_cast<double>(p.Y) * 65536)};
  }
  return out;
}

TPoints TGraphicBase::FixedToInt(std::span<const TFixedPoint> points) {
  TPoints out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) out[i] = {fixedToIntDown(points[i].X), fixedToIntDown(points[i].Y)};
  return out;
}

TArrayOfFixedPoint TGraphicBase::IntToFixed(std::span<const TPoint> points) {
  TArrayOfFixedPoint out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) out[i] = {WrapShl(points[i].X, 16), WrapShl(points[i].Y, 16)};
  return out;
}

void TGraphicBase::ApplyColorKey(TBitmap32& bitmap, TColor32 key) {
  for (TColor32& pixel : bitmap.Bits()) {
    pixel |= 0xFF000000;
    if ((pixel & 0x00FFFFFF) == (key & 0x00FFFFFF)) pixel &= 0x00FFFFFF;
  }
}

// Type 3 and 5 entries close their figure by a line back to its start.
void TGraphicBase::ReplayPath(TCanvas& canvas, std::span<const TPoint> points, std::span<const std::uint8_t> types) {
  TGdiPath& path = canvas.Path;
  const std::size_t n = std::min(points.size(), types.size());
  TPoint start = path.CurrentPosition();
  for (std::size_t i = 0; i < n; ++i) {
    switch (types[i]) {
      case 2:
        path.LineTo(points[i]);
        break;
      case 3:
        path.LineTo(points[i]);
        path.LineTo(start);
        break;
      case 4:
        if (i + 2 >= n) return;
        path.PolyBezierTo(points.subspan(i, 3));
        if (types[i + 2] == 5) path.LineTo(start);
        i += 2;
        break;
      case 5:
        if (i + 2 >= n) return;
        start = path.CurrentPosition();
        path.PolyBezierTo(points.subspan(i, 3));
        path.LineTo(start);
        i += 2;
        break;
      case 6:
        path.MoveTo(points[i]);
        start = points[i];
        break;
      default:
        break;
    }
  }
}

}  // namespace lumora

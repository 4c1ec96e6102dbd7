#include "scene/font_graphic.h"


#include "io/stream.h"
#include "render/memory_budget.h"
#include "scene/effect.h"

namespace lumora {

namespace {

constexpr std::uint8_t kTypeCodeText = 10;
constexpr std::size_t kOldestTextSize = 63;
// The older unit of exported points: 16.16 integer-divided by this is
// hundredths of a pixel.
constexpr TFixed kFixedPerHundredth = 655;
// GetRegionData: a 32-byte header (size, type 1 = rectangles, count, byte
// size of the rectangles, bounding box), then the rectangles.
constexpr std::uint32_t kRegionHeaderSize = 32;
constexpr std::uint32_t kRegionRectangles = 1;
constexpr std::uint32_t kRegionRectSize = 16;

// The path's region under the alternate rule, as a path recorded on a
// device context turns into one.
TGdiRegion pathRegion(std::span<const TPoint> points, std::span<const std::uint8_t> types) {
  TCanvas canvas;
  TGraphicBase::ReplayPath(canvas, points, types);
  return TGdiRegion::FromPath(canvas.Path, pfAlternate);
}

void writeRegionData(TStreamWriter& stream, const TGdiRegion& region) {
  const auto count = static_cast<std::uint32_t>(region.Rects().size());
  stream.WriteS32(static_cast<std::int32_t>(kRegionHeaderSize + count * kRegionRectSize));
  stream.WriteU32(kRegionHeaderSize);
  stream.WriteU32(kRegionRectangles);
  stream.WriteU32(count);
  stream.WriteU32(count * kRegionRectSize);
  WriteRect(stream, region.Box());
  for (const TRect& r : region.Rects()) WriteRect(stream, r);
}

}  // namespace

TFontGraphic::TFontGraphic(TView* view) : TGraphicBase(view), fPoints(*this) { SetTypeCode(kTypeCodeText); }

void TFontGraphic::Assign(TGraphicBase& source) {
  if (auto* text = dynamic_cast<TFontGraphic*>(&source); text != nullptr && text != this) {
    const TPoints points = text->fPoints.IntPoints();
    fPoints.SetIntPoints(points);
    fTypes = text->fTypes;
  }
  TGraphicBase::Assign(source);
}

std::unique_ptr<TGraphicBase> TFontGraphic::Clone() {
  auto copy = std::make_unique<TFontGraphic>(nullptr);
  copy->Assign(*this);
  return copy;
}

TPoints TFontGraphic::mappedPath() const { return TransformPointsInt(fPoints.IntPoints()); }

bool TFontGraphic::HitTest(std::int32_t x, std::int32_t y) {
  const TPoint p = WorkTransform().ReverseTransform(TPoint{x, y});
  return pathRegion(fPoints.IntPoints(), fTypes).Contains(p);
}

void TFontGraphic::DrawToCanvas(TCanvas& canvas) { ReplayPath(canvas, mappedPath(), fTypes); }

// The points go through the Deformer between the placement and the view,
// so they are mapped one by one rather than by the working transformation.
void TFontGraphic::DrawInColor(TBitmap32& bitmap, TWinColor colour) {
  if (!Painter().ReuseMask) {
    if (TAffineTransformation* deformer = Deformer()) {
      ComposeMatrix();
      TAffineTransformation view;
      ApplyView(view);
      const TArrayOfFixedPoint& points = fPoints.Points();
      TPoints& cache = OutlineCache();
      cache.resize(points.size());
      for (std::size_t i = 0; i < points.size(); ++i) {
        const TFixedPoint p = view.Transform(deformer->Transform(WorkTransform().Transform(points[i])));
        cache[i] = {FixedRound(p.X), FixedRound(p.Y)};
      }
    } else {
      UpdateTransform();
      OutlineCache() = mappedPath();
    }
  }
  SetTarget(&bitmap, colour);
  if (Filled()) {
    Painter().FillGlyphPath(OutlineCache(), fTypes);
  } else {
    Painter().StrokeGlyphPath(OutlineCache(), fTypes);
  }
}

void TFontGraphic::GetBounds(TFixedRect& rect) {
  ComposeMatrix();
  TCanvas canvas;
  DrawToCanvas(canvas);
  rect = FixedRect(TGdiRegion::FromPath(canvas.Path, pfAlternate).Box());
}

void TFontGraphic::AddToPolygon(TPolygon32& polygon) {
  OutlineCache() = mappedPath();
  Painter().PathToPolygon(OutlineCache(), fTypes, polygon);
}

void TFontGraphic::OutlineChanged() {
  TGraphicBase::OutlineChanged();
  fPoints.Bake();
}

void TFontGraphic::readTypes(TStreamReader& stream, std::int32_t count) {
  if (count < 0) stream.Fail("a text path with a negative type count");
  if (count > kMaxOutlinePoints || !stream.Has(static_cast<std::uint64_t>(count))) {
    stream.Fail("a text path's point types are cut short");
  }
  ChargeMemory(static_cast<std::uint64_t>(count), "a text path's point types");
  fTypes.assign(static_cast<std::size_t>(count), 0);
  stream.ReadBytes(fTypes);
}

void TFontGraphic::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  TGraphicBase::ReadBody(stream, builder);
  fPoints.ReadPoints(stream);
  std::int32_t count = 0;
  if (!stream.ReadS32(count)) stream.Fail("a text path's type count is cut short");
  readTypes(stream, count);
}

void TFontGraphic::WriteBody(TStreamWriter& stream) {
  TGraphicBase::WriteBody(stream);
  fPoints.WritePoints(stream);
  stream.WriteS32(static_cast<std::int32_t>(fTypes.size()));
  stream.WriteBytes(fTypes);
}

// The box is measured on a canvas of its own, so that an editor's canvas
// keeps the path it holds.
void TFontGraphic::moveIntoBox() {
  const TPoints points = fPoints.IntPoints();
  fPoints.MoveToOrigin(FixedRect(pathRegion(points, fTypes).Box()));
}

void TFontGraphic::ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) {
  std::int32_t n = 0;
  if (!stream.ReadS32(n)) stream.Fail("an older text record is cut short");
  fPoints.ReadHundredths(stream, n);
  std::int32_t count = 0;
  if (!stream.ReadS32(count)) stream.Fail("an older text record is cut short");
  readTypes(stream, count);
  std::int32_t textSize = 0;
  if (!stream.ReadS32(textSize)) stream.Fail("an older text record is cut short");
  if (textSize < 0 || stream.Skip(static_cast<std::uint64_t>(textSize)) != static_cast<std::uint64_t>(textSize)) {
    stream.Fail("an older text record's text is cut short");
  }
  moveIntoBox();
}

void TFontGraphic::ReadLegacyText(TStreamReader& stream) {
  std::int32_t n = 0;
  if (stream.Skip(kOldestTextSize) != kOldestTextSize || !stream.ReadS32(n)) {
    stream.Fail("an oldest text record is cut short");
  }
  if (n < 0 || n > kMaxOutlinePoints || !stream.Has(std::uint64_t{9} * static_cast<std::uint32_t>(n))) {
    stream.Fail("an oldest text record's path is cut short");
  }
  TInterPoints::ChargePoints(static_cast<std::uint32_t>(n), "an oldest text record");
  TPoints points(static_cast<std::size_t>(n));
  for (TPoint& p : points) {
    stream.ReadS32(p.X);
    stream.ReadS32(p.Y);
  }
  fPoints.SetIntPoints(points);
  readTypes(stream, n);
  moveIntoBox();
  SetTypeCode(kTypeCodeText);
}

void TFontGraphic::WriteExport(TStreamWriter& stream) {
  TGraphicBase::WriteExport(stream);
  if (EffectKind() == kEffectPolyLineGroup) {
    Effect().WriteExport(stream);
    return;
  }
  if (EffectKind() != kEffectPlain) return;
  ComposeMatrix();
  const TArrayOfFixedPoint mapped = TransformOutlineFixed(fPoints.Points());
  stream.WriteS32(static_cast<std::int32_t>(mapped.size()));
  for (const TFixedPoint& p : mapped) {
    stream.WriteS32(p.X / kFixedPerHundredth);
    stream.WriteS32(p.Y / kFixedPerHundredth);
  }
  stream.WriteS32(static_cast<std::int32_t>(fTypes.size()));
  stream.WriteBytes(fTypes);
  writeRegionData(stream, CreateRegion());
}

}  // namespace lumora

#include "scene/graphic_base.h"

#include "movie/stream.h"
#include "scene/layer.h"

namespace lumora {

namespace {

std::uint32_t u32At(const TObjectHeader& h, std::size_t at) {
  return static_cast<std::uint32_t>(h[at]) | static_cast<std::uint32_t>(h[at + 1]) << 8 |
         static_cast<std::uint32_t>(h[at + 2]) << 16 | static_cast<std::uint32_t>(h[at + 3]) << 24;
}

std::int32_t s32At(const TObjectHeader& h, std::size_t at) { return static_cast<std::int32_t>(u32At(h, at)); }

void putU32(TObjectHeader& h, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) h[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Arcs, ellipses, polygons, stars and polylines are exported as Bézier
// outlines, polyline groups as groups.
std::uint8_t exportTypeCode(std::uint8_t code, std::uint8_t effectKind) {
  if (effectKind == kEffectPolyLineGroup) code = 9;
  switch (code) {
    case 0: case 3: case 4: case 5: case 11: return 6;
    default: return code;
  }
}

}  // namespace

void TGraphicBase::LoadHeader(const TObjectHeader& header) {
  fLineColor = s32At(header, 0);
  fLineWidth = s32At(header, 4);
  fFillColor = s32At(header, 8);
  fRedColor = s32At(header, 12);
  fGreenColor = s32At(header, 16);
  fBlueColor = s32At(header, 20);
  fSelected = header[24];
  fFilled = header[25];
  fReserved = {header[26], header[27]};
  fGridRow = s32At(header, 28);
  fGridColumn = s32At(header, 32);
  fTypeCode = header[36];
  fChannelMode = header[37];
  fGridLayer = static_cast<std::uint16_t>(header[38] | header[39] << 8);
  if (fLineWidth < kFixedOne) fLineWidth = WrapShl(fLineWidth, 16);
}

TObjectHeader TGraphicBase::HeaderBytes() const {
  TObjectHeader h{};
  putU32(h, 0, static_cast<std::uint32_t>(fLineColor));
  putU32(h, 4, static_cast<std::uint32_t>(fLineWidth));
  putU32(h, 8, static_cast<std::uint32_t>(fFillColor));
  putU32(h, 12, static_cast<std::uint32_t>(fRedColor));
  putU32(h, 16, static_cast<std::uint32_t>(fGreenColor));
  putU32(h, 20, static_cast<std::uint32_t>(fBlueColor));
  h[24] = fSelected;
  h[25] = fFilled;
  h[26] = fReserved[0];
  h[27] = fReserved[1];
  putU32(h, 28, static_cast<std::uint32_t>(fGridRow));
  putU32(h, 32, static_cast<std::uint32_t>(fGridColumn));
  h[36] = fTypeCode;
  h[37] = fChannelMode;
  h[38] = static_cast<std::uint8_t>(fGridLayer);
  h[39] = static_cast<std::uint8_t>(fGridLayer >> 8);
  return h;
}

void TGraphicBase::MoveBy(float dx, float dy) {
  fPosition.X += dx;
  fPosition.Y += dy;
}

void TGraphicBase::ReadLegacyBody(TStreamReader&) {}

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

void TGraphicBase::GetBounds(TFixedRect& rect) const { rect = {}; }

void TGraphicBase::GetIntBounds(TRect& rect) const {
  TFixedRect f;
  GetBounds(f);
  const auto round = [](TFixed v) { return static_cast<std::int32_t>((std::int64_t{v} + 32767) >> 16); };
  rect = {round(f.Left), round(f.Top), round(f.Right), round(f.Bottom)};
}

void TGraphicBase::AddToPolygon(TPolygon32&) {}

void TGraphicBase::AttachMaskToLayer(TLayer& layer) {
  if (fEffectKind != kEffectMask) return;
  SetEffectKind(kEffectPlain);
  layer.SetMaskGraphic(this);
  SetEffectKind(kEffectMask);
}

}  // namespace lumora

#include "movie/graphic_factory.h"

#include <array>
#include <string>

#include "scene/layer.h"

namespace lumora {

namespace {

constexpr std::uint8_t kTypeCodeOffset = 36;

void readBody(TGraphicBase& graphic, TStreamReader& stream) { graphic.ReadBody(stream); }
void readLegacyBody(TGraphicBase& graphic, TStreamReader& stream) { graphic.ReadLegacyBody(stream); }
void readNothing(TGraphicBase&, TStreamReader&) {}

// The classes are constructed here as each becomes part of the model.
TGraphicClass entry(const char* className, TBodyReader reader) {
  TGraphicClass c;
  c.ClassName = className;
  c.Reader = reader;
  switch (reader) {
    case TBodyReader::ReadBody: c.Read = readBody; break;
    case TBodyReader::ReadLegacyBody: c.Read = readLegacyBody; break;
    case TBodyReader::None: c.Read = className != nullptr ? readNothing : nullptr; break;
    default: break;
  }
  return c;
}

TGraphicClassTable buildTable() {
  using R = TBodyReader;
  const TGraphicClass none;
  return {{
      {entry("TArc", R::ReadBody), entry("TPolyBezier", R::ReadLegacyArc)},
      {entry("TLine", R::ReadBody), entry("TLine", R::ReadLegacyBody)},
      {entry("TRectangle", R::ReadBody), entry("TRectangle", R::ReadLegacyBody)},
      {entry("TEllipse", R::ReadBody), entry("TEllipse", R::ReadLegacyBody)},
      {entry("TPolygon", R::ReadBody), entry("TPolyLine", R::ReadLegacyPolygon)},
      {entry("TPolyStar", R::ReadBody), entry("TPolyLine", R::ReadLegacyStar)},
      {entry("TPolyBezier", R::ReadBody), entry("TPolyBezier", R::ReadLegacyBody)},
      {entry("TGraphicBitmap", R::ReadBody), entry("TGraphicBitmap", R::ReadLegacyBody)},
      {none, entry("TFontGraphic", R::ReadLegacyText)},
      {entry("TGroup", R::ReadBody), entry("TGroup", R::ReadLegacyBody)},
      {entry("TFontGraphic", R::ReadBody), entry("TFontGraphic", R::ReadLegacyBody)},
      {entry("TPolyLine", R::ReadBody), entry("TPolyLine", R::None)},
      {entry("TLEDGraphic", R::ReadBody), entry("TLEDGraphic", R::None)},
      {none, none},
      {entry("TLightGraphic", R::ReadBody), entry("TLightGraphic", R::None)},
      {none, none},
  }};
}

}  // namespace

const TGraphicClassTable& DefaultGraphicClasses() {
  static const TGraphicClassTable table = buildTable();
  return table;
}

const TGraphicClass& GraphicClassFor(const TGraphicClassTable& classes, std::uint8_t typeCode,
                                     bool currentEncoding) {
  const TGraphicCodeEntry& e = classes[typeCode < classes.size() ? typeCode : classes.size() - 1];
  return currentEncoding ? e.Current : e.Legacy;
}

std::unique_ptr<TGraphicBase> TGraphicBaseFactory::Create(const TObjectHeader& header, TStreamReader& stream,
                                                          bool currentEncoding, TView* view) {
  const TGraphicClass& c = GraphicClassFor(fClasses, header[kTypeCodeOffset], currentEncoding);
  if (c.Construct == nullptr || c.Read == nullptr) return nullptr;
  if (++fBuilt > kMaxGraphics) stream.Fail("the movie holds more than " + std::to_string(kMaxGraphics) + " graphics");
  std::unique_ptr<TGraphicBase> graphic = c.Construct(view);
  graphic->LoadHeader(header);
  c.Read(*graphic, stream);
  return graphic;
}

TGraphicBase* TGraphicBaseFactory::Create(const TObjectHeader& header, TStreamReader& stream, bool currentEncoding,
                                          TLayer& layer, TView* view) {
  std::unique_ptr<TGraphicBase> graphic = Create(header, stream, currentEncoding, view);
  if (!graphic) return nullptr;
  TGraphicBase* added = graphic.get();
  layer.Add(std::move(graphic));
  return added;
}

}  // namespace lumora

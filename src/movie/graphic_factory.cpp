#include "movie/graphic_factory.h"

#include <array>
#include <string>

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "effects/polyline_group_state.h"
#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/closed_shapes.h"
#include "scene/font_graphic.h"
#include "scene/graphic_bitmap.h"
#include "scene/group.h"
#include "scene/layer.h"
#include "scene/lines_and_paths.h"

namespace lumora {

namespace {

constexpr std::uint8_t kTypeCodeOffset = 36;

void readBody(TGraphicBase& graphic, TStreamReader& stream, TObjectBuilder& builder) {
  graphic.ReadBody(stream, builder);
}
void readLegacyBody(TGraphicBase& graphic, TStreamReader& stream, TObjectBuilder& builder) {
  graphic.ReadLegacyBody(stream, builder);
}
void readNothing(TGraphicBase&, TStreamReader&, TObjectBuilder&) {}

// The class's own older reader; a graphic of another class (a stand-in
// class of a table) reads its legacy body instead.
template <class TClass, void (TClass::*reader)(TStreamReader&)>
void readWith(TGraphicBase& graphic, TStreamReader& stream, TObjectBuilder& builder) {
  if (auto* g = dynamic_cast<TClass*>(&graphic)) {
    (g->*reader)(stream);
  } else {
    graphic.ReadLegacyBody(stream, builder);
  }
}

template <class TClass>
std::unique_ptr<TGraphicBase> construct(TView* view) {
  return std::make_unique<TClass>(view);
}

using TConstructor = std::unique_ptr<TGraphicBase> (*)(TView*);

// The classes are constructed here as each becomes part of the model.
TGraphicClass entry(const char* className, TBodyReader reader, TConstructor constructor = nullptr) {
  TGraphicClass c;
  c.ClassName = className;
  c.Reader = reader;
  c.Construct = constructor;
  switch (reader) {
    case TBodyReader::ReadBody: c.Read = readBody; break;
    case TBodyReader::ReadLegacyBody: c.Read = readLegacyBody; break;
    case TBodyReader::ReadLegacyArc: c.Read = readWith<TPolyBezier, &TPolyBezier::ReadLegacyArc>; break;
    case TBodyReader::ReadLegacyPolygon: c.Read = readWith<TPolyLine, &TPolyLine::ReadLegacyPolygon>; break;
    case TBodyReader::ReadLegacyStar: c.Read = readWith<TPolyLine, &TPolyLine::ReadLegacyStar>; break;
    case TBodyReader::ReadLegacyText: c.Read = readWith<TFontGraphic, &TFontGraphic::ReadLegacyText>; break;
    case TBodyReader::None: c.Read = className != nullptr ? readNothing : nullptr; break;
    default: break;
  }
  return c;
}

TGraphicClassTable buildTable() {
  using R = TBodyReader;
  const TGraphicClass none;
  return {{
      {entry("TArc", R::ReadBody, construct<TArc>),
       entry("TPolyBezier", R::ReadLegacyArc, construct<TPolyBezier>)},
      {entry("TLine", R::ReadBody, construct<TLine>), entry("TLine", R::ReadLegacyBody, construct<TLine>)},
      {entry("TRectangle", R::ReadBody, construct<TRectangle>),
       entry("TRectangle", R::ReadLegacyBody, construct<TRectangle>)},
      {entry("TEllipse", R::ReadBody, construct<TEllipse>),
       entry("TEllipse", R::ReadLegacyBody, construct<TEllipse>)},
      {entry("TPolygon", R::ReadBody, construct<TPolygon>),
       entry("TPolyLine", R::ReadLegacyPolygon, construct<TPolyLine>)},
      {entry("TPolyStar", R::ReadBody, construct<TPolyStar>),
       entry("TPolyLine", R::ReadLegacyStar, construct<TPolyLine>)},
      {entry("TPolyBezier", R::ReadBody, construct<TPolyBezier>),
       entry("TPolyBezier", R::ReadLegacyBody, construct<TPolyBezier>)},
      {entry("TGraphicBitmap", R::ReadBody, construct<TGraphicBitmap>),
       entry("TGraphicBitmap", R::ReadLegacyBody, construct<TGraphicBitmap>)},
      {none, entry("TFontGraphic", R::ReadLegacyText, construct<TFontGraphic>)},
      {entry("TGroup", R::ReadBody, construct<TGroup>), entry("TGroup", R::ReadLegacyBody, construct<TGroup>)},
      {entry("TFontGraphic", R::ReadBody, construct<TFontGraphic>),
       entry("TFontGraphic", R::ReadLegacyBody, construct<TFontGraphic>)},
      {entry("TPolyLine", R::ReadBody, construct<TPolyLine>), entry("TPolyLine", R::None, construct<TPolyLine>)},
      {entry("TLEDGraphic", R::ReadBody, construct<TLEDGraphic>), entry("TLEDGraphic", R::None)},
      {none, none},
      {entry("TLightGraphic", R::ReadBody, construct<TLightGraphic>), entry("TLightGraphic", R::None)},
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

std::unique_ptr<TCustomState> CreateEffect(std::uint8_t kind) {
  switch (kind) {
    case kEffectPlain: return std::make_unique<TCustomState>();
    case kEffectPolyLineGroup: return std::make_unique<TPolyLineGroupState>();
    case kEffectMask: return std::make_unique<TMaskState>();
    case kEffectLightStrip: return std::make_unique<TDengDaiState>();
    default: return nullptr;
  }
}

std::unique_ptr<TGraphicBase> TGraphicBaseFactory::CreateGraphic(const TObjectHeader& header, TStreamReader& stream,
                                                                 bool currentEncoding, TView* view) {
  const TGraphicClass& c = GraphicClassFor(fClasses, header[kTypeCodeOffset], currentEncoding);
  if (c.Construct == nullptr || c.Read == nullptr) return nullptr;
  if (++fBuilt > kMaxGraphics) stream.Fail("the movie holds more than " + std::to_string(kMaxGraphics) + " graphics");
  ChargeGraphics(1, "graphics of the movie");
  ChargeMemory(kGraphicObjectBytes, "graphics of the movie");
  std::unique_ptr<TGraphicBase> graphic = c.Construct(view);
  graphic->LoadHeader(header);
  c.Read(*graphic, stream, *this);
  return graphic;
}

TGraphicBase* TGraphicBaseFactory::Create(const TObjectHeader& header, TStreamReader& stream, bool currentEncoding,
                                          TLayer& layer, TView* view) {
  std::unique_ptr<TGraphicBase> graphic = CreateGraphic(header, stream, currentEncoding, view);
  if (!graphic) return nullptr;
  TGraphicBase* added = graphic.get();
  layer.Add(std::move(graphic));
  return added;
}

}  // namespace lumora

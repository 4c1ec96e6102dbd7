// TGraphicBaseFactory: turns a 40-byte object header and the body behind it
// into the graphic of the header's class code, and an effect kind into its
// effect. The movie reader and every group of the movie build through one
// factory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "io/stream.h"
#include "scene/effect.h"
#include "scene/graphic_base.h"
#include "scene/object_builder.h"

namespace lumora {

class TLayer;

// The most graphics one read may build (groups' children included).
inline constexpr std::int64_t kMaxGraphics = std::int64_t{1} << 18;

// Which reader takes a class's body.
enum class TBodyReader : std::uint8_t {
  None,
  ReadBody,
  ReadLegacyBody,
  ReadLegacyArc,
  ReadLegacyPolygon,
  ReadLegacyStar,
  ReadLegacyText,
};

// What one class code builds in one encoding. ClassName is null for codes
// that build nothing; Construct and Read are null while the class is not
// part of the model, and such a code builds nothing either.
struct TGraphicClass {
  const char* ClassName = nullptr;
  TBodyReader Reader = TBodyReader::None;
  std::unique_ptr<TGraphicBase> (*Construct)(TView* view) = nullptr;
  void (*Read)(TGraphicBase& graphic, TStreamReader& stream, TObjectBuilder& builder) = nullptr;
};

// What a class code builds in the current encoding (version-6 movies and
// their groups) and in the legacy encoding (grid-program movies).
struct TGraphicCodeEntry {
  TGraphicClass Current;
  TGraphicClass Legacy;
};
// Codes 0 to 14; the last entry stands for 15 and above.
using TGraphicClassTable = std::array<TGraphicCodeEntry, 16>;

// The classes of the model.
const TGraphicClassTable& DefaultGraphicClasses();
const TGraphicClass& GraphicClassFor(const TGraphicClassTable& classes, std::uint8_t typeCode,
                                     bool currentEncoding);

// A new effect of the kind (0 plain, 1 polyline group, 2 mask, 3 light
// strip) without an owner; none for other kinds.
std::unique_ptr<TCustomState> CreateEffect(std::uint8_t kind);

// One instance serves a whole read, groups included, and counts what it
// builds.
class TGraphicBaseFactory : public TObjectBuilder {
 public:
  explicit TGraphicBaseFactory(const TGraphicClassTable& classes = DefaultGraphicClasses()) : fClasses(classes) {}

  std::unique_ptr<TGraphicBase> CreateGraphic(const TObjectHeader& header, TStreamReader& stream,
                                              bool currentEncoding, TView* view) override;
  std::unique_ptr<TCustomState> CreateEffect(std::uint8_t kind) const override { return lumora::CreateEffect(kind); }
  // The same, appended to the layer; answers the graphic the layer now owns.
  TGraphicBase* Create(const TObjectHeader& header, TStreamReader& stream, bool currentEncoding, TLayer& layer,
                       TView* view);

  std::int64_t Built() const { return fBuilt; }

 private:
  const TGraphicClassTable& fClasses;
  std::int64_t fBuilt = 0;
};

}  // namespace lumora

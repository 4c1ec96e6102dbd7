// TGraphicBaseFactory: turns a 40-byte object header and the body behind it
// into the graphic of the header's class code.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "movie/stream.h"
#include "scene/graphic_base.h"

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
  void (*Read)(TGraphicBase& graphic, TStreamReader& stream) = nullptr;
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

// One instance serves a whole read and counts what it builds.
class TGraphicBaseFactory {
 public:
  explicit TGraphicBaseFactory(const TGraphicClassTable& classes = DefaultGraphicClasses()) : fClasses(classes) {}

  // Builds the graphic of the header's code with the view, loads the header
  // into it and lets it read its body; none (and nothing read) for a code
  // that builds nothing.
  std::unique_ptr<TGraphicBase> Create(const TObjectHeader& header, TStreamReader& stream, bool currentEncoding,
                                       TView* view);
  // The same, appended to the layer; answers the graphic the layer now owns.
  TGraphicBase* Create(const TObjectHeader& header, TStreamReader& stream, bool currentEncoding, TLayer& layer,
                       TView* view);

  std::int64_t Built() const { return fBuilt; }

 private:
  const TGraphicClassTable& fClasses;
  std::int64_t fBuilt = 0;
};

}  // namespace lumora

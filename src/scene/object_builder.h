// TObjectBuilder: what turns the class codes of object headers and the
// effect kinds of bodies into objects while a movie is read. Graphics read
// their bodies through it, so that the scene never names a class of the
// layers above it; the movie's class table builds through it.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/graphic_base.h"

namespace lumora {

class TCustomState;
class TStreamReader;

class TObjectBuilder {
 public:
  virtual ~TObjectBuilder() = default;
  // The graphic of the header's class code with the view, its header loaded
  // and its body read; none, and nothing read, for a code that builds
  // nothing. Every graphic of a movie, nested ones included, is counted
  // against one limit.
  virtual std::unique_ptr<TGraphicBase> CreateGraphic(const TObjectHeader& header, TStreamReader& stream,
                                                      bool currentEncoding, TView* view) = 0;
  // A new effect of the kind without an owner, or none for a kind no effect
  // class exists for.
  virtual std::unique_ptr<TCustomState> CreateEffect(std::uint8_t kind) const = 0;
};

}  // namespace lumora

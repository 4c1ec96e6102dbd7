// The root of the classes whose identity other parts ask for by name.
#pragma once

#include <optional>
#include <string>

#include "render/geometry.h"

namespace lumora {

class TObject {
 public:
  virtual ~TObject() = default;
  virtual std::string ClassName() const = 0;
  // Graphics and controls report a width and height (X, Y) that maps can
  // take their size from; other objects have none.
  virtual std::optional<TPoint> SizeForMaps() const { return std::nullopt; }
};

}  // namespace lumora

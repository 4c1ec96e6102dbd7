// Reading a patch's JSON with the path of every value at hand, so that each
// error names the file, the place (fixtures[3].start) and what is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "render/geometry.h"

namespace lumora::output::patch {

class TPatchObject;

// One value of the patch and where it stands.
class TPatchValue {
 public:
  TPatchValue(const nlohmann::json& value, std::string path, const std::string& source)
      : fValue(&value), fPath(std::move(path)), fSource(&source) {}

  const std::string& Path() const { return fPath; }
  [[noreturn]] void Fail(const std::string& what) const;

  std::int64_t Integer(std::int64_t least, std::int64_t most) const;
  double Number(double least, double most) const;
  bool Boolean() const;
  std::string String() const;
  // The index of the value among names; anything else fails, naming what.
  std::size_t Choice(const std::vector<std::string_view>& names, std::string_view what) const;
  // [first, last] with least ≤ first ≤ last ≤ most.
  std::pair<std::int64_t, std::int64_t> Range(std::int64_t least, std::int64_t most) const;
  // [x, y] with both inside the bounds.
  TPoint Point(std::int64_t least, std::int64_t most) const;
  std::vector<TPatchValue> Elements() const;
  // A list's length, and one element: a long list is read element by
  // element, so that it costs no path text for each at once.
  std::size_t Count() const;
  TPatchValue At(std::size_t index) const;
  TPatchObject Object() const;

 private:
  const nlohmann::json* fValue;
  std::string fPath;
  const std::string* fSource;
};

// An object of the patch and where it stands.
class TPatchObject {
 public:
  TPatchObject(const nlohmann::json& value, std::string path, const std::string& source);

  const std::string& Path() const { return fPath; }
  [[noreturn]] void Fail(const std::string& what) const;
  bool Has(const char* key) const { return fValue->contains(key); }
  TPatchValue Required(const char* key) const;
  std::optional<TPatchValue> Optional(const char* key) const;
  // Refuses any key not named, so that a misspelt key is not silently
  // passed over for its default.
  void OnlyKeys(const std::vector<std::string_view>& keys) const;

 private:
  std::string keyPath(std::string_view key) const;

  const nlohmann::json* fValue;
  std::string fPath;
  const std::string* fSource;
};

// "<source>: <path>: <what>".
[[noreturn]] void FailAt(const std::string& source, const std::string& path, const std::string& what);

// Parses text, refusing keys given twice in one object, nesting deeper than
// a patch ever needs and more than kMaxPatchValues values.
nlohmann::json ParseJson(std::string_view text, const std::string& source);

}  // namespace lumora::output::patch

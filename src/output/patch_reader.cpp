#include "output/patch_reader_p.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "output/channel_patch.h"

namespace lumora::output::patch {

using nlohmann::json;

namespace {

// Deeper nesting than this is no patch, and would only cost stack and time.
constexpr int kMaxDepth = 32;

std::string numberText(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// "a, b or c".
std::string alternatives(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text;
}

// Follows the parser through objects and arrays so that a key given twice
// can be named by its path.
class TDuplicateKeyGuard {
 public:
  explicit TDuplicateKeyGuard(const std::string& source) : fSource(source) {}

  bool operator()(int depth, json::parse_event_t event, const json& parsed) {
    if (depth > kMaxDepth) FailAt(fSource, path(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        countElement();
        fFrames.push_back({event == json::parse_event_t::array_start, -1, {}, {}});
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        fFrames.pop_back();
        break;
      case json::parse_event_t::key:
        enterKey(parsed.get<std::string>());
        break;
      case json::parse_event_t::value:
        countElement();
        break;
    }
    return true;
  }

 private:
  struct TFrame {
    bool IsArray;
    std::int64_t Index;
    std::string Key;
    std::vector<std::string> Keys;
  };

  void countElement() {
    if (!fFrames.empty() && fFrames.back().IsArray) ++fFrames.back().Index;
  }

  void enterKey(const std::string& key) {
    TFrame& frame = fFrames.back();
    frame.Key = key;
    if (std::find(frame.Keys.begin(), frame.Keys.end(), key) != frame.Keys.end()) {
      FailAt(fSource, path(), "given twice");
    }
    frame.Keys.push_back(key);
  }

  std::string path() const {
    std::string text;
    for (const TFrame& frame : fFrames) {
      if (frame.IsArray) {
        text += '[';
        text += std::to_string(std::max<std::int64_t>(frame.Index, 0));
        text += ']';
      } else if (!frame.Key.empty()) {
        if (!text.empty()) text += '.';
        text += frame.Key;
      }
    }
    return text.empty() ? "(top)" : text;
  }

  const std::string& fSource;
  std::vector<TFrame> fFrames;
};

}  // namespace

void FailAt(const std::string& source, const std::string& path, const std::string& what) {
  throw EPatchError(source + ": " + path + ": " + what);
}

json ParseJson(std::string_view text, const std::string& source) {
  try {
    return json::parse(text.begin(), text.end(), TDuplicateKeyGuard(source));
  } catch (const json::exception& e) {
    // parse_error for bad syntax, out_of_range for a number past a double.
    const std::string message = e.what();
    const std::size_t start = message.find("] ");
    throw EPatchError(source + ": not JSON: " + (start == std::string::npos ? message : message.substr(start + 2)));
  }
}

void TPatchValue::Fail(const std::string& what) const { FailAt(*fSource, fPath, what); }

std::int64_t TPatchValue::Integer(std::int64_t least, std::int64_t most) const {
  std::optional<std::int64_t> value;
  if (fValue->is_number_unsigned()) {
    const std::uint64_t u = fValue->get<std::uint64_t>();
    if (u <= static_cast<std::uint64_t>(most)) value = static_cast<std::int64_t>(u);
  } else if (fValue->is_number_integer()) {
    value = fValue->get<std::int64_t>();
  }
  if (!value || *value < least || *value > most) {
    Fail("must be a whole number from " + std::to_string(least) + " to " + std::to_string(most));
  }
  return *value;
}

double TPatchValue::Number(double least, double most) const {
  const double value = fValue->is_number() ? fValue->get<double>() : std::nan("");
  if (!(value >= least && value <= most)) Fail("must be a number from " + numberText(least) + " to " + numberText(most));
  return value;
}

bool TPatchValue::Boolean() const {
  if (!fValue->is_boolean()) Fail("must be true or false");
  return fValue->get<bool>();
}

std::string TPatchValue::String() const {
  if (!fValue->is_string()) Fail("must be a string");
  return fValue->get<std::string>();
}

std::size_t TPatchValue::Choice(const std::vector<std::string_view>& names, std::string_view what) const {
  const std::string value = fValue->is_string() ? fValue->get<std::string>() : fValue->dump();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (fValue->is_string() && names[i] == value) return i;
  }
  Fail("unknown " + std::string(what) + " " + (fValue->is_string() ? "\"" + value + "\"" : value) + " (" +
       alternatives(names) + ")");
}

std::pair<std::int64_t, std::int64_t> TPatchValue::Range(std::int64_t least, std::int64_t most) const {
  if (!fValue->is_array() || fValue->size() != 2) Fail("must be [first, last]");
  const std::vector<TPatchValue> ends = Elements();
  const std::int64_t first = ends[0].Integer(least, most);
  const std::int64_t last = ends[1].Integer(least, most);
  if (last < first) Fail("the last (" + std::to_string(last) + ") comes before the first (" + std::to_string(first) + ")");
  return {first, last};
}

TPoint TPatchValue::Point(std::int64_t least, std::int64_t most) const {
  if (!fValue->is_array() || fValue->size() != 2) Fail("must be [x, y]");
  const std::vector<TPatchValue> xy = Elements();
  return {static_cast<std::int32_t>(xy[0].Integer(least, most)), static_cast<std::int32_t>(xy[1].Integer(least, most))};
}

std::vector<TPatchValue> TPatchValue::Elements() const {
  if (!fValue->is_array()) Fail("must be a list");
  std::vector<TPatchValue> elements;
  elements.reserve(fValue->size());
  for (std::size_t i = 0; i < fValue->size(); ++i) {
    elements.emplace_back((*fValue)[i], fPath + "[" + std::to_string(i) + "]", *fSource);
  }
  return elements;
}

TPatchObject TPatchValue::Object() const { return TPatchObject(*fValue, fPath, *fSource); }

TPatchObject::TPatchObject(const json& value, std::string path, const std::string& source)
    : fValue(&value), fPath(std::move(path)), fSource(&source) {
  if (!value.is_object()) Fail("must be an object {…}");
}

void TPatchObject::Fail(const std::string& what) const { FailAt(*fSource, fPath.empty() ? "(top)" : fPath, what); }

std::string TPatchObject::keyPath(std::string_view key) const {
  return fPath.empty() ? std::string(key) : fPath + "." + std::string(key);
}

TPatchValue TPatchObject::Required(const char* key) const {
  const auto found = fValue->find(key);
  if (found == fValue->end()) FailAt(*fSource, keyPath(key), "missing");
  return TPatchValue(*found, keyPath(key), *fSource);
}

std::optional<TPatchValue> TPatchObject::Optional(const char* key) const {
  if (!Has(key)) return std::nullopt;
  return Required(key);
}

void TPatchObject::OnlyKeys(const std::vector<std::string_view>& keys) const {
  for (const auto& [key, value] : fValue->items()) {
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) FailAt(*fSource, keyPath(key), "unknown key");
  }
}

}  // namespace lumora::output::patch

#include "output/patch_reader_p.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <unordered_set>

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

// Builds the document as the parser reads it, following it through objects
// and arrays so that a key given twice or nesting too deep is named by its
// path, and counting the values as they come, so that a patch of too many
// is refused before they are all built. (nlohmann's own parser with a
// callback looks through a list at the end of every object in it, which is
// quadratic in a long list of objects.)
class TPatchBuilder final : public nlohmann::json_sax<json> {
 public:
  explicit TPatchBuilder(const std::string& source) : fSource(source) {}

  json Document() { return std::move(fDocument); }

  bool null() override { return add(nullptr); }
  bool boolean(bool value) override { return add(value); }
  bool number_integer(number_integer_t value) override { return add(value); }
  bool number_unsigned(number_unsigned_t value) override { return add(value); }
  bool number_float(number_float_t value, const string_t&) override { return add(value); }
  bool string(string_t& value) override { return add(std::move(value)); }
  bool binary(binary_t& value) override { return add(json::binary(std::move(value))); }
  bool start_object(std::size_t) override { return open(json::object(), false); }
  bool start_array(std::size_t) override { return open(json::array(), true); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool key(string_t& key) override;
  [[noreturn]] bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override;

 private:
  struct TFrame {
    json* Container;
    bool IsArray;
    std::int64_t Index;
    std::string Key;
    std::unordered_set<std::string> Keys;
  };

  json* add(json value);
  bool open(json container, bool isArray);
  bool close() {
    fFrames.pop_back();
    return true;
  }
  void countValue();
  std::string path() const;

  const std::string& fSource;
  json fDocument;
  std::vector<TFrame> fFrames;
  std::uint64_t fValues = 0;
};

bool TPatchBuilder::key(string_t& key) {
  countValue();
  TFrame& frame = fFrames.back();
  frame.Key = key;
  if (!frame.Keys.insert(key).second) FailAt(fSource, path(), "given twice");
  return true;
}

// "[1, 2, 3] at line 1, column 4: …" as the parser words it, without its
// "[json.exception.parse_error.101] " prefix.
bool TPatchBuilder::parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
  const std::string message = error.what();
  const std::size_t start = message.find("] ");
  throw EPatchError(fSource + ": not JSON: " + (start == std::string::npos ? message : message.substr(start + 2)));
}

void TPatchBuilder::countValue() {
  if (++fValues > kMaxPatchValues) {
    FailAt(fSource, path(), "the patch holds more than " + std::to_string(kMaxPatchValues) + " values");
  }
}

// Into the open container, which stays where it is until it closes.
json* TPatchBuilder::add(json value) {
  if (fFrames.empty()) {
    fDocument = std::move(value);
    countValue();
    return &fDocument;
  }
  TFrame& frame = fFrames.back();
  json& container = *frame.Container;
  json* added = nullptr;
  if (frame.IsArray) {
    ++frame.Index;
    container.push_back(std::move(value));
    added = &container.back();
  } else {
    added = &(container[frame.Key] = std::move(value));
  }
  countValue();
  return added;
}

bool TPatchBuilder::open(json container, bool isArray) {
  if (fFrames.size() > kMaxDepth) FailAt(fSource, path(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
  json* added = add(std::move(container));
  fFrames.push_back({added, isArray, -1, {}, {}});
  return true;
}

std::string TPatchBuilder::path() const {
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

}  // namespace

void FailAt(const std::string& source, const std::string& path, const std::string& what) {
  throw EPatchError(source + ": " + path + ": " + what);
}

json ParseJson(std::string_view text, const std::string& source) {
  TPatchBuilder builder(source);
  json::sax_parse(text.begin(), text.end(), &builder);
  return builder.Document();
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
  std::vector<TPatchValue> elements;
  elements.reserve(Count());
  for (std::size_t i = 0; i < Count(); ++i) elements.push_back(At(i));
  return elements;
}

std::size_t TPatchValue::Count() const {
  if (!fValue->is_array()) Fail("must be a list");
  return fValue->size();
}

TPatchValue TPatchValue::At(std::size_t index) const {
  return TPatchValue((*fValue)[index], fPath + "[" + std::to_string(index) + "]", *fSource);
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

#include "output/component_id.h"

#include <random>

namespace lumora::output {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Where the groups of a UUID's text are split by dashes.
bool dashAt(std::size_t position) { return position == 8 || position == 13 || position == 18 || position == 23; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TComponentId NewComponentId() {
  std::random_device entropy;
  TComponentId id{};
  for (std::size_t i = 0; i < id.size(); i += 4) {
    const std::uint32_t word = entropy();
    for (std::size_t k = 0; k < 4; ++k) id[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
  }
  id[6] = static_cast<std::uint8_t>((id[6] & 0x0F) | 0x40);
  id[8] = static_cast<std::uint8_t>((id[8] & 0x3F) | 0x80);
  return id;
}

std::string FormatComponentId(const TComponentId& id) {
  std::string text;
  for (const std::uint8_t byte : id) {
    if (dashAt(text.size())) text += '-';
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

std::optional<TComponentId> ParseComponentId(const std::string& text) {
  if (text.size() != 36) return std::nullopt;
  TComponentId id{};
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (dashAt(i)) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    const int value = hexValue(text[i]);
    if (value < 0) return std::nullopt;
    id[nibble / 2] = static_cast<std::uint8_t>(id[nibble / 2] | (nibble % 2 == 0 ? value << 4 : value));
    ++nibble;
  }
  return id;
}

}  // namespace lumora::output

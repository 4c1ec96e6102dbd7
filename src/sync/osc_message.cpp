#include "sync/osc_message.h"

#include <lo/lo.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace lumora::sync {

namespace {

constexpr std::uint8_t kBundleTag[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0};
// The tag and the time tag.
constexpr std::size_t kBundleHeader = 16;

using TLoMessage = std::unique_ptr<std::remove_pointer_t<lo_message>, decltype(&lo_message_free)>;

// A 32-bit float as the decimal it was written as (0.1, not 0.100000001…).
double floatAsDecimal(float value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  *end = 0;
  return std::strtod(text, nullptr);
}

template <class T>
T valueAt(const char* raw) {
  T value;
  std::memcpy(&value, raw, sizeof value);
  return value;
}

// liblo's arguments sit on the message's 4-byte grid, so an 8-byte lo_arg
// may be misaligned: values are copied out of the bytes, never read through
// the union.
std::optional<TOscArgument> argumentOf(char type, const lo_arg* argument) {
  const char* raw = reinterpret_cast<const char*>(argument);
  switch (type) {
    case LO_INT32: return std::int64_t{valueAt<std::int32_t>(raw)};
    case LO_INT64: return valueAt<std::int64_t>(raw);
    case LO_FLOAT: return floatAsDecimal(valueAt<float>(raw));
    case LO_DOUBLE: return valueAt<double>(raw);
    case LO_STRING:
    case LO_SYMBOL: return std::string(raw);
    case LO_CHAR: return std::string(1, raw[0]);
    case LO_TRUE: return true;
    case LO_FALSE: return false;
    case LO_NIL:
    case LO_INFINITUM: return TOscNothing{};
    default: return std::nullopt;
  }
}

std::optional<TOscMessage> parseMessage(std::span<const std::uint8_t> bytes, std::string& error) {
  // liblo reads a copy, which it may rewrite in place.
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  int result = 0;
  const TLoMessage message(lo_message_deserialise(copy.data(), copy.size(), &result), lo_message_free);
  const char* path = message ? lo_get_path(copy.data(), static_cast<ssize_t>(copy.size())) : nullptr;
  if (!message || !path) {
    error = "not an OSC message (liblo error " + std::to_string(result) + ")";
    return std::nullopt;
  }
  TOscMessage out{path, lo_message_get_types(message.get()), {}};
  lo_arg** argv = lo_message_get_argv(message.get());
  for (std::size_t i = 0; i < out.Types.size(); ++i) {
    auto argument = argumentOf(out.Types[i], argv[i]);
    if (!argument) {
      error = "the OSC message " + out.Address + " has an argument of type '" + out.Types[i] + "', which is not taken";
      return std::nullopt;
    }
    out.Arguments.push_back(std::move(*argument));
  }
  return out;
}

std::uint32_t big32At(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

bool isBundle(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= sizeof kBundleTag && std::memcmp(bytes.data(), kBundleTag, sizeof kBundleTag) == 0;
}

bool parseInto(std::span<const std::uint8_t> bytes, int depth, std::vector<TOscMessage>& out, std::string& error);

bool parseBundle(std::span<const std::uint8_t> bytes, int depth, std::vector<TOscMessage>& out, std::string& error) {
  if (depth >= kMaxBundleDepth || bytes.size() < kBundleHeader) {
    error = depth >= kMaxBundleDepth ? "OSC bundles are nested too deep" : "an OSC bundle is cut short";
    return false;
  }
  for (std::size_t at = kBundleHeader; at < bytes.size();) {
    if (bytes.size() - at < 4 || big32At(bytes, at) > bytes.size() - at - 4) {
      error = "an OSC bundle element runs past the bundle's end";
      return false;
    }
    const std::size_t size = big32At(bytes, at);
    if (!parseInto(bytes.subspan(at + 4, size), depth + 1, out, error)) return false;
    at += 4 + size;
  }
  return true;
}

bool parseInto(std::span<const std::uint8_t> bytes, int depth, std::vector<TOscMessage>& out, std::string& error) {
  if (isBundle(bytes)) return parseBundle(bytes, depth, out, error);
  if (out.size() >= kMaxOscMessages) {
    error = "an OSC bundle holds more than " + std::to_string(kMaxOscMessages) + " messages";
    return false;
  }
  auto message = parseMessage(bytes, error);
  if (!message) return false;
  out.push_back(std::move(*message));
  return true;
}

void addArgument(lo_message message, const TOscArgument& argument) {
  if (const auto* i = std::get_if<std::int64_t>(&argument)) {
    const bool fits = *i >= std::numeric_limits<std::int32_t>::min() && *i <= std::numeric_limits<std::int32_t>::max();
    if (fits) lo_message_add_int32(message, static_cast<std::int32_t>(*i));
    else lo_message_add_int64(message, *i);
  } else if (const auto* d = std::get_if<double>(&argument)) {
    lo_message_add_float(message, static_cast<float>(*d));
  } else if (const auto* s = std::get_if<std::string>(&argument)) {
    lo_message_add_string(message, s->c_str());
  } else if (const auto* b = std::get_if<bool>(&argument)) {
    if (*b) lo_message_add_true(message);
    else lo_message_add_false(message);
  } else {
    lo_message_add_nil(message);
  }
}

}  // namespace

std::vector<TOscMessage> ParseOscPacket(std::span<const std::uint8_t> datagram, std::string& error) {
  std::vector<TOscMessage> out;
  parseInto(datagram, 0, out, error);
  return out;
}

std::vector<std::uint8_t> EncodeOscMessage(const std::string& address, const std::vector<TOscArgument>& arguments) {
  const TLoMessage message(lo_message_new(), lo_message_free);
  for (const TOscArgument& a : arguments) addArgument(message.get(), a);
  std::vector<std::uint8_t> out(lo_message_length(message.get(), address.c_str()));
  std::size_t size = out.size();
  lo_message_serialise(message.get(), address.c_str(), out.data(), &size);
  out.resize(size);
  return out;
}

}  // namespace lumora::sync

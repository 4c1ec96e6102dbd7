#include "sync/osc_mapping.h"

#include <cmath>
#include <sstream>

#include "control/json_limits.h"

namespace lumora::sync {

namespace {

// Numbers past this are not whole numbers a command could mean.
constexpr double kLargestWhole = 9007199254740992.0;

// Well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF): what JSON text may carry.
bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3 : (byte >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const std::uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string describe(const TOscArgument& a) {
  std::ostringstream out;
  std::visit([&](const auto& v) {
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<T, std::string>) out << '"' << v << '"';
    else if constexpr (std::is_same_v<T, bool>) out << (v ? "true" : "false");
    else if constexpr (std::is_same_v<T, TOscNothing>) out << "nil";
    else out << v;
  }, a);
  return out.str();
}

std::optional<double> numberOf(const TOscArgument& a) {
  if (const auto* i = std::get_if<std::int64_t>(&a)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&a)) return std::isfinite(*d) ? std::optional(*d) : std::nullopt;
  return std::nullopt;
}

std::string numberText(double value) {
  std::ostringstream out;
  if (std::floor(value) == value && std::abs(value) < kLargestWhole) {
    out << static_cast<std::int64_t>(value);
  } else {
    out << value;
  }
  return out.str();
}

std::string rangeText(double low, double high) { return numberText(low) + "–" + numberText(high); }

// The argument as the spec wants it, or an error naming it.
std::variant<nlohmann::json, std::string> convert(const TArgumentSpec& spec, const TOscArgument& a) {
  const std::string name = spec.Name + ": ";
  if (spec.Kind == TArgumentKind::Text || spec.Kind == TArgumentKind::Json) {
    const auto* s = std::get_if<std::string>(&a);
    if (!s) return name + describe(a) + " is not text";
    if (!isUtf8(*s)) return name + "the text is not UTF-8";
    if (spec.Kind == TArgumentKind::Text) return nlohmann::json(*s);
    std::string fault;
    auto value = control::ParseBoundedJson(*s, fault);
    if (!value) return name + "the text " + fault;
    return std::move(*value);
  }
  if (spec.Kind == TArgumentKind::Boolean) {
    if (const auto* b = std::get_if<bool>(&a)) return nlohmann::json(*b);
    if (const auto n = numberOf(a)) return nlohmann::json(*n != 0);
    return name + describe(a) + " is not true or false";
  }
  auto n = numberOf(a);
  if (!n) return name + describe(a) + " is not a number";
  // A fraction scales to a whole percent; a whole number already is one.
  if (spec.Kind == TArgumentKind::Percent && std::holds_alternative<double>(a)) {
    if (*n < 0 || *n > 1) return name + describe(a) + " is outside 0–1";
    *n = std::round(*n * 100);
  }
  if (*n < spec.Min || *n > spec.Max) return name + describe(a) + " is outside " + rangeText(spec.Min, spec.Max);
  if (spec.Kind != TArgumentKind::Integer) return nlohmann::json(*n);
  if (std::floor(*n) != *n || std::abs(*n) > kLargestWhole) return name + describe(a) + " is not a whole number";
  return nlohmann::json(static_cast<std::int64_t>(*n));
}

bool isRelease(const TOscMessage& m) {
  if (m.Arguments.size() != 1) return false;
  if (const auto* b = std::get_if<bool>(&m.Arguments[0])) return !*b;
  const auto n = numberOf(m.Arguments[0]);
  return n && *n == 0;
}

TOscInput timecode(std::string_view what, const TOscMessage& m) {
  const auto n = m.Arguments.size() == 1 ? numberOf(m.Arguments[0]) : std::nullopt;
  if (!n || *n < 0 || *n > kLargestWhole) return TOscError{m.Address + " takes one number of 0 or more"};
  if (what == "seconds") return TOscTimecode{*n, std::nullopt};
  if (what == "frame") return TOscTimecode{std::nullopt, static_cast<std::int64_t>(std::floor(*n))};
  return TOscError{"no timecode address " + m.Address + " (seconds or frame)"};
}

TOscInput withArguments(const TCommandSpec& spec, std::string_view only, const TOscMessage& m) {
  TOscCommand command{spec.Name};
  std::vector<const TArgumentSpec*> targets;
  if (only.empty()) {
    for (const TArgumentSpec& a : spec.Arguments) targets.push_back(&a);
  } else {
    for (const TArgumentSpec& a : spec.Arguments) {
      if (a.Name == only) targets.push_back(&a);
    }
    if (targets.empty()) return TOscError{spec.Name + " has no argument \"" + std::string(only) + "\""};
  }
  if (m.Arguments.size() > targets.size()) {
    return TOscError{spec.Name + " takes " + std::to_string(targets.size()) + " arguments, not " +
                     std::to_string(m.Arguments.size())};
  }
  for (std::size_t i = 0; i < m.Arguments.size(); ++i) {
    auto value = convert(*targets[i], m.Arguments[i]);
    if (auto* error = std::get_if<std::string>(&value)) return TOscError{spec.Name + " " + *error};
    command.Args[targets[i]->Name] = std::move(std::get<nlohmann::json>(value));
  }
  return command;
}

}  // namespace

TOscInput MapOscMessage(const TOscMessage& message, const ICommandTable& commands, const std::string& prefix) {
  const std::string& address = message.Address;
  if (address.size() <= prefix.size() + 1 || address.compare(0, prefix.size(), prefix) != 0 ||
      address[prefix.size()] != '/') {
    return TOscError{"the OSC address " + address + " is not under " + prefix + "/"};
  }
  const std::string_view rest = std::string_view(address).substr(prefix.size() + 1);
  const std::size_t slash = rest.find('/');
  const std::string_view name = rest.substr(0, slash);
  const std::string_view argument = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  if (name == "timecode") return timecode(argument, message);
  const TCommandSpec* spec = commands.FindCommand(name);
  if (!spec) return TOscError{"no command \"" + std::string(name) + "\" (" + address + ")"};
  if (slash != std::string_view::npos && (argument.empty() || argument.find('/') != std::string_view::npos)) {
    return TOscError{"the OSC address " + address + " names no argument of " + spec->Name};
  }
  if (spec->Arguments.empty() && isRelease(message)) return TOscRelease{};
  // A press of a button for a command without arguments carries a value to ignore.
  if (spec->Arguments.empty() && message.Arguments.size() == 1) return TOscCommand{spec->Name};
  return withArguments(*spec, argument, message);
}

}  // namespace lumora::sync

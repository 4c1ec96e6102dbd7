// JSON from outside (request bodies, WebSocket messages, schedule files)
// is held to a nesting depth: copying, comparing or writing out a value
// recurses as deep as it nests, and a small hostile document nested a
// hundred thousand levels would take the whole stack.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace lumora::control {

// Lists and objects within one another, the outermost counting as one.
inline constexpr int kMaxJsonDepth = 64;

// The text as JSON; none, with `fault` saying why ("is not JSON", "nests
// deeper than 64 levels"), otherwise. Deeper parts are never built.
std::optional<nlohmann::json> ParseBoundedJson(std::string_view text, std::string& fault);
// Whether a value nests deeper than `levels`; found without recursing.
bool NestsDeeperThan(const nlohmann::json& value, int levels);

}  // namespace lumora::control

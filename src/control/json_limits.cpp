#include "control/json_limits.h"

#include <utility>
#include <vector>

namespace lumora::control {

std::optional<nlohmann::json> ParseBoundedJson(std::string_view text, std::string& fault) {
  bool tooDeep = false;
  // A list or an object starts at its parent's depth; the outermost at 0.
  const nlohmann::json::parser_callback_t guard = [&tooDeep](int depth, nlohmann::json::parse_event_t event,
                                                             nlohmann::json&) {
    const bool opens = event == nlohmann::json::parse_event_t::object_start ||
                       event == nlohmann::json::parse_event_t::array_start;
    if (opens && depth >= kMaxJsonDepth) tooDeep = true;
    return !tooDeep;
  };
  nlohmann::json value = nlohmann::json::parse(text.begin(), text.end(), guard, false);
  if (tooDeep) {
    fault = "nests deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    return std::nullopt;
  }
  if (value.is_discarded()) {
    fault = "is not JSON";
    return std::nullopt;
  }
  return value;
}

bool NestsDeeperThan(const nlohmann::json& value, int levels) {
  std::vector<std::pair<const nlohmann::json*, int>> pending{{&value, 1}};
  while (!pending.empty()) {
    const auto [item, level] = pending.back();
    pending.pop_back();
    if (!item->is_structured()) continue;
    if (level > levels) return true;
    for (const nlohmann::json& child : *item) pending.emplace_back(&child, level + 1);
  }
  return false;
}

}  // namespace lumora::control

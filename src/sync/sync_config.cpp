#include "sync/sync_config.h"

#include <cmath>
#include <functional>
#include <map>

namespace lumora::sync {

namespace {

using TReader = std::function<void(const nlohmann::json& value, TSyncOptions& options)>;

struct EWrongKind {
  std::string Expected;
};

std::string text(const nlohmann::json& value) {
  if (!value.is_string()) throw EWrongKind{"text"};
  return value.get<std::string>();
}

bool flag(const nlohmann::json& value) {
  if (!value.is_boolean()) throw EWrongKind{"true or false"};
  return value.get<bool>();
}

// Text, or an array of texts joined by commas as the options write them.
std::string list(const nlohmann::json& value) {
  if (!value.is_array()) return text(value);
  std::string joined;
  for (const nlohmann::json& item : value) joined += (joined.empty() ? "" : ",") + text(item);
  return joined;
}

std::string hour(const nlohmann::json& value) {
  if (value.is_number_integer()) return std::to_string(value.get<std::int64_t>());
  if (!value.is_object()) return list(value);
  std::string joined;
  for (const auto& [key, h] : value.items()) {
    if (!h.is_number_integer()) throw EWrongKind{"an object of whole hours"};
    joined += (joined.empty() ? "" : ",") + key + "=" + std::to_string(h.get<std::int64_t>());
  }
  return joined;
}

const std::map<std::string, TReader>& readers() {
  static const std::map<std::string, TReader> table = {
      {"lead", [](const nlohmann::json& v, TSyncOptions& o) { o.Lead = list(v); }},
      {"multicast", [](const nlohmann::json& v, TSyncOptions& o) { o.Multicast = flag(v); }},
      {"broadcast", [](const nlohmann::json& v, TSyncOptions& o) { o.Broadcast = flag(v); }},
      {"follow", [](const nlohmann::json& v, TSyncOptions& o) {
         if (v.is_boolean()) {
           if (v.get<bool>()) o.Follow = "";
           return;
         }
         o.Follow = text(v);
       }},
      {"offset-ms", [](const nlohmann::json& v, TSyncOptions& o) {
         if (!v.is_number()) throw EWrongKind{"a number"};
         o.OffsetMs = v.get<double>();
       }},
      {"timecode-out", [](const nlohmann::json& v, TSyncOptions& o) {
         o.TimecodeOut.clear();
         if (!v.is_array()) {
           o.TimecodeOut.push_back(text(v));
           return;
         }
         for (const nlohmann::json& item : v) o.TimecodeOut.push_back(text(item));
       }},
      {"timecode-hour", [](const nlohmann::json& v, TSyncOptions& o) { o.TimecodeHour = hour(v); }},
      {"timecode-in", [](const nlohmann::json& v, TSyncOptions& o) { o.TimecodeIn = text(v); }},
      {"osc", [](const nlohmann::json& v, TSyncOptions& o) {
         o.Osc = v.is_number_integer() ? std::to_string(v.get<std::int64_t>()) : text(v);
       }},
      {"osc-allow", [](const nlohmann::json& v, TSyncOptions& o) { o.OscAllow = list(v); }},
      {"osc-feedback", [](const nlohmann::json& v, TSyncOptions& o) { o.OscFeedback = text(v); }},
  };
  return table;
}

}  // namespace

TSyncOptions SyncOptionsFromJson(const nlohmann::json& sync, const std::string& where) {
  TSyncOptions options;
  if (sync.is_null()) return options;
  if (!sync.is_object()) throw ESyncOptions(where + ": \"sync\" must be an object");
  for (const auto& [key, value] : sync.items()) {
    const auto reader = readers().find(key);
    if (reader == readers().end()) throw ESyncOptions(where + ": \"sync\" has no setting \"" + key + "\"");
    try {
      reader->second(value, options);
    } catch (const EWrongKind& wrong) {
      throw ESyncOptions(where + ": \"sync\"." + key + " must be " + wrong.Expected);
    }
  }
  return options;
}

TSyncSetup ReadSyncSettings(const nlohmann::json& sync, const std::string& where) {
  const TSyncOptions options = SyncOptionsFromJson(sync, where);
  try {
    return ParseSyncOptions(options);
  } catch (const ESyncOptions& fault) {
    throw ESyncOptions(where + ": \"sync\": " + fault.what());
  }
}

}  // namespace lumora::sync

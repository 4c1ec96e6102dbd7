#include "app/player_config.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "app/show_control_room.h"
#include "control/json_limits.h"
#include "io/configuration_folder.h"
#include "io/stream.h"
#include "schedule/local_zone.h"
#include "schedule/schedule.h"
#include "service/password.h"

namespace lumora {

namespace {

using nlohmann::json;

constexpr std::size_t kMaxPathLength = 4096;
constexpr std::size_t kMaxNameLength = 256;
constexpr std::array<const char*, 12> kKeys{"shows",    "patch",        "control", "password-hash", "location", "timezone",
                                            "schedule", "audio-output", "volume",  "web",           "certificate", "sync"};

enum class TPathKind { Folder, File, FileToBe };

std::string keyList() {
  std::string list;
  for (const char* key : kKeys) list += (list.empty() ? "" : ", ") + std::string(key);
  return list;
}

class TConfigReader {
 public:
  TConfigReader(const json& document, std::string file) : fDocument(document), fFile(std::move(file)) {}

  [[noreturn]] void Fail(const std::string& key, const std::string& fault) const {
    throw TPlayerConfigError(fFile, key, fault);
  }
  const json* Find(const char* key) const {
    const auto it = fDocument.find(key);
    return it == fDocument.end() ? nullptr : &*it;
  }
  void CheckKeys() const;
  std::string Text(const char* key, std::size_t maxLength) const;
  std::string Path(const char* key, TPathKind kind) const;
  std::optional<std::int32_t> Integer(const char* key, std::int32_t lowest, std::int32_t highest) const;
  std::optional<schedule::TLocation> Location() const;
  std::string TimeZone() const;
  std::string Control() const;
  std::string PasswordHash() const;

 private:
  double coordinate(const json& location, const char* name, double limit) const;

  const json& fDocument;
  std::string fFile;
};

void TConfigReader::CheckKeys() const {
  for (const auto& [key, value] : fDocument.items()) {
    if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end()) {
      Fail(key, "is not a key of the player's configuration (" + keyList() + ")");
    }
  }
}

std::string TConfigReader::Text(const char* key, std::size_t maxLength) const {
  const json* value = Find(key);
  if (value == nullptr) return {};
  if (!value->is_string()) Fail(key, schedule::ShownValue(*value) + " is not a text");
  const std::string& text = value->get_ref<const std::string&>();
  if (text.empty()) Fail(key, "is empty");
  if (text.size() > maxLength) Fail(key, "is longer than " + std::to_string(maxLength) + " bytes");
  if (text.find('\0') != std::string::npos) Fail(key, "holds a NUL character");
  return text;
}

// Absolute, a relative path taken in the configuration's own folder; it
// must be there as what it is for, or for a file to be, not be a folder.
std::string TConfigReader::Path(const char* key, TPathKind kind) const {
  const std::string text = Text(key, kMaxPathLength);
  if (text.empty()) return {};
  const std::filesystem::path base = std::filesystem::absolute(fFile).parent_path();
  const std::string path = (base / text).lexically_normal().string();
  std::error_code error;
  const bool folder = std::filesystem::is_directory(path, error);
  if (kind == TPathKind::Folder && !folder) Fail(key, "\"" + path + "\" is not a folder");
  if (kind == TPathKind::File && !IsRegularFile(path)) Fail(key, "\"" + path + "\" is not a file that can be read");
  if (kind == TPathKind::FileToBe && folder) Fail(key, "\"" + path + "\" is a folder");
  return path;
}

std::optional<std::int32_t> TConfigReader::Integer(const char* key, std::int32_t lowest, std::int32_t highest) const {
  const json* value = Find(key);
  if (value == nullptr) return std::nullopt;
  if (!value->is_number_integer() || value->get<std::int64_t>() < lowest || value->get<std::int64_t>() > highest) {
    Fail(key, schedule::ShownValue(*value) + " is not a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest));
  }
  return static_cast<std::int32_t>(value->get<std::int64_t>());
}

double TConfigReader::coordinate(const json& location, const char* name, double limit) const {
  const auto it = location.find(name);
  if (it == location.end()) Fail("location", "has no \"" + std::string(name) + "\"");
  if (!it->is_number() || !std::isfinite(it->get<double>()) || std::fabs(it->get<double>()) > limit) {
    Fail("location", "\"" + std::string(name) + "\": " + schedule::ShownValue(*it) + " is not a number of degrees from " +
                         std::to_string(static_cast<int>(-limit)) + " to " + std::to_string(static_cast<int>(limit)));
  }
  return it->get<double>();
}

std::optional<schedule::TLocation> TConfigReader::Location() const {
  const json* value = Find("location");
  if (value == nullptr) return std::nullopt;
  if (!value->is_object()) Fail("location", schedule::ShownValue(*value) + " is not {\"latitude\": …, \"longitude\": …}");
  for (const auto& [key, item] : value->items()) {
    if (key != "latitude" && key != "longitude") Fail("location", "\"" + key + "\" is not \"latitude\" or \"longitude\"");
  }
  return schedule::TLocation{coordinate(*value, "latitude", 90), coordinate(*value, "longitude", 180)};
}

std::string TConfigReader::TimeZone() const {
  const std::string name = Text("timezone", kMaxNameLength);
  if (name.empty()) return name;
  try {
    schedule::TLocalZone{name};
  } catch (const std::invalid_argument& error) {
    Fail("timezone", error.what());
  }
  return name;
}

std::string TConfigReader::Control() const {
  const std::string listen = Text("control", kMaxNameLength);
  if (listen.empty()) return listen;
  try {
    ParseListenAddress(listen);
  } catch (const std::invalid_argument& error) {
    Fail("control", error.what());
  }
  return listen;
}

std::string TConfigReader::PasswordHash() const {
  const std::string hash = Text("password-hash", kMaxPathLength);
  if (!hash.empty() && !service::IsPasswordHash(hash)) {
    Fail("password-hash", "is not a password's hash as lumora-play --set-password stores it");
  }
  return hash;
}

}  // namespace

TPlayerConfigError::TPlayerConfigError(const std::string& file, std::string key, const std::string& fault)
    : std::runtime_error(file + ": " + (key.empty() ? "" : "\"" + key + "\": ") + fault), fKey(std::move(key)) {}

std::string DefaultPlayerConfigPath() {
  const std::string own = ConfigurationFolder() + "/player.json";
  std::error_code error;
  return std::filesystem::exists(own, error) ? own : kSystemPlayerConfig;
}

TPlayerConfig ReadPlayerConfig(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path, kMaxPlayerConfigBytes);
  std::string fault;
  const std::optional<json> document =
      control::ParseBoundedJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), fault);
  if (!document) throw TPlayerConfigError(path, "", fault);
  return ParsePlayerConfig(*document, path);
}

TPlayerConfig ParsePlayerConfig(const json& document, const std::string& path) {
  if (!document.is_object()) throw TPlayerConfigError(path, "", "is not a JSON object of settings");
  const TConfigReader reader(document, path);
  reader.CheckKeys();
  TPlayerConfig config;
  config.ShowFolder = reader.Path("shows", TPathKind::Folder);
  if (config.ShowFolder.empty()) reader.Fail("shows", "is required: the folder the shows are played from");
  config.Patch = reader.Path("patch", TPathKind::File);
  config.Control = reader.Control();
  config.PasswordHash = reader.PasswordHash();
  config.Location = reader.Location();
  config.TimeZone = reader.TimeZone();
  config.Schedule = reader.Path("schedule", TPathKind::FileToBe);
  config.AudioOutput = reader.Text("audio-output", kMaxNameLength);
  config.Volume = reader.Integer("volume", 0, 100);
  config.WebFolder = reader.Path("web", TPathKind::Folder);
  config.Certificate = reader.Path("certificate", TPathKind::File);
  if (const json* sync = reader.Find("sync")) {
    if (!sync->is_object()) reader.Fail("sync", schedule::ShownValue(*sync) + " is not a JSON object");
    // Copying it recurses as deep as it nests.
    if (control::NestsDeeperThan(*sync, control::kMaxJsonDepth)) {
      reader.Fail("sync", "nests deeper than " + std::to_string(control::kMaxJsonDepth) + " levels");
    }
    config.Sync = *sync;
  }
  return config;
}

}  // namespace lumora

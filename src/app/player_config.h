// The show machine's configuration: one JSON file naming everything
// lumora-play --config runs with (the show folder, the patch, the control
// address and the password's hash, the place and time zone, the schedule,
// the audio output and the volume). It is read whole and checked before
// anything starts; a fault names the file, the key and what is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "schedule/sun_times.h"

namespace lumora {

struct TPlayerConfig {
  // Paths are absolute, a relative one taken in the configuration's folder.
  // "shows": the show folder (required).
  std::string ShowFolder;
  // "patch": the channel patch the lamps are driven through.
  std::string Patch;
  // "control": "[ADDRESS:]PORT" the control page and API are served at.
  std::string Control;
  // "password-hash": the control password as --set-password stores it.
  std::string PasswordHash;
  // "location" {"latitude", "longitude"} and "timezone": for a schedule
  // that names neither.
  std::optional<schedule::TLocation> Location;
  std::string TimeZone;
  // "schedule": the schedule's file.
  std::string Schedule;
  // "audio-output": "default", "none" (no music) or an output's name as
  // the system lists it.
  std::string AudioOutput;
  // "volume": the music's, 0 to 100.
  std::optional<std::int32_t> Volume;
  // "web": the control page's folder; "certificate": a PEM file, for HTTPS.
  std::string WebFolder;
  std::string Certificate;
  // "sync": several players, timecode and OSC, read by the sync layer's
  // own reader; null when the file has none.
  nlohmann::json Sync;
};

// "/etc/lumora/player.json: "volume": 120 is not a whole number from 0
// to 100".
class TPlayerConfigError : public std::runtime_error {
 public:
  TPlayerConfigError(const std::string& file, std::string key, const std::string& fault);
  // The key at fault; empty when the file as a whole is.
  const std::string& Key() const { return fKey; }

 private:
  std::string fKey;
};

inline constexpr std::uint64_t kMaxPlayerConfigBytes = std::uint64_t{1} << 20;
inline constexpr const char* kSystemPlayerConfig = "/etc/lumora/player.json";

// player.json in the user's configuration folder when there is one, else
// the system's.
std::string DefaultPlayerConfigPath();
// Raises TLoadError when the file cannot be read, TPlayerConfigError for
// what it holds.
TPlayerConfig ReadPlayerConfig(const std::string& path);
// The document as the file at `path` holds it.
TPlayerConfig ParsePlayerConfig(const nlohmann::json& document, const std::string& path);

}  // namespace lumora

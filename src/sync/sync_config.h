// The "sync" object of the player's configuration file: the same settings
// as the command-line options, by name ("lead", "multicast", "broadcast",
// "follow", "offset-ms", "timecode-out", "timecode-hour", "timecode-in", "osc",
// "osc-allow", "osc-feedback"). Lists may be given as JSON arrays; an hour
// table as an object of names or entry numbers.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "sync/sync_options.h"

namespace lumora::sync {

// Raises ESyncOptions naming `where` (the file) and the key at fault, for
// an unknown key as well as a value of the wrong kind. Null reads as no
// settings at all.
TSyncOptions SyncOptionsFromJson(const nlohmann::json& sync, const std::string& where);
// The object read and checked as the options are; a fault names `where`
// and the option it stands for.
TSyncSetup ReadSyncSettings(const nlohmann::json& sync, const std::string& where);

}  // namespace lumora::sync

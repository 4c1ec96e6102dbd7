// lumora-play's options for many players, timecode and OSC: added to its
// command line, and read into the sync layer's settings after parsing.
#pragma once

#include <CLI/CLI.hpp>

#include <nlohmann/json.hpp>

#include <string>

#include "sync/sync_options.h"

namespace lumora {

// Adds --sync-lead, --sync-multicast, --sync-broadcast, --sync-follow,
// --sync-offset, --timecode-out, --timecode-hour, --timecode-in, --osc,
// --osc-allow, --osc-feedback and the test-only --clock-rate.
void AddSyncOptions(CLI::App& app, sync::TSyncOptions& options);

// The options checked; raises EUsage naming the one at fault.
sync::TSyncSetup SyncSetupOf(const sync::TSyncOptions& options);

// The configuration file's "sync" object (null: none) read from `where`,
// filling in each option the command line left out.
void FillSyncOptions(const CLI::App& app, sync::TSyncOptions& options, const nlohmann::json& sync,
                     const std::string& where);

// What the sync options need of the rest: a show to play, or something
// that will name one (the control service, the schedule, a leader, OSC); a
// follower needs a show folder. Raises EUsage saying what is missing.
void CheckSyncUsage(const sync::TSyncSetup& setup, bool hasFile, bool commanded, bool hasShowFolder);

// Text for --help's footer.
extern const char* const kSyncHelp;

}  // namespace lumora

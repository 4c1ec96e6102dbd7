// The control service's options, the same for the player's window and for
// lumora-play: where it listens, the password's file, the page's folder and
// the certificate for HTTPS.
#pragma once

#include <CLI/CLI.hpp>

#include "app/show_control_room.h"

namespace lumora {

// Adds --control, --password-file, --web and --certificate; returns
// --control, which decides whether anything is served.
CLI::Option* AddControlOptions(CLI::App& app, TControlServiceOptions& options);

}  // namespace lumora

// OSC addresses to commands: "/lumora/<command>" with its arguments in
// order, or "/lumora/<command>/<argument>" with that one argument, checked
// against the command table (kinds and ranges) and turned into a command
// name and JSON arguments as the command bus takes them; and
// "/lumora/timecode/seconds" or ".../frame" for a timecode to follow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "sync/command_table.h"
#include "sync/osc_message.h"

namespace lumora::sync {

inline constexpr const char* kOscPrefix = "/lumora";

struct TOscCommand {
  std::string Name;
  nlohmann::json Args = nlohmann::json::object();
};

// A position to follow: seconds into the show, or a frame of it.
struct TOscTimecode {
  std::optional<double> Seconds;
  std::optional<std::int64_t> Frame;
};

// A button's release: a command without arguments sent with 0 or false,
// as control surfaces send one on press and one on release. Nothing to do.
struct TOscRelease {};

struct TOscError {
  std::string Message;
};

using TOscInput = std::variant<TOscCommand, TOscTimecode, TOscRelease, TOscError>;

TOscInput MapOscMessage(const TOscMessage& message, const ICommandTable& commands, const std::string& prefix = kOscPrefix);

}  // namespace lumora::sync

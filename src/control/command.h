// TCommand: what every input (the window's keys and menu, the control
// service, the schedule, OSC, sync) asks of the show, by name with its
// arguments, and TCommandResult: what it answers.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace lumora::control {

// Where a command comes from. The window is the person at the show
// machine; what comes over a network may name only shows of the show
// folder.
enum class TCommandSource : std::uint8_t { Window, Http, WebSocket, Schedule, Osc, Sync, Script };

// "window", "http", … for status and logs.
const char* SourceName(TCommandSource source);
// Whether the command comes from a person at the machine itself.
inline bool IsLocal(TCommandSource source) {
  return source == TCommandSource::Window || source == TCommandSource::Script;
}

struct TCommand {
  std::string Name;
  // An object of the command's arguments by name.
  nlohmann::json Args = nlohmann::json::object();
  TCommandSource Source = TCommandSource::Script;
};

// Why a command was not done: its arguments, no such command, a show too
// busy to take it, or the show's own refusal.
enum class TFault : std::uint8_t { None, Arguments, Unknown, Busy, Refused };

struct TCommandResult {
  bool Done = true;
  TFault Fault = TFault::None;
  // The argument at fault; empty when the fault is no single argument's.
  std::string Argument;
  std::string Error;
  // What the command answers besides being done, if anything.
  nlohmann::json Data;

  static TCommandResult Ok(nlohmann::json data = nullptr);
  // A fault of the argument named, or with none named, the show's refusal.
  static TCommandResult Fail(std::string argument, std::string error);
  static TCommandResult Failed(TFault fault, std::string error);
};

// {"done": true, …} or {"done": false, "argument": …, "error": …}.
nlohmann::json ResultJson(const TCommandResult& result);

}  // namespace lumora::control

#include "control/command.h"

namespace lumora::control {

const char* SourceName(TCommandSource source) {
  switch (source) {
    case TCommandSource::Window: return "window";
    case TCommandSource::Http: return "http";
    case TCommandSource::WebSocket: return "websocket";
    case TCommandSource::Schedule: return "schedule";
    case TCommandSource::Osc: return "osc";
    case TCommandSource::Sync: return "sync";
    case TCommandSource::Script: return "script";
  }
  return "unknown";
}

TCommandResult TCommandResult::Ok(nlohmann::json data) {
  TCommandResult result;
  result.Data = std::move(data);
  return result;
}

TCommandResult TCommandResult::Fail(std::string argument, std::string error) {
  TCommandResult result;
  result.Done = false;
  result.Fault = argument.empty() ? TFault::Refused : TFault::Arguments;
  result.Argument = std::move(argument);
  result.Error = std::move(error);
  return result;
}

TCommandResult TCommandResult::Failed(TFault fault, std::string error) {
  TCommandResult result;
  result.Done = false;
  result.Fault = fault;
  result.Error = std::move(error);
  return result;
}

nlohmann::json ResultJson(const TCommandResult& result) {
  nlohmann::json json = {{"done", result.Done}};
  if (!result.Done) {
    if (!result.Argument.empty()) json["argument"] = result.Argument;
    json["error"] = result.Error;
  }
  if (!result.Data.is_null()) json["data"] = result.Data;
  return json;
}

}  // namespace lumora::control

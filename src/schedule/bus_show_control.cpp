#include "schedule/bus_show_control.h"

#include <filesystem>

namespace lumora::schedule {

namespace {

TStageState stageState(control::TPlayState state) {
  switch (state) {
    case control::TPlayState::Idle: return TStageState::Idle;
    case control::TPlayState::Playing: return TStageState::Playing;
    case control::TPlayState::Paused: return TStageState::Paused;
    case control::TPlayState::Stopping: return TStageState::Stopping;
  }
  return TStageState::Idle;
}

const char* whenName(TStopWhen when) {
  switch (when) {
    case TStopWhen::Now: return "now";
    case TStopWhen::Pass: return "pass";
    case TStopWhen::Entry: break;
  }
  return "entry";
}

}  // namespace

bool IsScheduleCommand(const std::string& name) { return name.starts_with("schedule-"); }

TBusShowControl::TBusShowControl(control::TCommandBus& bus, const control::TShowController& controller)
    : fBus(bus), fController(controller) {}

TStageView TBusShowControl::Stage() const {
  const control::TShowStatus& status = fController.Status();
  TStageView view;
  view.State = stageState(status.State);
  if (!view.Occupied()) return view;
  view.File = !fShown.empty() && status.File == fShown ? fAsked : status.File;
  if (status.StartedBy == control::SourceName(control::TCommandSource::Schedule)) {
    view.StartedBy = TStartedBy::Schedule;
  } else {
    view.StartedBy = TStartedBy::Hand;
    view.Protected = status.Protected;
  }
  return view;
}

std::string TBusShowControl::Play(const TPlayRequest& request) {
  const std::string fault = run("play", {{"file", request.File}, {"entry", request.Entry}, {"loops", request.Loops}});
  if (!fault.empty()) return fault;
  fAsked = request.File;
  fShown = fController.Status().File;
  return {};
}

void TBusShowControl::Stop(TStopWhen when) { run("stop", {{"when", whenName(when)}}); }

std::string TBusShowControl::RunCommand(const std::string& name, const nlohmann::json& args) {
  if (IsScheduleCommand(name)) return "the schedule does not run its own commands";
  return run(name, args);
}

std::string TBusShowControl::run(const std::string& name, nlohmann::json args) {
  const control::TCommandResult result = fBus.Run({name, std::move(args), control::TCommandSource::Schedule});
  if (result.Done) return {};
  return result.Argument.empty() ? result.Error : result.Argument + ": " + result.Error;
}

TLibraryLengths::TLibraryLengths(control::TShowLibrary& library, std::string folder)
    : fLibrary(library), fFolder(std::move(folder)) {}

std::vector<double> TLibraryLengths::EntrySeconds(const std::string& file) {
  if (!control::IsPlainName(file)) return {};
  return fLibrary.EntrySeconds((std::filesystem::path(fFolder) / file).string());
}

}  // namespace lumora::schedule

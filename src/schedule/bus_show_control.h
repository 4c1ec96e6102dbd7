// The scheduler's hold on the player, through the command bus like every
// other input: what is on the stage as the show controller's status says,
// and every start, stop and command the schedule makes run on the bus as
// the schedule's. The lengths of the show folder's lists come from its
// library, measured off the engine's thread.
#pragma once

#include <string>

#include "control/command_bus.h"
#include "control/show_controller.h"
#include "control/show_library.h"
#include "schedule/show_control.h"

namespace lumora::schedule {

class TBusShowControl final : public TShowControl {
 public:
  // Both must outlive it; it is used on the engine's thread.
  TBusShowControl(control::TCommandBus& bus, const control::TShowController& controller);

  TStageView Stage() const override;
  std::string Play(const TPlayRequest& request) override;
  void Stop(TStopWhen when) override;
  // The schedule's own commands are refused: an entry that changed the
  // schedule while it runs would pull it from under its own feet.
  std::string RunCommand(const std::string& name, const nlohmann::json& args) override;

 private:
  std::string run(const std::string& name, nlohmann::json args);

  control::TCommandBus& fBus;
  const control::TShowController& fController;
  // The name the schedule played a show by, and the name the status gives
  // it ("./a.lst" is shown as "a.lst"), so that the two are known as one.
  std::string fAsked;
  std::string fShown;
};

class TLibraryLengths final : public TShowLengths {
 public:
  // Names are taken inside `folder`; the library must outlive it.
  TLibraryLengths(control::TShowLibrary& library, std::string folder);
  std::vector<double> EntrySeconds(const std::string& file) override;

 private:
  control::TShowLibrary& fLibrary;
  std::string fFolder;
};

// Whether a command's name is one of the schedule's own.
bool IsScheduleCommand(const std::string& name);

}  // namespace lumora::schedule

// TScheduleRunner: the schedule at work in a running player. It reads the
// schedule's file, lets the scheduler start and stop shows through the
// command bus, registers the schedule's commands (read, replace, the
// calendar, start the next item now, extend, enable, delete), keeps every
// change in the file and publishes the schedule's part of the status.
// Everything runs on the engine's thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/command_bus.h"
#include "control/show_controller.h"
#include "control/status.h"
#include "schedule/bus_show_control.h"
#include "schedule/scheduler.h"

namespace lumora::schedule {

// The system's clock in whole seconds.
TInstant SystemNow();

struct TScheduleRunnerOptions {
  // Read at the start and replaced whole on every change; a file that is
  // not there yet is an empty schedule.
  std::string File;
  // Where sun times are reckoned and the zone of the clock times, for a
  // schedule that names neither (the player's configuration).
  std::optional<TLocation> Location;
  std::string TimeZone;
  std::function<TInstant()> Clock = SystemNow;
  // Whether the calendar's work, given until the deadline, is to stop.
  std::function<bool(std::chrono::steady_clock::time_point deadline)> OutOfTime =
      [](std::chrono::steady_clock::time_point deadline) { return std::chrono::steady_clock::now() > deadline; };
};

class TScheduleRunner {
 public:
  // Reads the file, raising TLoadError naming it and the entry and field
  // at fault (commands are checked against the bus as it stands), and
  // registers the schedule's commands. All must outlive the runner.
  TScheduleRunner(control::TCommandBus& bus, control::TShowController& controller, control::TStatusBoard& board,
                  TShowLengths& lengths, TScheduleRunnerOptions options);
  ~TScheduleRunner();
  TScheduleRunner(const TScheduleRunner&) = delete;
  TScheduleRunner& operator=(const TScheduleRunner&) = delete;

  // Called every 50 ms or so: ticks the scheduler once a second and
  // whenever what plays has changed, and publishes its status when that
  // changed.
  void Poll();
  // The schedule in use, the configuration's place and zone filled in.
  const TSchedule& Schedule() const { return fScheduler->Schedule(); }

 private:
  void registerCommands();
  control::TCommandResult put(const nlohmann::json& document);
  control::TCommandResult range(const control::TCommand& command);
  control::TCommandResult changeEntry(const control::TCommand& command);
  control::TCommandResult byHand(const std::string& refusal);

  TSchedule read(const nlohmann::json& document) const;
  void checkCommands(const TSchedule& schedule) const;
  nlohmann::json storedForm(const nlohmann::json& given, const TSchedule& schedule) const;
  void take(TSchedule schedule, nlohmann::json stored);
  void tick(TInstant now);
  void publish(TInstant now);

  control::TCommandBus& fBus;
  control::TShowController& fController;
  control::TStatusBoard& fBoard;
  TShowLengths& fLengths;
  TScheduleRunnerOptions fOptions;
  TBusShowControl fControl;
  // The schedule as its file holds it: the configuration's place and zone
  // are not written into it.
  nlohmann::json fStored;
  std::unique_ptr<TScheduler> fScheduler;
  std::optional<TInstant> fLastTick;
  TStageView fLastStage;
  nlohmann::json fPublished;
};

}  // namespace lumora::schedule

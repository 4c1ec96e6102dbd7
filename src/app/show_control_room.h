// TShowControlRoom: everything that controls one running show, for the
// player's window and lumora-play alike: the command bus, the status, the
// controller of the show's commands, the preview, the show folder's list
// and, when asked for, the control service with its page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "control/command_bus.h"
#include "control/frame_preview.h"
#include "control/show_controller.h"
#include "control/show_library.h"
#include "control/status.h"
#include "schedule/schedule_runner.h"
#include "service/control_service.h"

namespace lumora {

struct TControlServiceOptions {
  // "[ADDRESS:]PORT" as given to --control; empty: no service.
  std::string Listen;
  // A file holding the password in clear; none: the stored one.
  std::string PasswordFile;
  // The installed page's folder; none: the page the program carries.
  std::string WebFolder;
  // A PEM file with the certificate and its key: HTTPS.
  std::string Certificate;
  // The folder whose shows commands name; none: as the controller has it.
  std::string ShowFolder;
  // The password's hash as the player's configuration gives it; none: as
  // PasswordFile says.
  std::string PasswordHash;
};

// Splits "[ADDRESS:]PORT" (address 127.0.0.1 when not given); raises
// std::invalid_argument saying what is wrong.
std::pair<std::string, std::uint16_t> ParseListenAddress(const std::string& text);

class TShowControlRoom {
 public:
  TShowControlRoom(TShowEngine& engine, control::TControllerOptions options, const std::string& version);
  ~TShowControlRoom();
  TShowControlRoom(const TShowControlRoom&) = delete;
  TShowControlRoom& operator=(const TShowControlRoom&) = delete;

  // Starts the control service; raises std::runtime_error naming what
  // failed. Returns its address, and the file of a password made for a
  // first run (or empty).
  std::pair<std::string, std::string> Serve(const TControlServiceOptions& options);
  // Runs the schedule, before Serve, on the engine's thread: its commands
  // join the bus, its resources the service, and Poll ticks it. The shows
  // it names are measured first, so that a list due now starts at the
  // entry it would have reached. Raises what is wrong with its file.
  void RunSchedule(schedule::TScheduleRunnerOptions options);
  // About every 50 ms on the engine's thread: the controller's poll, then
  // the schedule's.
  void Poll();
  // The service first, so that no command comes in while the show ends.
  void Shutdown();

  control::TCommandBus Bus;
  control::TStatusBoard Status;
  control::TFramePreview Preview;
  control::TShowController Controller;

 private:
  control::TControllerOptions withLengths(control::TControllerOptions options);
  control::TShowLibrary& library();
  const std::string& showFolder() const { return Controller.Options().ShowFolder; }

  TShowEngine& fEngine;
  std::unique_ptr<control::TShowLibrary> fLibrary;
  std::unique_ptr<service::TControlService> fService;
  std::unique_ptr<schedule::TLibraryLengths> fLengths;
  std::unique_ptr<schedule::TScheduleRunner> fSchedule;
  bool fShutDown = false;
};

}  // namespace lumora

#include "app/show_control_room.h"

#include <unistd.h>

#include <stdexcept>

#include "app/control_password.h"

namespace lumora {

namespace {

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "lumora";
  return name;
}

// The schedule's resources, served by its commands.
std::vector<service::TResourceRoute> scheduleRoutes() {
  return {{"GET", "/api/schedule", "schedule-get"},
          {"PUT", "/api/schedule", "schedule-put"},
          {"GET", "/api/schedule/range", "schedule-range"}};
}

}  // namespace

std::pair<std::string, std::uint16_t> ParseListenAddress(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  const std::string address = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
      std::stoul(port) > 65535) {
    throw std::invalid_argument("\"" + text + "\" names no port from 0 to 65535");
  }
  if (address.empty() || address.find_first_not_of("0123456789.") != std::string::npos) {
    throw std::invalid_argument("\"" + text + "\" names no IPv4 address");
  }
  return {address, static_cast<std::uint16_t>(std::stoul(port))};
}

TShowControlRoom::TShowControlRoom(TShowEngine& engine, control::TControllerOptions options,
                                   const std::string& version)
    : Status({version, hostName(), std::chrono::steady_clock::now()}),
      Controller(engine, Bus, Status, withLengths(std::move(options))), fEngine(engine) {}

// Lengths of shows not played yet come from the show folder's list, once
// the service has one.
control::TControllerOptions TShowControlRoom::withLengths(control::TControllerOptions options) {
  options.KnownLength = [this](const std::string& path) -> std::optional<double> {
    return fLibrary ? fLibrary->LengthOf(path) : std::nullopt;
  };
  return options;
}

TShowControlRoom::~TShowControlRoom() { Shutdown(); }

std::pair<std::string, std::string> TShowControlRoom::Serve(const TControlServiceOptions& options) {
  const auto [address, port] = ParseListenAddress(options.Listen);
  const TControlPassword password = options.PasswordHash.empty()
                                        ? FindControlPassword({options.PasswordFile, ConfigurationFolder()})
                                        : TControlPassword{options.PasswordHash, {}};
  if (!options.ShowFolder.empty()) Controller.SetShowFolder(options.ShowFolder);
  if (!showFolder().empty()) library();
  service::TServiceOptions serviceOptions;
  serviceOptions.Address = address;
  serviceOptions.Port = port;
  serviceOptions.PasswordHash = password.Hash;
  serviceOptions.WebFolder = options.WebFolder;
  serviceOptions.Certificate = options.Certificate;
  service::TServiceParts parts;
  parts.Bus = &Bus;
  parts.Status = &Status;
  parts.Shows = [this] { return fLibrary ? fLibrary->List() : nlohmann::json::array(); };
  parts.Preview = [this] { return Preview.Png(); };
  if (fSchedule) parts.Routes = scheduleRoutes();
  fEngine.AddSink(Preview);
  fService = std::make_unique<service::TControlService>(std::move(parts), serviceOptions);
  return {fService->Url(), password.NewPasswordFile};
}

control::TShowLibrary& TShowControlRoom::library() {
  if (!fLibrary) fLibrary = std::make_unique<control::TShowLibrary>(showFolder());
  return *fLibrary;
}

void TShowControlRoom::RunSchedule(schedule::TScheduleRunnerOptions options) {
  if (showFolder().empty()) throw std::runtime_error("the schedule needs a show folder to play shows from");
  fLengths = std::make_unique<schedule::TLibraryLengths>(library(), showFolder());
  fSchedule = std::make_unique<schedule::TScheduleRunner>(Bus, Controller, Status, *fLengths, std::move(options));
  for (const schedule::TScheduleEntry& entry : fSchedule->Schedule().Entries) {
    if (!entry.IsCommand()) fLengths->EntrySeconds(entry.Play);
  }
  library().Settle();
}

void TShowControlRoom::Poll() {
  Controller.Poll();
  if (fSchedule) fSchedule->Poll();
}

void TShowControlRoom::Shutdown() {
  if (fShutDown) return;
  fShutDown = true;
  fService.reset();
  fSchedule.reset();
  fLengths.reset();
  fLibrary.reset();
  fEngine.RemoveSink(Preview);
  Controller.Shutdown();
}

}  // namespace lumora

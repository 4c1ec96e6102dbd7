#include "sync/osc_control.h"

#include <stdexcept>

namespace lumora::sync {

namespace {

constexpr int kWaitMs = 100;
constexpr std::size_t kMaxToldRefused = 64;
constexpr std::chrono::seconds kFaultQuiet{1};

TArgumentKind kindOf(const control::TArgumentSpec& spec) {
  switch (spec.Type) {
    case control::TArgumentType::Integer:
      return spec.Name == "percent" || spec.Name == "level" ? TArgumentKind::Percent : TArgumentKind::Integer;
    case control::TArgumentType::Number: return TArgumentKind::Number;
    case control::TArgumentType::Boolean: return TArgumentKind::Boolean;
    case control::TArgumentType::String:
    case control::TArgumentType::Choice: return TArgumentKind::Text;
    case control::TArgumentType::Array:
    case control::TArgumentType::Object: return TArgumentKind::Json;
  }
  return TArgumentKind::Text;
}

}  // namespace

TCommandList OscCommandTable(const std::vector<control::TCommandSpec>& specs) {
  std::vector<TCommandSpec> commands;
  for (const control::TCommandSpec& spec : specs) {
    TCommandSpec command{spec.Name, {}};
    for (const control::TArgumentSpec& a : spec.Arguments) command.Arguments.push_back({a.Name, kindOf(a), a.Min, a.Max});
    commands.push_back(std::move(command));
  }
  return TCommandList(std::move(commands));
}

TOscControl::TOscControl(const TSyncSetup& setup, control::TCommandBus& bus, control::TStatusBoard& board,
                         TTimecodeTaker timecode, TRealClock clock)
    : fSetup(setup), fBus(bus), fBoard(board), fTimecode(std::move(timecode)), fClock(std::move(clock)),
      fTable(OscCommandTable(bus.Specs())), fServer(fTable) {
  const output::TEndpoint at = setup.Osc.value_or(output::TEndpoint{output::kLoopbackAddress, kDefaultOscPort});
  if (const std::string error = fServer.Open(at.Address, at.Port); !error.empty()) {
    throw std::runtime_error("OSC: " + error);
  }
  fReader = std::jthread([this](std::stop_token stop) { read(stop); });
}

TOscControl::~TOscControl() {
  fReader.request_stop();
  fReader.join();
}

void TOscControl::read(std::stop_token stop) {
  while (!stop.stop_requested()) {
    for (const TOscServer::TInput& input : fServer.Receive(kWaitMs)) take(input);
  }
}

void TOscControl::take(const TOscServer::TInput& input) {
  const std::string from = output::FormatIpv4(input.From.Address);
  if (!OscAllowed(fSetup, input.From.Address)) {
    ++fRefused;
    if (fToldRefused.size() < kMaxToldRefused && fToldRefused.insert(input.From.Address).second) {
      fBoard.Tell("message", "OSC from " + from + " refused: --osc-allow does not name it");
    }
    return;
  }
  if (const auto* command = std::get_if<TOscCommand>(&input.Input)) {
    ++fCommands;
    const control::TCommandResult result =
        fBus.Post({command->Name, command->Args, control::TCommandSource::Osc});
    if (!result.Done) {
      fault("OSC " + command->Name + " from " + from + ": " + (result.Argument.empty() ? "" : result.Argument + " ") +
            result.Error);
    }
  } else if (const auto* timecode = std::get_if<TOscTimecode>(&input.Input)) {
    if (fTimecode) {
      fTimecode(*timecode, fClock());
    } else {
      fault("OSC timecode from " + from + " is followed only with --timecode-in osc");
    }
  } else if (const auto* error = std::get_if<TOscError>(&input.Input)) {
    fault("OSC from " + from + ": " + error->Message);
  }
}

void TOscControl::fault(const std::string& text) {
  ++fFaults;
  const TSyncTime now = fClock();
  if (fToldFault != TSyncTime{} && now - fToldFault < kFaultQuiet) return;
  fToldFault = now;
  fBoard.Tell("message", text);
}

}  // namespace lumora::sync

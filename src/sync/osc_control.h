// OSC on a running player: the command bus's commands by OSC address, read
// on a thread of its own and posted to the bus; OSC timecode handed to the
// follower. OSC carries no password, so what comes from another machine is
// taken only from the addresses --osc-allow names: this machine alone by
// default. Refusals and faults are counted for the status and told once a
// second at most, so that a flood cannot fill the messages.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "control/command_bus.h"
#include "control/command_spec.h"
#include "control/status.h"
#include "sync/command_table.h"
#include "sync/osc_server.h"
#include "sync/player_clock.h"
#include "sync/sync_options.h"

namespace lumora::sync {

// The bus's commands as the OSC mapping reads them. A percentage (an
// argument named "percent" or "level") also takes a fader's 0–1.
TCommandList OscCommandTable(const std::vector<control::TCommandSpec>& specs);

struct TOscCounts {
  std::uint64_t Commands = 0;
  std::uint64_t Refused = 0;
  std::uint64_t Faults = 0;
};

class TOscControl {
 public:
  using TTimecodeTaker = std::function<void(const TOscTimecode& timecode, TSyncTime at)>;

  // Binds setup.Osc and starts reading; raises std::runtime_error when it
  // cannot. Timecode goes to `timecode` (none: it is refused as a fault).
  TOscControl(const TSyncSetup& setup, control::TCommandBus& bus, control::TStatusBoard& board,
              TTimecodeTaker timecode, TRealClock clock);
  ~TOscControl();
  TOscControl(const TOscControl&) = delete;
  TOscControl& operator=(const TOscControl&) = delete;

  std::uint16_t Port() const { return fServer.Port(); }
  TOscCounts Counts() const { return {fCommands.load(), fRefused.load(), fFaults.load()}; }

 private:
  void read(std::stop_token stop);
  void take(const TOscServer::TInput& input);
  void fault(const std::string& text);

  TSyncSetup fSetup;
  control::TCommandBus& fBus;
  control::TStatusBoard& fBoard;
  TTimecodeTaker fTimecode;
  TRealClock fClock;
  TCommandList fTable;
  TOscServer fServer;
  std::atomic<std::uint64_t> fCommands{0};
  std::atomic<std::uint64_t> fRefused{0};
  std::atomic<std::uint64_t> fFaults{0};
  // The reading thread's own: addresses refused already, and when a fault
  // was last told.
  std::set<std::uint32_t> fToldRefused;
  TSyncTime fToldFault{};
  std::jthread fReader;
};

}  // namespace lumora::sync

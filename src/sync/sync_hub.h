// TSyncHub: sync, timecode and OSC on a running player. It paces the
// show's ticks on the player's clock, takes the follower's decisions on the
// engine's thread (through the command bus, as every input does), hands the
// leader's progress, the timecode and the OSC status to the sender thread
// after every frame, and publishes the "sync" section of the status.
// Without any sync asked for it only paces the ticks.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/command_bus.h"
#include "control/show_controller.h"
#include "control/status.h"
#include "show/show_engine.h"
#include "sync/follower_link.h"
#include "sync/leader_link.h"
#include "sync/osc_control.h"
#include "sync/osc_server.h"
#include "sync/player_clock.h"
#include "sync/send_thread.h"
#include "sync/sync_options.h"
#include "sync/sync_status.h"
#include "sync/timecode_in.h"
#include "sync/timecode_out.h"

namespace lumora::sync {

struct TSyncParts {
  TShowEngine& Engine;
  control::TShowController& Controller;
  control::TCommandBus& Bus;
  control::TStatusBoard& Board;
  // Where faults of sending go besides the status's messages (a host's
  // stderr); any thread.
  std::function<void(const std::string&)> Report;
};

class TSyncHub {
 public:
  // A follower's bus gains "sync-offset" {"ms"}, its offset set while it
  // plays; so the bus must not have inputs yet.
  TSyncHub(TSyncSetup setup, TSyncParts parts, TRealClock real = TSyncClock::now);
  ~TSyncHub();
  TSyncHub(const TSyncHub&) = delete;
  TSyncHub& operator=(const TSyncHub&) = delete;

  // Opens what the setup names and starts its threads; raises
  // std::runtime_error naming what cannot be opened. The lines returned
  // say where it listens. A follower holds what plays until it hears its
  // leader.
  std::vector<std::string> Start();

  // The engine's thread. Playback starts: the real milliseconds until the
  // first tick.
  int Begin();
  // In place of the controller's Tick: the show moves on a frame (unless
  // the follower holds it), the follower decides, what leads is sent. The
  // real milliseconds until the next tick.
  int Tick();
  // About every 50 ms: a follower that is not playing decides, changes are
  // sent, the status is published now and then.
  void Poll();
  // The leader's followers stop; threads end; what is queued is sent.
  void Shutdown();

  std::uint16_t OscPort() const { return fOsc ? fOsc->Port() : 0; }

 private:
  // The show folder's names, listed again after a while.
  struct TShowNames {
    std::vector<std::string> Names;
    std::chrono::steady_clock::time_point Listed{};
  };

  control::TCommandResult setOffset(const control::TCommand& command);
  void startFollowing(std::vector<std::string>& lines);
  void startOsc(std::vector<std::string>& lines);
  double follow();
  double apply(const TFollowerDecision& decision);
  void start(const TFollowerDecision& decision);
  void followMusic();
  bool run(const std::string& name, nlohmann::json args = nlohmann::json::object());
  void tell(const std::string& text);
  TFollowerLocal local() const;
  TLeaderProgress leaderProgress();
  void sendProgress();
  void sendTimecode(const TTimecodeProgress& progress);
  void sendFeedback();
  std::optional<std::string> showFor(std::string_view leaderFile);
  void publish();
  std::optional<TOscLink> oscLink() const;

  TSyncSetup fSetup;
  TSyncParts fParts;
  TPlayerClock fClock;
  TRealClock fNow;
  TTickPacer fPacer;
  bool fShutDown = false;
  bool fHold = false;
  double fMusicRate = 1;
  int fPolls = 0;
  bool fLeaderShowing = false;
  std::string fLastCommandFault;
  TShowNames fShows;
  // Asked by the reading threads: the show's tick and fixed hour (-1: none).
  std::atomic<double> fTickSeconds{0.03};
  std::atomic<int> fHourNow{-1};
  std::optional<TTimecodeProgress> fTimecodeSent;
  std::optional<TOscStatus> fFeedbackSent;

  std::unique_ptr<TLeaderLink> fLeader;
  std::unique_ptr<TFollowerLink> fFollower;
  std::unique_ptr<TTimecodeInput> fTimecodeIn;
  std::unique_ptr<TOscControl> fOsc;
  std::vector<std::unique_ptr<ITimecodeOut>> fTimecodeOuts;
  std::unique_ptr<TOscFeedback> fFeedback;
  // The sender thread's own: the last fault of each timecode out and of the
  // feedback, told once.
  std::vector<std::string> fOutFaults;
  std::string fFeedbackFault;
  mutable std::mutex fOutLock;
  // Under fOutLock: what each timecode out sent last.
  std::vector<std::optional<TTimecode>> fOutLast;
  // Declared last: its jobs use the senders above, so it ends first.
  std::unique_ptr<TSendThread> fSender;
};

}  // namespace lumora::sync

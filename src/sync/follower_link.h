// The follower's side on a running player: MultiSync packets heard on a
// thread of its own (each sync answered with a report to the leader), or a
// timecode handed in by its reader, and the control loop's decisions taken
// on the engine's thread. The loop is shared under a lock; every time it
// sees comes from the player's clock.
#pragma once

#include <mutex>
#include <optional>
#include <thread>

#include "sync/follower.h"
#include "sync/follower_report.h"
#include "sync/player_clock.h"
#include "sync/timecode_in.h"
#include "sync/udp_receiver.h"

namespace lumora::sync {

class TFollowerLink {
 public:
  // With listen, binds it and starts hearing MultiSync; raises
  // std::runtime_error when it cannot.
  TFollowerLink(TFollowerSettings settings, std::optional<output::TEndpoint> listen, TShowLookup lookup,
                TRealClock clock);
  ~TFollowerLink();
  TFollowerLink(const TFollowerLink&) = delete;
  TFollowerLink& operator=(const TFollowerLink&) = delete;

  // Any thread.
  void HeardTimecode(const TTimecodeHeard& heard);
  void SetOffsetMs(double offsetMs);
  std::uint16_t Port() const { return fSocket.Port(); }

  // The engine's thread.
  TFollowerDecision Decide(const TFollowerLocal& local);
  TMusicDecision DecideMusic(double localMusicSeconds) const;
  TFollowerStatus Status() const;
  std::optional<TTimecode> LastTimecode() const;

 private:
  void listen(std::stop_token stop);
  void heard(const TMultiSyncMessage& message, const output::TEndpoint& from);

  TRealClock fClock;
  mutable std::mutex fLock;
  // Under fLock.
  TFollower fFollower;
  std::optional<TTimecode> fLastTimecode;
  // What the last decision made of the local show, for the reports.
  TFollowerReport fReport;
  TUdpReceiver fSocket;
  std::jthread fListener;
};

}  // namespace lumora::sync

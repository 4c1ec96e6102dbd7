// The leader's side of MultiSync on a running player: the show's progress,
// handed over after every frame, sent by the sender thread; and the
// followers' reports read back on a thread of their own, for the status.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sync/follower_report.h"
#include "sync/player_clock.h"
#include "sync/send_thread.h"
#include "sync/sync_sender.h"

namespace lumora::sync {

// At most this many followers are remembered; a newcomer past it takes the
// place of the one heard of longest ago.
inline constexpr std::size_t kMaxFollowersSeen = 256;

class TLeaderLink {
 public:
  // Opens the socket and starts reading reports; raises std::runtime_error
  // when the socket cannot be opened. Faults of sending go to `said`, each
  // once until it clears.
  TLeaderLink(const TLeaderTargets& targets, TSendThread& sender, TRealClock clock,
              std::function<void(const std::string&)> said);
  ~TLeaderLink();
  TLeaderLink(const TLeaderLink&) = delete;
  TLeaderLink& operator=(const TLeaderLink&) = delete;

  // The engine's thread, after every frame and poll; nothing is sent for a
  // progress equal to the last.
  void Update(const TLeaderProgress& progress);
  // The leader stalled: a frame sync goes out at once.
  void Resync(const TLeaderProgress& progress);
  // The show is gone: the followers blank their lamps.
  void Blank();
  // The leader ends: its followers stop and blank their lamps, and what is
  // queued is sent.
  void Finish();

  const std::vector<output::TEndpoint>& Destinations() const { return fLeader.Destinations(); }
  std::uint64_t PacketsSent() const { return fLeader.PacketsSent(); }
  // The listed followers in their order, then any other that reported
  // (one reached by the group or broadcast address).
  std::vector<TFollowerSeen> Followers() const;

 private:
  void listen(std::stop_token stop);
  void note(const std::string& error);

  TSyncLeader fLeader;
  TSendThread& fSender;
  TRealClock fClock;
  std::function<void(const std::string&)> fSaid;
  TLeaderProgress fLast;
  // The sender thread's last fault, told once.
  std::string fLastError;
  mutable std::mutex fLock;
  // Under fLock: each follower's report and when it came.
  std::map<std::pair<std::uint32_t, std::uint16_t>, std::pair<TFollowerReport, TSyncTime>> fSeen;
  std::jthread fListener;
};

}  // namespace lumora::sync

// The senders a leader runs each tick: MultiSync packets for the show's
// progress to every destination, from a socket its followers' reports come
// back to, and Art-Net timecode whenever the timecode's frame changes,
// through the light outputs' UDP socket.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "output/network_address.h"
#include "output/udp_socket.h"
#include "sync/leader_schedule.h"
#include "sync/timecode.h"
#include "sync/udp_receiver.h"

namespace lumora::sync {

class TSyncLeader {
 public:
  explicit TSyncLeader(TLeaderTargets targets) : fDestinations(LeaderDestinations(targets)) {}

  // Binds the socket packets leave from (every local address, a free
  // port), so that replies reach it; Update opens it when not done before.
  // Empty on success, else why not.
  std::string Open();
  // Where the followers' reports arrive, read on a thread of its own.
  TUdpReceiver& Socket() { return fSocket; }

  // Sends what the step from the last progress to this one calls for.
  // Empty on success, else the first reason a packet could not go (the
  // others are still sent).
  std::string Update(const TLeaderProgress& progress);
  // A frame sync now, off the schedule (and a media sync while music
  // plays), for followers to hear at once where a leader that stalled is.
  std::string Resync(const TLeaderProgress& progress);
  // The followers blank their lamps.
  std::string Blank();

  const std::vector<output::TEndpoint>& Destinations() const { return fDestinations; }
  // Packets sent so far, for the status.
  // Packets sent so far, for the status; any thread may ask.
  std::uint64_t PacketsSent() const { return fSent.load(); }

 private:
  std::string send(const std::vector<std::uint8_t>& packet);

  std::vector<output::TEndpoint> fDestinations;
  TUdpReceiver fSocket;
  TLeaderProgress fLast;
  std::atomic<std::uint64_t> fSent{0};
};

class TArtTimecodeSender {
 public:
  TArtTimecodeSender(output::TEndpoint to, TTimecodeRate rate, std::optional<int> fixedHour = std::nullopt)
      : fTo(to), fRate(rate), fFixedHour(fixedHour) {}

  // The fixed hour of the show or list entry now playing.
  void SetFixedHour(std::optional<int> hour) { fFixedHour = hour; }
  // Sends the timecode of `seconds` into the show when its frame differs
  // from the last sent.
  std::string Update(double seconds);
  const std::optional<TTimecode>& LastSent() const { return fLast; }

 private:
  output::TEndpoint fTo;
  TTimecodeRate fRate;
  std::optional<int> fFixedHour;
  output::TUdpSocket fSocket;
  output::TSendScratch fScratch;
  std::optional<TTimecode> fLast;
};

}  // namespace lumora::sync

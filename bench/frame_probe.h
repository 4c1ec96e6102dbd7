// Players measured against each other through their lamps: a show whose
// one cell tells the frame shown (red + 250 × green, blue a mark of the
// show), a patch that sends it by sACN to a port of 127.0.0.1, the frame
// read back from a packet, and each follower frame's offset from the
// leader's, by the times their lamps showed the same frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sync/udp_receiver.h"

namespace lumora::bench {

inline constexpr std::int32_t kFramesCounted = 250 * 250;
// The tick of a grid movie at the player's first speed.
inline constexpr double kFrameMs = 30;

// A .tol of `frames` frames (at most kFramesCounted) marked `mark` (< 255).
std::vector<std::uint8_t> FrameShowTol(std::int32_t frames, std::uint8_t mark);
// A patch sending the cell's three channels on universe 1 to 127.0.0.1:port.
std::string FrameShowPatch(std::uint16_t port);

struct TShownFrame {
  std::int32_t Frame = 0;
  std::uint8_t Mark = 0;
  // The three channels as sent.
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
};

// The frame an sACN data packet of universe 1 shows; none for any other
// packet (sync, another universe, too short).
std::optional<TShownFrame> ReadShownFrame(std::span<const std::uint8_t> packet);


struct TShown {
  std::int32_t Frame = 0;
  // Milliseconds on the measuring clock.
  double Ms = 0;
};

// The lamps of several players, each on its own port of 127.0.0.1, read
// on a thread of its own: every frame shown, with the time it came.
class TLampWatch {
 public:
  explicit TLampWatch(std::size_t players);
  ~TLampWatch();
  TLampWatch(const TLampWatch&) = delete;
  TLampWatch& operator=(const TLampWatch&) = delete;

  std::uint16_t Port(std::size_t player) const { return fPlayers[player]->Socket.Port(); }
  // Milliseconds since the watch began, the clock of every TShown.
  double NowMs() const;
  std::vector<TShown> Shown(std::size_t player) const;
  std::optional<TShownFrame> Last(std::size_t player) const;

 private:
  struct TPlayer {
    sync::TUdpReceiver Socket;
    mutable std::mutex Lock;
    std::vector<TShown> Shown;
    std::optional<TShownFrame> Last;
  };
  void read(std::stop_token stop);

  std::chrono::steady_clock::time_point fStart = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<TPlayer>> fPlayers;
  std::jthread fReader;
};

// For each follower frame, its time minus the time the leader showed the
// same frame (the nearest within a few seconds), in frames: positive when
// the follower is late. Frames the leader never showed near then are left
// out. Both lists in the order they came.
std::vector<std::pair<TShown, double>> FollowerOffsets(const std::vector<TShown>& leader,
                                                       const std::vector<TShown>& follower);

struct TOffsetSummary {
  std::size_t Count = 0;
  // Signed: positive when the follower is late on the whole.
  double Mean = 0;
  // Of the offsets' sizes, in frames.
  double P50 = 0;
  double P99 = 0;
  double Max = 0;
  // The share within ±1 frame.
  double WithinOne = 0;
};
TOffsetSummary Summarize(const std::vector<double>& offsets);

// The first follower frame from `fromMs` on after which every offset stays
// within ±1 frame for `holdMs`; none if it never settles.
std::optional<double> BackInStepAt(const std::vector<std::pair<TShown, double>>& offsets, double fromMs,
                                   double holdMs);

}  // namespace lumora::bench

// The follower's control loop: it hears where a leader is (MultiSync packets
// or a timecode), compares that with where the local show is, and decides
// what the player should do — follow with its tick interval scaled by f,
// seek, hold, start a show at a frame, or stop. Time comes from the caller,
// so the loop runs the same under a test's clock as under the real one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sync/multisync_packet.h"

namespace lumora::sync {

using TSyncClock = std::chrono::steady_clock;
using TSyncTime = TSyncClock::time_point;

struct TFollowerSettings {
  // Added to the leader's position, to make up for this player's output
  // latency: 40 plays 40 ms ahead of the leader.
  double OffsetMs = 0;
  // The tick interval may be scaled by 1 ± MaxSlew to converge; half of it
  // may go to making up for a clock that runs apart.
  double MaxSlew = 0.10;
  // Errors within this many frames count as in step.
  double ToleranceFrames = 1;
  // Ahead by more than this, the show holds its frame until the leader
  // catches up.
  double HoldAheadFrames = 2;
  // Off by this many seconds or more (behind, or ahead), the show seeks.
  double JumpSeconds = 0.5;
  // A leader unheard for this long is lost: the show plays on by itself.
  double LeaderTimeoutSeconds = 5;
  // A timecode that stops arriving for this long stands still.
  double TimecodeTimeoutSeconds = 0.5;
};

// The local show as the player reports it.
struct TFollowerLocal {
  bool Playing = false;
  // The show's file name as the show lookup gives it ("show.ctl").
  std::string Show;
  // Frames into the show, with the fraction of the current tick.
  double Position = 0;
  // The show's tick at speed 1, in seconds.
  double FrameSeconds = 0.03;
  // The frames a looping show goes round, when known: a leader past the
  // last has wrapped to the first, as the show does.
  std::int64_t LoopFirst = 0;
  std::int64_t LoopLast = 0;
};

// Stop: the leader stopped playing, and the show holds its frame; Blank:
// the leader's lamps went dark, and the show stops.
enum class TFollowerAction { Idle, Follow, Seek, Hold, Start, Stop, Blank };

struct TFollowerDecision {
  TFollowerAction Action = TFollowerAction::Idle;
  // Follow: the tick interval is multiplied by this (below 1 catches up).
  double TickFactor = 1;
  // Seek and Start: the frame to go to.
  std::int64_t Frame = 0;
  // Start: the show to play; empty for the show already loaded (a timecode
  // names none).
  std::string Show;
};

// The music, nudged separately: its rate scaled, or a seek.
struct TMusicDecision {
  double Rate = 1;
  std::optional<double> SeekSeconds;
};

struct TFollowerStatus {
  bool LeaderHeard = false;
  std::string LeaderFile;
  double HeardSecondsAgo = 0;
  // Leader minus local (plus the offset), in frames, at the last decision.
  double ErrorFrames = 0;
  bool InStep = false;
  std::string Warning;
};

// The show in the show folder for a leader's file name, or nullopt.
using TShowLookup = std::function<std::optional<std::string>(std::string_view leaderFile)>;

class TFollower {
 public:
  TFollower(TFollowerSettings settings, TShowLookup lookup);

  // A MultiSync packet received at `at`.
  void Heard(const TSyncPacket& packet, TSyncTime at);
  // A timecode position (seconds into the show) received at `at`.
  void HeardTimecode(double seconds, TSyncTime at);
  // The timecode source stopped (MIDI stop): the show stands still.
  void TimecodeStopped();
  // A MultiSync blank packet: the leader's lamps went dark.
  void HeardBlank(TSyncTime at);

  TFollowerDecision Decide(const TFollowerLocal& local, TSyncTime now);
  TMusicDecision DecideMusic(double localMusicSeconds, TSyncTime now) const;

  const TFollowerStatus& Status() const { return fStatus; }
  const TFollowerSettings& Settings() const { return fSettings; }
  void SetOffsetMs(double offsetMs) { fSettings.OffsetMs = offsetMs; }

 private:
  // The leader's last known position: a frame (MultiSync) or seconds (a
  // timecode), heard at a time.
  struct TLeaderPosition {
    bool Playing = false;
    bool ByTimecode = false;
    std::string File;
    double Frame = 0;
    double Seconds = 0;
    TSyncTime At{};
  };

  double leaderFrameAt(const TFollowerLocal& local, TSyncTime now) const;
  TFollowerDecision decidePlaying(const TFollowerLocal& local, TSyncTime now);
  TFollowerDecision correction(const TFollowerLocal& local, double target);

  TFollowerSettings fSettings;
  TShowLookup fLookup;
  TLeaderPosition fLeader;
  // When anything was last heard of the leader.
  TSyncTime fHeardAt{};
  std::optional<TLeaderPosition> fMusic;
  bool fStopPending = false;
  bool fBlankPending = false;
  // How far this clock runs from the leader's, as the loop has learned it.
  double fTrim = 0;
  TFollowerStatus fStatus;
};

// The show a leader's file stands for: the name's stem (after any folder)
// with .ctl, .lst, .tol or .cot, in that order, among the show folder's
// names. Only the last part of a path counts, so nothing outside the folder
// is ever named; a name with control characters finds nothing.
std::optional<std::string> MatchShowByStem(std::string_view leaderFile, const std::vector<std::string>& showNames);

}  // namespace lumora::sync

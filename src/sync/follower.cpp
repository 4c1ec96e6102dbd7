#include "sync/follower.h"

#include <algorithm>
#include <cmath>

namespace lumora::sync {

namespace {

// A frame of error asks for the full slew: the loop settles within a
// fraction of a frame of a leader whose clock runs a few percent apart.
constexpr double kSlewPerFrame = 0.10;
// The slew alone leaves the follower a fraction of a frame off a leader
// whose clock runs apart (the error that asks for the slew making up the
// difference). A trim learns that difference instead: it grows by this
// much a decision for each frame of error, up to half the slew allowed.
constexpr double kTrimPerFrame = 0.002;
// The music's rate moves at most this far from 1, where a nudge stays
// inaudible, and only when it is off by more than kMusicDeadband seconds.
constexpr double kMaxMusicNudge = 0.03;
constexpr double kMusicNudgePerSecond = 0.3;
constexpr double kMusicDeadband = 0.02;

double secondsBetween(TSyncTime from, TSyncTime to) { return std::chrono::duration<double>(to - from).count(); }

std::int64_t frameOf(double position) { return std::max<std::int64_t>(0, std::llround(position)); }

TFollowerDecision decision(TFollowerAction action, double tickFactor = 1, std::int64_t frame = 0, std::string show = {}) {
  return {action, tickFactor, frame, std::move(show)};
}

double loopLength(const TFollowerLocal& local) {
  return local.LoopLast > local.LoopFirst ? static_cast<double>(local.LoopLast - local.LoopFirst + 1) : 0;
}

double wrapped(double frame, const TFollowerLocal& local) {
  const double loop = loopLength(local);
  if (loop <= 0 || frame < static_cast<double>(local.LoopLast + 1)) return frame;
  const double first = static_cast<double>(local.LoopFirst);
  return first + std::fmod(frame - first, loop);
}

// A looping show's error the short way round: its last frame is one
// before its first.
double aroundTheLoop(double error, const TFollowerLocal& local) {
  const double loop = loopLength(local);
  if (loop <= 0) return error;
  if (error > loop / 2) return error - loop;
  if (error < -loop / 2) return error + loop;
  return error;
}

bool hasControlCharacter(std::string_view name) {
  return std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

TFollower::TFollower(TFollowerSettings settings, TShowLookup lookup)
    : fSettings(settings), fLookup(std::move(lookup)) {}

void TFollower::Heard(const TSyncPacket& packet, TSyncTime at) {
  fHeardAt = at;
  if (packet.Action == TSyncAction::Open) return;
  if (packet.FileType == TSyncFileType::Media) {
    if (packet.Action == TSyncAction::Stop) fMusic.reset();
    else fMusic = TLeaderPosition{true, true, packet.FileName, 0, std::max(0.0, double{packet.Seconds}), at};
    return;
  }
  if (packet.Action == TSyncAction::Stop) {
    fStopPending = fLeader.Playing;
    fLeader.Playing = false;
    fStatus.LeaderHeard = true;
    return;
  }
  fLeader = {true, false, packet.FileName, static_cast<double>(packet.Frame), 0, at};
  fStopPending = false;
  fBlankPending = false;
  fStatus.LeaderHeard = true;
  fStatus.LeaderFile = packet.FileName;
}

void TFollower::HeardTimecode(double seconds, TSyncTime at) {
  fHeardAt = at;
  fLeader = {true, true, {}, 0, std::max(0.0, seconds), at};
  fStopPending = false;
  fStatus.LeaderHeard = true;
}

void TFollower::TimecodeStopped() {
  if (fLeader.ByTimecode) fLeader.At = {};
}

void TFollower::HeardBlank(TSyncTime at) {
  fHeardAt = at;
  fBlankPending = true;
  fStopPending = false;
  fLeader.Playing = false;
  fStatus.LeaderHeard = true;
}

// The leader runs on by its own clock since it was heard: this clock's
// seconds, scaled by what the trim has learned of the difference.
double TFollower::leaderFrameAt(const TFollowerLocal& local, TSyncTime now) const {
  const double elapsed = std::max(0.0, secondsBetween(fLeader.At, now)) / (1 - fTrim);
  const double offset = fSettings.OffsetMs / 1000.0;
  if (fLeader.ByTimecode) return (fLeader.Seconds + elapsed + offset) / local.FrameSeconds;
  return fLeader.Frame + (elapsed + offset) / local.FrameSeconds;
}

TFollowerDecision TFollower::Decide(const TFollowerLocal& local, TSyncTime now) {
  fStatus.HeardSecondsAgo = fStatus.LeaderHeard ? secondsBetween(fHeardAt, now) : 0;
  if (fBlankPending) {
    fBlankPending = false;
    fStatus.InStep = false;
    return decision(TFollowerAction::Blank);
  }
  if (fStopPending) {
    fStopPending = false;
    fStatus.InStep = false;
    if (local.Playing) return decision(TFollowerAction::Stop);
  }
  if (!fLeader.Playing || local.FrameSeconds <= 0) return decision(TFollowerAction::Idle);
  return decidePlaying(local, now);
}

TFollowerDecision TFollower::decidePlaying(const TFollowerLocal& local, TSyncTime now) {
  const double silence = secondsBetween(fLeader.At, now);
  if (fLeader.ByTimecode && silence > fSettings.TimecodeTimeoutSeconds) {
    return decision(local.Playing ? TFollowerAction::Hold : TFollowerAction::Idle);
  }
  if (!fLeader.ByTimecode && silence > fSettings.LeaderTimeoutSeconds) {
    fStatus.Warning = "the leader has not been heard for " + std::to_string(static_cast<int>(silence)) + " s";
    fStatus.InStep = false;
    return decision(local.Playing ? TFollowerAction::Follow : TFollowerAction::Idle);
  }
  std::string show = local.Show;
  if (!fLeader.ByTimecode) {
    const auto found = fLookup ? fLookup(fLeader.File) : std::nullopt;
    if (!found) {
      fStatus.Warning = "no show in the show folder matches the leader's \"" + fLeader.File + "\"";
      return decision(TFollowerAction::Idle);
    }
    show = *found;
  }
  fStatus.Warning.clear();
  const double target = wrapped(leaderFrameAt(local, now), local);
  if (!local.Playing || (!fLeader.ByTimecode && local.Show != show)) {
    return decision(TFollowerAction::Start, 1, frameOf(target), fLeader.ByTimecode ? std::string() : show);
  }
  return correction(local, target);
}

TFollowerDecision TFollower::correction(const TFollowerLocal& local, double target) {
  const double error = aroundTheLoop(target - local.Position, local);
  fStatus.ErrorFrames = error;
  fStatus.InStep = std::abs(error) <= fSettings.ToleranceFrames;
  if (std::abs(error) * local.FrameSeconds >= fSettings.JumpSeconds) return decision(TFollowerAction::Seek, 1, frameOf(target));
  if (-error > fSettings.HoldAheadFrames) return decision(TFollowerAction::Hold);
  const double slew = std::clamp(kSlewPerFrame * error + fTrim, -fSettings.MaxSlew, fSettings.MaxSlew);
  fTrim = std::clamp(fTrim + kTrimPerFrame * error, -fSettings.MaxSlew / 2, fSettings.MaxSlew / 2);
  return decision(TFollowerAction::Follow, 1 - slew);
}

TMusicDecision TFollower::DecideMusic(double localMusicSeconds, TSyncTime now) const {
  if (!fMusic) return {};
  const double target = fMusic->Seconds + std::max(0.0, secondsBetween(fMusic->At, now)) + fSettings.OffsetMs / 1000.0;
  const double error = target - localMusicSeconds;
  if (std::abs(error) >= fSettings.JumpSeconds) return {1, std::max(0.0, target)};
  if (std::abs(error) <= kMusicDeadband) return {};
  return {1 + std::clamp(kMusicNudgePerSecond * error, -kMaxMusicNudge, kMaxMusicNudge), std::nullopt};
}

std::optional<std::string> MatchShowByStem(std::string_view leaderFile, const std::vector<std::string>& showNames) {
  const std::size_t slash = leaderFile.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? leaderFile : leaderFile.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  const std::string_view stem = name.substr(0, dot);
  if (stem.empty() || stem == "." || stem == ".." || hasControlCharacter(leaderFile)) return std::nullopt;
  for (const char* extension : {".ctl", ".lst", ".tol", ".cot"}) {
    const std::string wanted = std::string(stem) + extension;
    if (std::find(showNames.begin(), showNames.end(), wanted) != showNames.end()) return wanted;
  }
  return std::nullopt;
}

}  // namespace lumora::sync

#include "sync/sync_hub.h"

#include <filesystem>

namespace lumora::sync {

namespace {

constexpr std::size_t kMaxShowNames = 4096;
constexpr auto kShowListAge = std::chrono::seconds(2);
// The status is published every this many polls (about twice a second).
constexpr int kPublishEvery = 10;
constexpr double kMusicRateStep = 0.001;

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::vector<std::string> listShows(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (names.size() >= kMaxShowNames) break;
    if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
  }
  return names;
}

std::string rangeText(const TAddressRange& range) {
  return output::FormatIpv4(range.Address) + (range.Bits == 32 ? "" : "/" + std::to_string(range.Bits));
}

}  // namespace

TSyncHub::TSyncHub(TSyncSetup setup, TSyncParts parts, TRealClock real)
    : fSetup(std::move(setup)), fParts(std::move(parts)), fClock(fSetup.ClockRate, real),
      fNow([this] { return fClock.Now(); }), fPacer(std::move(real)) {
  if (!fSetup.Follow && !fSetup.TimecodeIn) return;
  fParts.Bus.Register(control::CommandSpec("sync-offset", "Sets how many milliseconds this follower plays ahead of its leader.",
                                           {control::NumberArgument("ms", "-10000 to 10000; negative: behind", -kMaxOffsetMs,
                                                                    kMaxOffsetMs, true)}),
                      [this](const control::TCommand& command) { return setOffset(command); });
}

control::TCommandResult TSyncHub::setOffset(const control::TCommand& command) {
  if (!fFollower) return control::TCommandResult::Fail("", "the follower has not started");
  fSetup.OffsetMs = control::NumberOf(command.Args, "ms", 0);
  fFollower->SetOffsetMs(fSetup.OffsetMs);
  publish();
  return control::TCommandResult::Ok();
}

TSyncHub::~TSyncHub() { Shutdown(); }

std::vector<std::string> TSyncHub::Start() {
  std::vector<std::string> lines;
  fSender = std::make_unique<TSendThread>();
  if (fSetup.Lead) {
    fLeader = std::make_unique<TLeaderLink>(*fSetup.Lead, *fSender, fNow, [this](const std::string& t) { tell(t); });
  }
  startFollowing(lines);
  for (const TTimecodeOutTarget& target : fSetup.TimecodeOut) {
    fTimecodeOuts.push_back(OpenTimecodeOut(target));
    lines.push_back("timecode out: " + TimecodeOutName(target));
  }
  fOutFaults.resize(fTimecodeOuts.size());
  fOutLast.resize(fTimecodeOuts.size());
  startOsc(lines);
  if (fFollower && fParts.Engine.Running()) run("pause");
  publish();
  return lines;
}

void TSyncHub::startFollowing(std::vector<std::string>& lines) {
  if (!fSetup.Follow && !fSetup.TimecodeIn) return;
  TFollowerSettings settings;
  settings.OffsetMs = fSetup.OffsetMs;
  fFollower = std::make_unique<TFollowerLink>(settings, fSetup.Follow,
                                              [this](std::string_view name) { return showFor(name); }, fNow);
  if (fSetup.Follow) {
    lines.push_back("following MultiSync at " + output::FormatEndpoint({fSetup.Follow->Address, fFollower->Port()}));
  }
  if (!fSetup.TimecodeIn || fSetup.TimecodeIn->Kind == TTimecodeInKind::Osc) return;
  fTimecodeIn = std::make_unique<TTimecodeInput>(
      *fSetup.TimecodeIn, [this](const TTimecodeHeard& heard) { fFollower->HeardTimecode(heard); },
      [this]() -> std::optional<int> {
        const int hour = fHourNow.load();
        return hour < 0 ? std::nullopt : std::optional(hour);
      },
      fNow);
  // A port of 0 was a free one: the one taken is told.
  if (fSetup.TimecodeIn->Kind == TTimecodeInKind::ArtNet) fSetup.TimecodeIn->Listen.Port = fTimecodeIn->Port();
  lines.push_back("following timecode: " + TimecodeInName(*fSetup.TimecodeIn));
}

// OSC timecode counts in seconds, or in frames of the show's own tick.
void TSyncHub::startOsc(std::vector<std::string>& lines) {
  if (fSetup.OscFeedback) fFeedback = std::make_unique<TOscFeedback>(*fSetup.OscFeedback);
  if (!fSetup.Osc) return;
  TOscControl::TTimecodeTaker timecode;
  if (fSetup.TimecodeIn && fSetup.TimecodeIn->Kind == TTimecodeInKind::Osc) {
    timecode = [this, rate = fSetup.TimecodeIn->Rate](const TOscTimecode& heard, TSyncTime at) {
      const double seconds = heard.Seconds ? *heard.Seconds : static_cast<double>(heard.Frame.value_or(0)) * fTickSeconds.load();
      fFollower->HeardTimecode({TimecodeAt(seconds, rate), seconds, at, false});
    };
  }
  fOsc = std::make_unique<TOscControl>(fSetup, fParts.Bus, fParts.Board, std::move(timecode), fNow);
  lines.push_back("OSC at " + output::FormatEndpoint({fSetup.Osc->Address, fOsc->Port()}));
}

int TSyncHub::Begin() {
  fPacer.Restart();
  return fPacer.Next(fClock.RealMs(fParts.Engine.TickInterval()));
}

int TSyncHub::Tick() {
  if (!fHold) fParts.Controller.Tick();
  fHold = false;
  const double factor = follow();
  sendProgress();
  const int wait = fPacer.Next(fClock.RealMs(fParts.Engine.TickInterval() * factor));
  // Followers extrapolate the leader from its last sync: after a stall they
  // hear at once that it fell behind.
  if (fPacer.Stalled() && fLeader) fLeader->Resync(leaderProgress());
  return wait;
}

void TSyncHub::Poll() {
  if (fFollower && !fParts.Engine.Running()) apply(fFollower->Decide(local()));
  sendProgress();
  if (++fPolls % kPublishEvery == 0) publish();
}

void TSyncHub::Shutdown() {
  if (fShutDown) return;
  fShutDown = true;
  fOsc.reset();
  fTimecodeIn.reset();
  fFollower.reset();
  if (fLeader) fLeader->Finish();
  if (fSender) sendTimecode({});
  fSender.reset();
  fLeader.reset();
  fTimecodeOuts.clear();
  fFeedback.reset();
}

TFollowerLocal TSyncHub::local() const {
  const TShowEngine& engine = fParts.Engine;
  // Positions count from 1 and frames from 0; a loop shows the second
  // position to the last, the first only as the show opens.
  const TScrollBarState& frames = engine.Frames();
  return {engine.Showing() && engine.Running(), fileName(engine.ShowFile()), static_cast<double>(frames.Position - 1),
          engine.TickInterval() / 1000.0, 1, engine.Showing() ? frames.Max - 1 : 0};
}

double TSyncHub::follow() {
  if (!fFollower) return 1;
  const double factor = apply(fFollower->Decide(local()));
  followMusic();
  return factor;
}

// The decision reaches the show through the bus, as every input's does.
double TSyncHub::apply(const TFollowerDecision& decision) {
  switch (decision.Action) {
    case TFollowerAction::Follow: return decision.TickFactor;
    case TFollowerAction::Hold: fHold = true; break;
    case TFollowerAction::Seek: run("seek", {{"frame", decision.Frame + 1}}); break;
    case TFollowerAction::Start: start(decision); break;
    case TFollowerAction::Stop:
      if (fParts.Engine.Running()) run("pause");
      break;
    case TFollowerAction::Blank:
      if (fParts.Engine.Showing()) run("stop");
      break;
    case TFollowerAction::Idle: break;
  }
  return 1;
}

// The leader's show from the show folder, or the show loaded for a
// timecode, at the leader's frame.
void TSyncHub::start(const TFollowerDecision& decision) {
  const TShowEngine& engine = fParts.Engine;
  const bool loaded = engine.Showing() && (decision.Show.empty() || fileName(engine.ShowFile()) == decision.Show);
  if (!loaded) {
    if (decision.Show.empty()) {
      tell("no show is loaded to follow the timecode with");
      return;
    }
    if (!run("play", {{"file", decision.Show}})) return;
  }
  if (!engine.Running()) run("resume");
  run("seek", {{"frame", decision.Frame + 1}});
}

void TSyncHub::followMusic() {
  TShowEngine& engine = fParts.Engine;
  if (engine.MusicPath().empty() || !engine.Running()) return;
  const TMusicDecision music = fFollower->DecideMusic(static_cast<double>(engine.Music().Position()) / 1000.0);
  if (music.SeekSeconds) {
    engine.Music().Seek(static_cast<std::int64_t>(*music.SeekSeconds * 1000));
    return;
  }
  if (std::abs(music.Rate - fMusicRate) < kMusicRateStep) return;
  fMusicRate = music.Rate;
  engine.Music().SetRate(music.Rate);
}

bool TSyncHub::run(const std::string& name, nlohmann::json args) {
  const control::TCommandResult result = fParts.Bus.Run({name, std::move(args), control::TCommandSource::Sync});
  if (result.Done) {
    fLastCommandFault.clear();
    return true;
  }
  const std::string fault = "sync could not " + name + ": " + result.Error;
  if (fault != fLastCommandFault) tell(fault);
  fLastCommandFault = fault;
  return false;
}

void TSyncHub::tell(const std::string& text) {
  fParts.Board.Tell("message", text);
  if (fParts.Report) fParts.Report(text);
}

std::optional<std::string> TSyncHub::showFor(std::string_view leaderFile) {
  const auto now = std::chrono::steady_clock::now();
  if (fShows.Listed == std::chrono::steady_clock::time_point{} || now - fShows.Listed > kShowListAge) {
    fShows.Names = listShows(fParts.Controller.Options().ShowFolder);
    fShows.Listed = now;
  }
  return MatchShowByStem(leaderFile, fShows.Names);
}

TLeaderProgress TSyncHub::leaderProgress() {
  TShowEngine& engine = fParts.Engine;
  TLeaderProgress progress;
  progress.Playing = engine.Showing() && engine.Running();
  if (!progress.Playing) return progress;
  progress.File = fileName(engine.ShowFile());
  progress.Frame = static_cast<std::uint32_t>(std::max(0, engine.Frames().Position - 1));
  progress.Seconds = progress.Frame * engine.TickInterval() / 1000.0;
  progress.MusicPlaying = !engine.MusicPath().empty();
  if (progress.MusicPlaying) {
    progress.MusicFile = fileName(engine.MusicPath());
    progress.MusicSeconds = static_cast<double>(engine.Music().Position()) / 1000.0;
  }
  return progress;
}

// What leads goes out when it changed: MultiSync, the timecode, the OSC
// status; the lamps of followers blank when the show is gone.
void TSyncHub::sendProgress() {
  const TShowEngine& engine = fParts.Engine;
  const std::optional<std::size_t> entry = engine.PlayListActive() ? engine.CurrentEntry() : std::nullopt;
  const std::optional<int> hour = fSetup.Hours.For(fileName(engine.ShowFile()), entry);
  fHourNow = hour.value_or(-1);
  fTickSeconds = engine.TickInterval() / 1000.0;
  if (fLeader) {
    fLeader->Update(leaderProgress());
    if (fLeaderShowing && !engine.Showing()) fLeader->Blank();
    fLeaderShowing = engine.Showing();
  }
  const bool playing = engine.Showing() && engine.Running();
  const double seconds = std::max(0, engine.Frames().Position - 1) * engine.TickInterval() / 1000.0;
  sendTimecode({playing, playing ? seconds : 0, hour});
  sendFeedback();
}

void TSyncHub::sendTimecode(const TTimecodeProgress& progress) {
  if (fTimecodeOuts.empty() || progress == fTimecodeSent) return;
  fTimecodeSent = progress;
  for (std::size_t i = 0; i < fTimecodeOuts.size(); ++i) {
    fSender->Post([this, i, progress] {
      const std::string fault = fTimecodeOuts[i]->Update(progress);
      if (fault != fOutFaults[i] && !fault.empty()) tell("timecode out: " + fault);
      fOutFaults[i] = fault;
      const std::lock_guard lock(fOutLock);
      fOutLast[i] = fTimecodeOuts[i]->LastSent();
    });
  }
}

void TSyncHub::sendFeedback() {
  if (!fFeedback) return;
  const control::TShowStatus& show = fParts.Controller.Status();
  const TOscStatus status{control::PlayStateName(show.State), show.File, fParts.Engine.Showing() ? fParts.Engine.Frames().Position : 0,
                          show.Entry, show.Entries};
  if (status == fFeedbackSent) return;
  fFeedbackSent = status;
  fSender->Post([this, status] {
    const std::string fault = fFeedback->Send(status);
    if (fault != fFeedbackFault && !fault.empty()) tell("OSC status: " + fault);
    fFeedbackFault = fault;
  });
}

std::optional<TOscLink> TSyncHub::oscLink() const {
  if (!fOsc && !fFeedback) return std::nullopt;
  TOscLink link;
  if (fOsc) {
    link.Listen = {fSetup.Osc->Address, fOsc->Port()};
    for (const TAddressRange& range : fSetup.OscAllow) link.Allowed.push_back(rangeText(range));
    const TOscCounts counts = fOsc->Counts();
    link.Commands = counts.Commands;
    link.Refused = counts.Refused;
    link.Faults = counts.Faults;
  }
  link.Feedback = fSetup.OscFeedback;
  return link;
}

void TSyncHub::publish() {
  if (!fSetup.Active()) return;
  TSyncStatus status;
  status.Role = fFollower ? TSyncRole::Follower : fLeader || !fTimecodeOuts.empty() ? TSyncRole::Leader : TSyncRole::Off;
  if (fLeader) {
    status.Destinations = fLeader->Destinations();
    status.Followers = fLeader->Followers();
    status.PacketsSent = fLeader->PacketsSent();
  }
  if (fFollower) {
    if (fSetup.Follow) status.Listen = output::TEndpoint{fSetup.Follow->Address, fFollower->Port()};
    status.Follower = fFollower->Status();
    status.OffsetMs = fSetup.OffsetMs;
    if (fSetup.TimecodeIn) status.TimecodeIn = TTimecodeLink{TimecodeInName(*fSetup.TimecodeIn), fFollower->LastTimecode()};
  }
  {
    const std::lock_guard lock(fOutLock);
    for (std::size_t i = 0; i < fSetup.TimecodeOut.size() && i < fOutLast.size(); ++i) {
      status.TimecodeOut.push_back({TimecodeOutName(fSetup.TimecodeOut[i]), fOutLast[i]});
    }
  }
  status.Osc = oscLink();
  status.ClockRate = fSetup.ClockRate;
  fParts.Board.PublishSection("sync", SyncStatusJson(status));
}

}  // namespace lumora::sync

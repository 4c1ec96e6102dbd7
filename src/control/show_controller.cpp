#include "control/show_controller.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "control/show_commands.h"

namespace lumora::control {

namespace {

constexpr std::chrono::seconds kRateSample{1};
constexpr std::chrono::milliseconds kChaseStep{250};

std::uint8_t levelOf(std::int64_t percent) { return static_cast<std::uint8_t>((percent * 255 + 50) / 100); }

std::int32_t percentOf(std::uint8_t level) { return static_cast<std::int32_t>((level * 100 + 127) / 255); }

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

bool IsPlainName(const std::string& name) {
  const std::filesystem::path path(name);
  if (name.empty() || path.is_absolute() || name.find('\0') != std::string::npos) return false;
  return std::none_of(path.begin(), path.end(), [](const std::filesystem::path& part) {
    const std::string text = part.string();
    return text.empty() || text == ".." || text == "." || text.starts_with('.');
  });
}

std::string ShownName(const std::string& folder, const std::string& path) {
  if (folder.empty()) return path;
  std::error_code error;
  const std::filesystem::path relative =
      std::filesystem::relative(std::filesystem::weakly_canonical(path, error), std::filesystem::weakly_canonical(folder, error), error);
  if (error || relative.empty() || relative.string().starts_with("..")) return path;
  return relative.string();
}

TShowController::TShowController(TShowEngine& engine, TCommandBus& bus, TStatusBoard& board,
                                 TControllerOptions options)
    : fEngine(engine), fBus(bus), fBoard(board), fOptions(std::move(options)) {
  registerCommands();
  publish();
}

TShowController::~TShowController() = default;

void TShowController::registerCommands() {
  const auto bind = [this](const char* name, auto handler) { fBus.Register(ShowCommandSpec(name), handler); };
  bind("play", [this](const TCommand& c) { return play(c); });
  bind("stop", [this](const TCommand& c) { return stop(c); });
  bind("pause", [this](const TCommand&) { return pause(true); });
  bind("resume", [this](const TCommand&) { return pause(false); });
  bind("next", [this](const TCommand&) { return step(true); });
  bind("previous", [this](const TCommand&) { return step(false); });
  bind("entry", [this](const TCommand& c) { return entry(c); });
  bind("seek", [this](const TCommand& c) { return seek(c); });
  bind("speed", [this](const TCommand& c) { return speed(c); });
  bind("volume", [this](const TCommand& c) { return volume(c); });
  bind("mute", [this](const TCommand& c) { return mute(c); });
  for (const char* name : {"brightness", "blackout", "output"}) {
    bind(name, [this](const TCommand& c) { return lightControl(c); });
  }
  bind("test", [this](const TCommand& c) { return test(c); });
  bind("reload-patch", [this](const TCommand&) { return reloadPatch(); });
  fBus.SetRan([this](const TCommand&, const TCommandResult&) { publish(); });
}

// Shows from the network come from the show folder alone; the person at
// the machine may name any file.
std::optional<std::string> TShowController::showPath(const std::string& file, TCommandSource source,
                                                     std::string& error) const {
  if (IsLocal(source) && std::filesystem::path(file).is_absolute()) return file;
  if (fOptions.ShowFolder.empty()) {
    error = "no show folder is set, so no show can be named from here";
    return std::nullopt;
  }
  if (!IsPlainName(file)) {
    error = "must name a show inside the show folder";
    return std::nullopt;
  }
  return (std::filesystem::path(fOptions.ShowFolder) / file).string();
}

std::string TShowController::shownName(const std::string& path) const { return ShownName(fOptions.ShowFolder, path); }

TCommandResult TShowController::play(const TCommand& command) {
  std::string error;
  const std::optional<std::string> path = showPath(StringOf(command.Args, "file"), command.Source, error);
  if (!path) return TCommandResult::Fail("file", error);
  TPlayListOptions options;
  options.Loops = static_cast<std::int32_t>(IntegerOf(command.Args, "loops", 0));
  options.Shuffle = BooleanOf(command.Args, "shuffle", false);
  options.StartEntry = static_cast<std::int32_t>(IntegerOf(command.Args, "entry", 1) - 1);
  const TPlayListOptions before = fEngine.PlayOptions;
  fEngine.PlayOptions = options;
  try {
    fEngine.Open(*path);
  } catch (const std::exception& failure) {
    fEngine.PlayOptions = before;
    return TCommandResult::Fail(command.Args.contains("entry") ? "entry" : "file", failure.what());
  }
  if (!fEngine.Showing()) return TCommandResult::Fail("file", fEngine.LastLoadError());
  Opened(*path, command.Source);
  if (command.Args.contains("protect")) fProtect = BooleanOf(command.Args, "protect", false);
  return TCommandResult::Ok();
}

void TShowController::Opened(const std::string& file, TCommandSource source) {
  fFile = shownName(file);
  fStartedBy = SourceName(source);
  fProtect.reset();
  fStopAt = TStopAt::Nothing;
  fPassDone = 0;
  fPass = fEngine.Pass();
  if (fTest && fLights) fLights->Live().SetTestFrame(std::nullopt);
  fTest.reset();
  noteEntry();
  publish();
}

TCommandResult TShowController::stop(const TCommand& command) {
  if (!fEngine.Showing()) return TCommandResult::Fail("", "nothing plays");
  const std::string when = StringOf(command.Args, "when", "now");
  if (when == "now") {
    stopNow();
    return TCommandResult::Ok();
  }
  fStopAt = when == "entry" ? TStopAt::EntryEnd : TStopAt::PassEnd;
  return TCommandResult::Ok();
}

void TShowController::stopNow() {
  fEngine.Unload();
  fStopAt = TStopAt::Nothing;
  fFile.clear();
  fStartedBy.clear();
  fProtect.reset();
  if (fLights) fLights->Stop();
  publish();
}

TCommandResult TShowController::pause(bool pause) {
  if (!fEngine.Showing()) return TCommandResult::Fail("", "nothing plays");
  fEngine.SetRunning(!pause);
  if (pause) {
    fEngine.PauseMusic();
  } else {
    fEngine.ResumeMusic();
  }
  return TCommandResult::Ok();
}

TCommandResult TShowController::step(bool forward) {
  if (!fEngine.PlayListActive()) return TCommandResult::Fail("", "no play list plays");
  const bool running = fEngine.Running() || !fEngine.Showing();
  if (forward) {
    fEngine.PlayNext();
  } else {
    fEngine.PlayPrevious();
  }
  if (!running) fEngine.SetRunning(false);
  return TCommandResult::Ok();
}

TCommandResult TShowController::entry(const TCommand& command) {
  if (!fEngine.PlayListActive()) return TCommandResult::Fail("", "no play list plays");
  const std::int64_t index = IntegerOf(command.Args, "index", 1);
  const auto entries = static_cast<std::int64_t>(fEngine.PlayList().size());
  if (index > entries) return TCommandResult::Fail("index", "the play list has " + std::to_string(entries) + " entries");
  fEngine.PlayEntry(static_cast<std::size_t>(index - 1));
  return TCommandResult::Ok();
}

// Positions count from 1, as the frame bar does; seconds are whole ticks
// from the entry's start.
TCommandResult TShowController::seek(const TCommand& command) {
  if (!fEngine.Showing()) return TCommandResult::Fail("", "nothing plays");
  std::int64_t position = IntegerOf(command.Args, "frame", 1);
  if (command.Args.contains("seconds")) {
    const double ticks = NumberOf(command.Args, "seconds", 0) * 1000.0 / std::max(1, fEngine.TickInterval());
    position = 1 + static_cast<std::int64_t>(std::floor(ticks));
  }
  const TScrollBarState& frames = fEngine.Frames();
  fEngine.Seek(static_cast<std::int32_t>(std::clamp<std::int64_t>(position, frames.Min, frames.Max)));
  return TCommandResult::Ok();
}

// As the speed bar: its position in tens of milliseconds.
TCommandResult TShowController::speed(const TCommand& command) {
  const auto position = static_cast<std::int32_t>((IntegerOf(command.Args, "interval", 30) + 5) / 10);
  fEngine.SpeedPosition = position;
  fEngine.SetTickInterval(position * 10);
  return TCommandResult::Ok();
}

TCommandResult TShowController::volume(const TCommand& command) {
  fVolume = static_cast<std::int32_t>(IntegerOf(command.Args, "percent", 100));
  fEngine.Music().SetVolume(fVolume / 100.0);
  return TCommandResult::Ok();
}

TCommandResult TShowController::mute(const TCommand& command) {
  fMuted = BooleanOf(command.Args, "on", !fMuted);
  fEngine.Music().SetMuted(fMuted);
  return TCommandResult::Ok();
}

TCommandResult TShowController::lightControl(const TCommand& command) {
  if (command.Name == "brightness") {
    fControls.Master = levelOf(IntegerOf(command.Args, "percent", 100));
  } else if (command.Name == "blackout") {
    fControls.Blackout = BooleanOf(command.Args, "on", !fControls.Blackout);
  } else {
    fControls.Enabled = BooleanOf(command.Args, "on", !fControls.Enabled);
  }
  applyControls();
  return TCommandResult::Ok();
}

void TShowController::applyControls() {
  if (fLights) fLights->Live().SetControls(fControls);
}

TCommandResult TShowController::test(const TCommand& command) {
  if (!fLights) return TCommandResult::Fail("", "no channel patch drives lamps");
  const std::string pattern = StringOf(command.Args, "pattern");
  if (pattern == "off") {
    fTest.reset();
    fLights->Live().SetTestFrame(std::nullopt);
    return TCommandResult::Ok();
  }
  const output::TLiveOutput& live = fLights->Live();
  const std::vector<output::TOutputRoute>& routes = live.Patch().Outputs;
  std::vector<TChannelRange> ranges;
  nlohmann::json description = {{"pattern", pattern}, {"level", IntegerOf(command.Args, "level", 100)}};
  if (pattern == "fixture") {
    const std::vector<output::TFixtureChannels>& fixtures = live.BoundFixtures();
    const std::int64_t index = IntegerOf(command.Args, "fixture", 1);
    if (index > static_cast<std::int64_t>(fixtures.size())) {
      return TCommandResult::Fail("fixture", "the patch has " + std::to_string(fixtures.size()) +
                                                 " fixtures for the show playing");
    }
    const output::TFixtureChannels& fixture = fixtures[static_cast<std::size_t>(index - 1)];
    ranges.push_back({fixture.First, fixture.Count});
    description["fixture"] = index;
    description["name"] = fixture.Name;
  } else if (command.Args.contains("output")) {
    const std::int64_t index = IntegerOf(command.Args, "output", 1);
    if (index > static_cast<std::int64_t>(routes.size())) {
      return TCommandResult::Fail("output", "the patch has " + std::to_string(routes.size()) + " outputs");
    }
    const output::TOutputRoute& route = routes[static_cast<std::size_t>(index - 1)];
    ranges.push_back({route.First, route.Count});
    description["output"] = index;
  } else {
    for (const output::TOutputRoute& route : routes) ranges.push_back({route.First, route.Count});
  }
  const auto step = std::chrono::milliseconds(IntegerOf(command.Args, "step", kChaseStep.count()));
  if (pattern == "chase") description["step"] = step.count();
  const TTestKind kind = pattern == "level" ? TTestKind::Level : pattern == "chase" ? TTestKind::Chase : TTestKind::Fixture;
  fTest.emplace(kind, levelOf(IntegerOf(command.Args, "level", 100)), live.Patch().SentCount, std::move(ranges), step,
                std::move(description));
  fLights->Live().SetTestFrame(fTest->Frame());
  return TCommandResult::Ok();
}

// Reading may look host names up, so it is done on a thread of its own;
// Poll puts the patch in use once it is read.
TCommandResult TShowController::reloadPatch() {
  if (fOptions.PatchFile.empty()) return TCommandResult::Fail("", "the show was started without a channel patch");
  {
    const std::lock_guard lock(fReadLock);
    if (fPatchReader.joinable() && !fReadDone) return TCommandResult::Fail("", "the patch is being read already");
  }
  if (fPatchReader.joinable()) fPatchReader.join();
  fReadDone = false;
  fPatchReader = std::jthread([this] {
    std::optional<output::TPatchDefinition> patch;
    std::string error;
    try {
      patch = output::ReadPatchDefinition(fOptions.PatchFile);
    } catch (const std::exception& failure) {
      error = failure.what();
    }
    const std::lock_guard lock(fReadLock);
    fReadPatch = std::move(patch);
    fReadError = error;
    fReadDone = true;
  });
  return TCommandResult::Ok({{"reading", fOptions.PatchFile}});
}

void TShowController::installReadPatch() {
  std::optional<output::TPatchDefinition> patch;
  std::string error;
  {
    const std::lock_guard lock(fReadLock);
    if (!fReadDone || (!fReadPatch && fReadError.empty())) return;
    patch = std::move(fReadPatch);
    error = std::move(fReadError);
    fReadPatch.reset();
    fReadError.clear();
  }
  if (!patch) {
    Tell("message", error + "; the patch in use stays");
    return;
  }
  AttachLights(std::move(*patch), fLightSettings);
  Tell("message", fOptions.PatchFile + ": read again and in use");
}

void TShowController::AttachLights(output::TPatchDefinition patch, output::TLiveSettings settings) {
  if (fLights) fLights->Stop();
  fLights.reset();
  fTest.reset();
  fLightSettings = settings;
  // Outputs report from their own thread; the board takes that.
  settings.Report = [host = std::move(settings.Report), &board = fBoard](const std::string& message) {
    if (host) host(message);
    board.Tell("output", message);
  };
  fLights = std::make_unique<output::TLightSink>(fEngine, std::move(patch), std::move(settings));
  fPackets.clear();
  fRates.clear();
  applyControls();
  fLightsWarning = fLights->CheckShow();
  if (!fLightsWarning.empty()) Tell("output", fLightsWarning);
  publish();
}

void TShowController::SetProtectByDefault(bool protect) {
  fProtectByDefault = protect;
  publish();
}

void TShowController::Tick() {
  if (!fEngine.Running()) return;
  const TScrollBarState& frames = fEngine.Frames();
  const bool wraps = fEngine.Showing() && frames.Position >= frames.Max;
  if (wraps && (fStopAt == TStopAt::EntryEnd || (fStopAt == TStopAt::PassEnd && fEngine.PassEndsHere()))) {
    stopNow();
    return;
  }
  fEngine.Tick();
}

void TShowController::Poll() {
  installReadPatch();
  if (fTest && fTest->Advance(fOptions.Clock()) && fLights) fLights->Live().SetTestFrame(fTest->Frame());
  sampleOutputs();
  publish();
}

void TShowController::Changed() {
  noteEntry();
  publish();
}

void TShowController::Tell(const std::string& kind, const std::string& text) { fBoard.Tell(kind, text); }

void TShowController::Finished() { stopNow(); }

void TShowController::Shutdown() {
  fBus.Close();
  if (fPatchReader.joinable()) fPatchReader.join();
  if (!fLights) return;
  fLights->Stop();
  fLights->Flush();
}

// A new entry: its length is learned and the pass's time moves on.
void TShowController::noteEntry() {
  if (!fEngine.Showing() || fEngine.ShowNumber() == fShowNumber) return;
  fShowNumber = fEngine.ShowNumber();
  const double length = fEngine.Frames().Max * fEngine.TickInterval() / 1000.0;
  if (fEngine.Pass() != fPass) {
    fPass = fEngine.Pass();
    fPassDone = 0;
  } else if (!fEntryPath.empty() && fLengths.contains(fEntryPath)) {
    fPassDone += fLengths[fEntryPath];
  }
  fEntryPath = fEngine.ShowFile();
  fLengths[fEntryPath] = length;
  fLightsWarning = fLights ? fLights->CheckShow() : std::string();
  if (fEngine.PlayListActive()) {
    const std::size_t index = fEngine.CurrentEntry().value_or(0);
    Tell("entry", "entry " + std::to_string(index + 1) + " of " + std::to_string(fEngine.PlayList().size()) + ": " +
                      fileName(fEntryPath));
  }
}

void TShowController::sampleOutputs() {
  if (!fLights) return;
  const auto now = fOptions.Clock();
  if (!fPackets.empty() && now - fSampled < kRateSample) return;
  const std::vector<output::TOutputHealth> health = fLights->Live().Health();
  const double seconds = std::chrono::duration<double>(now - fSampled).count();
  fRates.assign(health.size(), 0);
  for (std::size_t i = 0; i < health.size() && i < fPackets.size(); ++i) {
    fRates[i] = seconds > 0 ? static_cast<double>(health[i].Packets - fPackets[i]) / seconds : 0;
  }
  fPackets.clear();
  for (const output::TOutputHealth& output : health) fPackets.push_back(output.Packets);
  fSampled = now;
}

void TShowController::publish() {
  TShowStatus status = buildStatus();
  if (status == fStatus) return;
  if (fObserver) fObserver(fStatus, status);
  fStatus = std::move(status);
  fBoard.PublishShow(fStatus);
}

TShowStatus TShowController::buildStatus() const {
  TShowStatus status;
  const bool showing = fEngine.Showing();
  status.State = !showing                       ? TPlayState::Idle
                 : !fEngine.Running()           ? TPlayState::Paused
                 : fStopAt != TStopAt::Nothing ? TPlayState::Stopping
                                                : TPlayState::Playing;
  status.Interval = fEngine.TickInterval();
  status.Volume = fVolume;
  status.Muted = fMuted;
  status.Brightness = percentOf(fControls.Master);
  status.Blackout = fControls.Blackout;
  status.OutputOn = fControls.Enabled;
  status.Lights = fLights != nullptr;
  if (fTest) status.Test = fTest->Description();
  if (fLights) {
    const std::vector<output::TOutputHealth> health = fLights->Live().Health();
    for (std::size_t i = 0; i < health.size(); ++i) {
      status.Outputs.push_back({health[i].Name, i < fRates.size() ? std::round(fRates[i] * 10) / 10 : 0,
                                health[i].Failed, health[i].LastError});
    }
    for (const output::TFixtureChannels& fixture : fLights->Live().BoundFixtures()) status.Fixtures.push_back(fixture.Name);
  }
  if (!showing) return status;
  if (!fLightsWarning.empty()) status.Warnings.push_back(fLightsWarning);
  status.File = fFile;
  status.StartedBy = fStartedBy;
  status.Protected = fStartedBy != SourceName(TCommandSource::Schedule) && fProtect.value_or(fProtectByDefault);
  status.StopAt = fStopAt == TStopAt::EntryEnd ? "entry" : fStopAt == TStopAt::PassEnd ? "pass" : "";
  status.Entries = fEngine.PlayListActive() ? static_cast<std::int32_t>(fEngine.PlayList().size()) : 1;
  status.Entry = fEngine.PlayListActive() ? static_cast<std::int32_t>(fEngine.CurrentEntry().value_or(0) + 1) : 1;
  status.EntryName = fileName(fEngine.ShowFile());
  status.Frame = fEngine.Frames().Position;
  status.Frames = fEngine.Frames().Max;
  status.Pass = static_cast<std::int32_t>(fEngine.Pass());
  status.Passes = fEngine.PlayOptions.Loops;
  fillTimes(status);
  return status;
}

void TShowController::fillTimes(TShowStatus& status) const {
  const double interval = status.Interval / 1000.0;
  status.EntryElapsed = std::max(0, status.Frame - 1) * interval;
  status.EntryRemaining = std::max(0, status.Frames - status.Frame + 1) * interval;
  status.PassElapsed = fPassDone + status.EntryElapsed;
  double rest = status.EntryRemaining;
  for (const std::size_t index : fEngine.RestOfPass()) {
    const std::string& path = fEngine.PlayList()[index];
    const auto played = fLengths.find(path);
    const std::optional<double> known =
        played != fLengths.end() ? played->second
                                 : fOptions.KnownLength ? fOptions.KnownLength(path) : std::nullopt;
    if (!known) return;
    rest += *known;
  }
  status.PassRemaining = rest;
}

}  // namespace lumora::control

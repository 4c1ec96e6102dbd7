#include "app/qt/headless_player.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/qt/light_settings.h"
#include "app/qt/qt_music.h"
#include "schedule/service_notify.h"
#include "show/headless_show.h"

namespace lumora {

namespace {

// How often a stop request and the status line are looked at, and how
// often the controller looks after what runs beside the show.
constexpr int kWatchMs = 250;
constexpr int kPollMs = 50;

std::string showFolderOf(const THeadlessPlayOptions& options) {
  if (!options.ShowFolder.empty() || options.File.empty()) return options.ShowFolder;
  return std::filesystem::absolute(options.File).parent_path().string();
}

control::TControllerOptions controllerOptions(const THeadlessPlayOptions& options) {
  control::TControllerOptions controller;
  controller.ShowFolder = showFolderOf(options);
  controller.PatchFile = options.Patch;
  return controller;
}

std::unique_ptr<TMusicPlayer> musicFor(const THeadlessPlayOptions& options) {
  if (!options.Music || options.AudioOutput == "none") return std::make_unique<TSilentMusic>();
  return std::make_unique<TQtMusicPlayer>(options.AudioOutput == "default" ? std::string() : options.AudioOutput);
}

}  // namespace

THeadlessPlayer::THeadlessPlayer(THeadlessPlayOptions options, std::string executablePath)
    : fOptions(std::move(options)), fMusic(musicFor(fOptions)),
      fEngine(*this, *fMusic, std::move(executablePath)) {
  fEngine.ExtractMusic = fOptions.Music && fOptions.AudioOutput != "none";
  fEngine.PlayOptions = fOptions.Play;
  fEngine.SetDrawThreads(fOptions.DrawThreads);
  if (auto* qtMusic = dynamic_cast<TQtMusicPlayer*>(fMusic.get())) {
    qtMusic->OnFailed = [this] {
      report("the music cannot be played; the show plays on without it");
      fEngine.MusicFailed();
    };
  }
  fControl = std::make_unique<TShowControlRoom>(fEngine, controllerOptions(fOptions), LUMORA_VERSION);
  // Commands from other threads run on this one, in turn with the ticks.
  fControl->Bus.SetWake([this] {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { fControl->Bus.RunPending(); },
                              Qt::QueuedConnection);
  });
  fSync = std::make_unique<sync::TSyncHub>(
      fOptions.Sync, sync::TSyncParts{fEngine, fControl->Controller, fControl->Bus, fControl->Status,
                                      [this](const std::string& m) { report(m); }});
  // Each tick is scheduled on its own deadline, as the sync hub paces it.
  fClock.setTimerType(Qt::PreciseTimer);
  fClock.setSingleShot(true);
  QObject::connect(&fClock, &QTimer::timeout, [this] { tick(); });
  QObject::connect(&fWatch, &QTimer::timeout, [this] { printStatus(); });
  QObject::connect(&fPoll, &QTimer::timeout, [this] {
    fControl->Poll();
    fSync->Poll();
  });
  QObject::connect(&fWatchdog, &QTimer::timeout, [] { schedule::NotifyWatchdog(); });
}

THeadlessPlayer::~THeadlessPlayer() {
  fSync.reset();
  fControl.reset();
}

void THeadlessPlayer::tick() {
  fInTick = true;
  const int wait = fSync->Tick();
  fInTick = false;
  if (fEngine.Running()) fClock.start(wait);
}

bool THeadlessPlayer::waitsForCommands() const {
  return !fOptions.Control.Listen.empty() || !fOptions.Schedule.empty() || fOptions.Sync.Follow ||
         fOptions.Sync.TimecodeIn || fOptions.Sync.Osc;
}

// Messages name the file and the fault; once the show plays they are
// reported and it plays on.
void THeadlessPlayer::ShowMessage(const std::string&, const std::string& text, const std::string& detail) {
  fSaid.push_back(detail.empty() ? EnglishMessage(text) : detail);
  fControl->Controller.Tell("message", fSaid.back());
  if (fPlaying) report(fSaid.back());
}

void THeadlessPlayer::FramesChanged(bool moved) {
  if (moved && fEngine.Playable()) {
    fEngine.DrawFrame(fEngine.Frames().Position - 1);
    ++fFramesDrawn;
  }
  fControl->Controller.Changed();
}

void THeadlessPlayer::PlaybackChanged() {
  if (!fEngine.Running()) {
    fClock.stop();
  } else if (!fClock.isActive() && !fInTick) {
    fClock.start(fSync->Begin());
  }
  fControl->Controller.Changed();
}

// A show that played as often as it was asked ends the run, unless the
// player is controlled or scheduled: then it waits for what comes next.
void THeadlessPlayer::ShowFinished() {
  if (!waitsForCommands()) {
    Stop();
    return;
  }
  fControl->Controller.Finished();
}

// What cannot be played ends the run before anything is sent; what the
// player would only report (an entry of a list skipped) is reported. A show
// of one frame that plays once has been shown when it starts.
void THeadlessPlayer::Run() {
  if (!fOptions.Patch.empty()) {
    fControl->Controller.AttachLights(output::ReadPatchDefinition(fOptions.Patch),
                                      StoredLightSettings([this](const std::string& m) { report(m); }));
  }
  if (!fOptions.File.empty()) start();
  takeSettings();
  serve();
  startSync();
  fPlaying = true;
  fWatch.start(kWatchMs);
  fPoll.start(kPollMs);
  PlaybackChanged();
  tellSystemd();
  if (!fOptions.File.empty() && fOptions.Play.Loops > 0 && !fEngine.Running() && !waitsForCommands()) {
    QTimer::singleShot(0, [this] { Stop(); });
  }
  if (!fStopped) QCoreApplication::exec();
  printStatus();
  if (fOptions.Status) std::fputc('\n', stderr);
}

// An entry of a list skipped as it opens is reported, not refused.
void THeadlessPlayer::start() {
  OpenForTool(fEngine, fOptions.File, fSaid, false);
  for (const std::string& said : fSaid) report(said);
  fControl->Controller.Opened(fOptions.File, control::TCommandSource::Script);
  // A single movie the patch cannot drive would never light a lamp; a
  // play list's later entries may.
  if (output::TLightSink* lights = fControl->Controller.Lights()) {
    const std::string error = lights->CheckShow();
    if (!error.empty() && !fEngine.PlayListActive()) throw output::EPatchError(error);
  }
  fEngine.DrawFrame(fEngine.Frames().Position - 1);
}

void THeadlessPlayer::serve() {
  if (fOptions.Control.Listen.empty()) return;
  const auto [url, newPassword] = fControl->Serve(fOptions.Control);
  std::printf("lumora-play: control page and API at %s\n", url.c_str());
  if (!newPassword.empty()) std::printf("lumora-play: the control password was made for you; it is in %s\n", newPassword.c_str());
  std::fflush(stdout);
}

// The configuration's volume, set as every input sets it, and the
// schedule, which takes the stage at the first poll.
void THeadlessPlayer::takeSettings() {
  if (fOptions.Volume) {
    fControl->Bus.Run({"volume", {{"percent", *fOptions.Volume}}, control::TCommandSource::Script});
  }
  if (fOptions.Schedule.empty()) return;
  schedule::TScheduleRunnerOptions options;
  options.File = fOptions.Schedule;
  options.Location = fOptions.Location;
  options.TimeZone = fOptions.TimeZone;
  fControl->RunSchedule(std::move(options));
}

// Under systemd: ready once serving, and alive as long as this thread
// turns; elsewhere these say nothing.
void THeadlessPlayer::tellSystemd() {
  schedule::NotifyReady(fOptions.File.empty() ? "waiting for the schedule or a command" : "playing " + fOptions.File);
  const auto interval = std::chrono::duration_cast<std::chrono::milliseconds>(schedule::WatchdogPingInterval());
  if (interval.count() > 0) fWatchdog.start(static_cast<int>(interval.count()));
}

void THeadlessPlayer::startSync() {
  for (const std::string& line : fSync->Start()) std::printf("lumora-play: %s\n", line.c_str());
  std::fflush(stdout);
}

void THeadlessPlayer::Stop() {
  if (fStopped) return;
  fStopped = true;
  schedule::NotifyStopping();
  fWatchdog.stop();
  fClock.stop();
  fWatch.stop();
  fPoll.stop();
  fControl->Shutdown();
  fSync->Shutdown();
  fEngine.Shutdown();
  QCoreApplication::quit();
}

// Reports come from the sender thread too; they are printed from the event
// loop with the status line.
void THeadlessPlayer::report(const std::string& message) {
  const std::lock_guard lock(fReportsLock);
  fReports.push_back(message);
}

void THeadlessPlayer::printStatus() {
  std::vector<std::string> reports;
  {
    const std::lock_guard lock(fReportsLock);
    reports.swap(fReports);
  }
  for (const std::string& r : reports) {
    std::fprintf(stderr, "%slumora-play: %s\n", fOptions.Status ? "\r\033[K" : "", r.c_str());
    fLastReport = r;
  }
  if (!fOptions.Status) return;
  const output::TLightSink* lights = fControl->Controller.Lights();
  std::string outputs = lights != nullptr ? std::to_string(lights->OutputNames().size()) + " outputs" : "no outputs";
  if (!fLastReport.empty()) outputs += " (last: " + fLastReport + ")";
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - fStatusTime).count();
  const double rate = seconds > 0 ? static_cast<double>(fFramesDrawn - fStatusFrames) / seconds : 0;
  fStatusTime = now;
  fStatusFrames = fFramesDrawn;
  std::fprintf(stderr, "\r\033[K%s  %.1f frames/s  %s", PlayingStatus(fEngine, fOptions.File).c_str(), rate,
               outputs.c_str());
  std::fflush(stderr);
}

}  // namespace lumora

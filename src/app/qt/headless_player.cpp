#include "app/qt/headless_player.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/qt/light_settings.h"
#include "app/qt/qt_music.h"
#include "show/headless_show.h"

namespace lumora {

namespace {

// How often a stop request and the status line are looked at.
constexpr int kWatchMs = 250;

std::unique_ptr<TMusicPlayer> musicFor(bool music) {
  if (music) return std::make_unique<TQtMusicPlayer>();
  return std::make_unique<TSilentMusic>();
}

}  // namespace

THeadlessPlayer::THeadlessPlayer(THeadlessPlayOptions options, std::string executablePath)
    : fOptions(std::move(options)), fMusic(musicFor(fOptions.Music)),
      fEngine(*this, *fMusic, std::move(executablePath)) {
  fEngine.ExtractMusic = fOptions.Music;
  fEngine.SetDrawThreads(fOptions.DrawThreads);
  if (auto* qtMusic = dynamic_cast<TQtMusicPlayer*>(fMusic.get())) {
    qtMusic->OnFailed = [this] {
      report("the music cannot be played; the show plays on without it");
      fEngine.MusicFailed();
    };
  }
  fClock.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fClock, &QTimer::timeout, [this] { tick(); });
  QObject::connect(&fWatch, &QTimer::timeout, [this] {
    if (gStopAsked) stop();
    printStatus();
  });
}

THeadlessPlayer::~THeadlessPlayer() { fLights.reset(); }

void THeadlessPlayer::ShowMessage(const std::string& caption, const std::string& text, const std::string& detail) {
  report(caption + ": " + text + (detail.empty() ? "" : " (" + detail + ")"));
}

void THeadlessPlayer::FramesChanged(bool moved) {
  if (!moved || !fEngine.Playable()) return;
  fEngine.DrawFrame(fEngine.Frames().Position - 1);
  ++fFramesDrawn;
}

void THeadlessPlayer::PlaybackChanged() {
  fClock.setInterval(fEngine.TickInterval());
  if (!fEngine.Running()) {
    fClock.stop();
  } else if (!fClock.isActive()) {
    fClock.start();
  }
}

// As the window opens its command line: the file by its kind; what cannot
// be played ends the run.
void THeadlessPlayer::open() {
  const std::string& file = fOptions.File;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) throw std::runtime_error(file + ": cannot read the file");
  if (ClassifyArgument(file) == kArgumentPlayList) {
    fEngine.LoadPlayList(file);
    if (fEngine.PlayList().empty()) throw std::runtime_error(file + ": the play list names no movie it can find");
  } else if (ClassifyArgument(file) == kArgumentMovie) {
    fEngine.LoadMovie(file);
  } else {
    fEngine.LoadEmbedded(file);
  }
  if (fEngine.SceneRoot().LayerCount() == 0 && fEngine.GridLayers().Empty()) {
    throw std::runtime_error(fEngine.LastLoadError().empty() ? file + ": nothing to play" : fEngine.LastLoadError());
  }
}

void THeadlessPlayer::Run() {
  open();
  if (!fOptions.Patch.empty()) {
    fLights = std::make_unique<output::TLightSink>(fEngine, output::ReadPatchDefinition(fOptions.Patch),
                                                   StoredLightSettings([this](const std::string& m) { report(m); }));
    // A single movie the patch cannot drive would never light a lamp; a
    // play list's later entries may.
    const std::string error = fLights->CheckShow();
    if (!error.empty() && !fEngine.PlayListActive()) throw output::EPatchError(error);
  }
  fEngine.DrawFrame(fEngine.Frames().Position - 1);
  fWatch.start(kWatchMs);
  PlaybackChanged();
  // A show of one frame never wraps: once, it has been shown.
  if (fOptions.Once && !fEngine.Playable()) QTimer::singleShot(0, [this] { stop(); });
  QCoreApplication::exec();
  printStatus();
}

// A pass is over when the movie, or every entry of the list, has wrapped.
bool THeadlessPlayer::passIsOver() const {
  const std::int64_t entries = fEngine.PlayListActive() ? static_cast<std::int64_t>(fEngine.PlayList().size()) : 1;
  return fWraps >= entries;
}

void THeadlessPlayer::tick() {
  const TScrollBarState& frames = fEngine.Frames();
  if (fEngine.Playable() && frames.Position >= frames.Max) {
    ++fWraps;
    if (fOptions.Once && passIsOver()) {
      stop();
      return;
    }
  }
  fEngine.Tick();
}

void THeadlessPlayer::stop() {
  fClock.stop();
  fWatch.stop();
  fEngine.Shutdown();
  if (fLights) {
    fLights->Stop();
    fLights->Flush();
  }
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
  const std::string movie = fEngine.PlayListActive() && fEngine.PlayIndex() > 0
                                ? fEngine.PlayList()[static_cast<std::size_t>(fEngine.PlayIndex() - 1)]
                                : fOptions.File;
  std::string outputs = fLights ? std::to_string(fLights->OutputNames().size()) + " outputs" : "no outputs";
  if (!fLastReport.empty()) outputs += " (last: " + fLastReport + ")";
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - fStatusTime).count();
  const double rate = seconds > 0 ? static_cast<double>(fFramesDrawn - fStatusFrames) / seconds : 0;
  fStatusTime = now;
  fStatusFrames = fFramesDrawn;
  std::fprintf(stderr, "\r\033[K%s  frame %d of %d  %.1f frames/s  %s",
               std::filesystem::path(movie).filename().c_str(), fEngine.Frames().Position, fEngine.Frames().Max,
               rate, outputs.c_str());
  std::fflush(stderr);
}

}  // namespace lumora

#include "app/qt/headless_player.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
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
  fEngine.PlayOptions = fOptions.Play;
  fEngine.SetDrawThreads(fOptions.DrawThreads);
  if (auto* qtMusic = dynamic_cast<TQtMusicPlayer*>(fMusic.get())) {
    qtMusic->OnFailed = [this] {
      report("the music cannot be played; the show plays on without it");
      fEngine.MusicFailed();
    };
  }
  fClock.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fClock, &QTimer::timeout, [this] { fEngine.Tick(); });
  QObject::connect(&fWatch, &QTimer::timeout, [this] { printStatus(); });
}

THeadlessPlayer::~THeadlessPlayer() { fLights.reset(); }

// Messages name the file and the fault; once the show plays they are
// reported and it plays on.
void THeadlessPlayer::ShowMessage(const std::string&, const std::string& text, const std::string& detail) {
  fSaid.push_back(detail.empty() ? EnglishMessage(text) : detail);
  if (fPlaying) report(fSaid.back());
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

// What cannot be played ends the run before anything is sent; what the
// player would only report (an entry of a list skipped) is reported. A show
// of one frame that plays once has been shown when it starts.
void THeadlessPlayer::Run() {
  OpenForTool(fEngine, fOptions.File, fSaid, false);
  for (const std::string& said : fSaid) report(said);
  if (!fOptions.Patch.empty()) {
    fLights = std::make_unique<output::TLightSink>(fEngine, fOptions.Patch,
                                                   StoredLightSettings([this](const std::string& m) { report(m); }));
  }
  fPlaying = true;
  fEngine.DrawFrame(fEngine.Frames().Position - 1);
  fWatch.start(kWatchMs);
  PlaybackChanged();
  if (fOptions.Play.Loops > 0 && !fEngine.Running()) QTimer::singleShot(0, [this] { Stop(); });
  if (!fStopped) QCoreApplication::exec();
  printStatus();
  if (fOptions.Status) std::fputc('\n', stderr);
}

void THeadlessPlayer::Stop() {
  if (fStopped) return;
  fStopped = true;
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
  std::string outputs = fLights ? std::to_string(fLights->OutputNames().size()) + " outputs" : "no outputs";
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

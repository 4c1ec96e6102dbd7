// THeadlessPlayer: plays a show in real time without a window, for a show
// machine without a screen: the same engine, tick intervals, play-list order
// and frame wrap as the player's window, the music through Qt Multimedia,
// and every frame sent to the lamps of a channel patch.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QTimer>

#include "app/show_control_room.h"
#include "show/show_engine.h"
#include "sync/sync_hub.h"

namespace lumora {

struct THeadlessPlayOptions {
  // None: the player waits, lamps dark, for a command to play something.
  std::string File;
  // The channel patch to light lamps through; none: nothing is sent.
  std::string Patch;
  // How often and in which order the show plays; Loops 0: until stopped.
  TPlayListOptions Play;
  bool Music = true;
  // Threads that draw each frame; kAllCores: every core.
  std::int32_t DrawThreads = kAllCores;
  // One status line on stderr, rewritten in place.
  bool Status = false;
  // The show folder that commands name shows in; none: the folder of File.
  std::string ShowFolder;
  // The control service; Listen empty: none.
  TControlServiceOptions Control;
  // The schedule's file; none: no schedule. One not there yet starts
  // empty and is written when it changes.
  std::string Schedule;
  // Where sun times are reckoned and the zone, for a schedule naming
  // neither.
  std::optional<schedule::TLocation> Location;
  std::string TimeZone;
  // "default" or none, "none" (no music), or an output's name; and the
  // music's volume at the start.
  std::string AudioOutput;
  std::optional<std::int32_t> Volume;
  // Many players, timecode and OSC; none asked for: the ticks are paced.
  sync::TSyncSetup Sync;
};

class THeadlessPlayer : private TShowHost {
 public:
  // A QCoreApplication must exist.
  THeadlessPlayer(THeadlessPlayOptions options, std::string executablePath);
  ~THeadlessPlayer() override;
  THeadlessPlayer(const THeadlessPlayer&) = delete;
  THeadlessPlayer& operator=(const THeadlessPlayer&) = delete;

  // Loads the show and plays it until it has played Play.Loops times or a
  // stop is asked for; then blacks the lamps out. Raises what stops the
  // show from starting: a file it cannot play, a patch that cannot be read
  // or cannot drive a single movie.
  void Run();
  // The show stops (the lamps blacked out) and Run returns.
  void Stop();
  // Commands reach the show through this; for the tests.
  TShowControlRoom& Control() { return *fControl; }

 private:
  TPoint Room() const override { return {1920, 1080}; }
  void ShowMessage(const std::string& caption, const std::string& text, const std::string& detail) override;
  void MovieFitted() override {}
  void FrameResized() override {}
  void ShowCleared() override {}
  void FramesChanged(bool moved) override;
  void PlaybackChanged() override;
  void ShowFinished() override;

  void start();
  void serve();
  void takeSettings();
  void tellSystemd();
  void startSync();
  void tick();
  // Whether commands may come after the show ends: from the control
  // service, the schedule, a leader or OSC.
  bool waitsForCommands() const;
  void report(const std::string& message);
  void printStatus();
  std::string statusLine();

  THeadlessPlayOptions fOptions;
  std::unique_ptr<TMusicPlayer> fMusic;
  TShowEngine fEngine;
  std::unique_ptr<TShowControlRoom> fControl;
  std::unique_ptr<sync::TSyncHub> fSync;
  QTimer fClock;
  // Set while a tick runs, when the next is scheduled after it.
  bool fInTick = false;
  QTimer fWatch;
  QTimer fPoll;
  QTimer fWatchdog;
  bool fStopped = false;
  // What the engine said, and whether the show has started playing.
  std::vector<std::string> fSaid;
  bool fPlaying = false;
  std::int64_t fFramesDrawn = 0;
  std::int64_t fStatusFrames = 0;
  std::chrono::steady_clock::time_point fStatusTime = std::chrono::steady_clock::now();
  std::mutex fReportsLock;
  std::vector<std::string> fReports;
  std::string fLastReport;
};

}  // namespace lumora

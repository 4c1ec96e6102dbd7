// lumora-play: plays a show in real time on a machine without a screen,
// exactly as the player's window would, with its music, and sends every
// frame to the lamps of a channel patch. SIGINT, SIGTERM, SIGHUP and
// SIGQUIT stop it cleanly with a blackout; a second one ends a slow stop.
#include <unistd.h>

#include <QCoreApplication>

#include <cstdio>

#include "app/control_password.h"
#include "app/player_config.h"
#include "app/qt/headless_player.h"
#include "app/qt/stop_signals.h"
#include "schedule/schedule_store.h"
#include "tools/command_line.h"
#include "tools/control_command_line.h"
#include "tools/sync_command_line.h"

namespace {

// The configuration fills in what the command line leaves out; with one,
// a schedule always runs (the configuration folder's when it names none).
void applyConfig(lumora::THeadlessPlayOptions& options, const lumora::TPlayerConfig& config, const CLI::App& app) {
  const auto unset = [&app](const char* name) { return app.get_option(name)->count() == 0; };
  if (unset("--shows")) options.ShowFolder = config.ShowFolder;
  if (unset("--patch")) options.Patch = config.Patch;
  if (unset("--control")) options.Control.Listen = config.Control;
  if (unset("--web")) options.Control.WebFolder = config.WebFolder;
  if (unset("--certificate")) options.Control.Certificate = config.Certificate;
  if (unset("--password-file")) options.Control.PasswordHash = config.PasswordHash;
  if (unset("--schedule")) options.Schedule = config.Schedule.empty() ? lumora::schedule::DefaultSchedulePath() : config.Schedule;
  options.Location = config.Location;
  options.TimeZone = config.TimeZone;
  options.AudioOutput = config.AudioOutput;
  options.Volume = config.Volume;
}

// A player served for control keeps the configuration folder's schedule,
// when it has a show folder to play it from.
void chooseSchedule(lumora::THeadlessPlayOptions& options, bool scheduled) {
  const bool folder = !options.ShowFolder.empty() || !options.File.empty();
  if (options.Schedule.empty() && !options.Control.Listen.empty() && folder) {
    options.Schedule = lumora::schedule::DefaultSchedulePath();
  }
  if (scheduled && !folder) throw lumora::EUsage("--schedule needs --shows, the folder its shows are in");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Plays a light show in real time without a window and sends it to the lamps of a channel patch.",
               "lumora-play");
  lumora::SetUpTool(app,
                    "Examples:\n"
                    "  lumora-patch show.lst --host 192.168.1.50 > lights.json\n"
                    "  lumora-play show.lst --patch lights.json\n"
                    "  lumora-play show.lst --shuffle --loops 3 --no-music\n"
                    "  lumora-play --control 0.0.0.0:8080 --shows /srv/shows --patch lights.json\n"
                    "  lumora-play --schedule schedule.json --shows /srv/shows --patch lights.json\n"
                    "  lumora-play --config /etc/lumora/player.json\n"
                    "\n"
                    "With --control, a web page and an HTTP API (see /api/openapi.json) control the\n"
                    "show from a browser or a phone; changes need the control password (--set-password,\n"
                    "or the one made on the first run, whose file is printed).\n"
                    "\n"
                    "A schedule starts and stops shows by itself: --schedule FILE, or with --control\n"
                    "the configuration folder's schedule.json. It can be edited through the page or\n"
                    "PUT /api/schedule and is written back to its file.\n"
                    "--config runs from one JSON file naming the show folder, the patch, the control\n"
                    "address, the password's hash, the place and time zone, the schedule, the audio\n"
                    "output and the volume (default: ~/.config/lumora/player.json, else\n"
                    "/etc/lumora/player.json); options given beside it take precedence.\n\n" +
                        std::string(lumora::kSyncHelp));
  lumora::THeadlessPlayOptions options;
  bool noMusic = false;
  bool once = false;
  std::int32_t startEntry = 1;
  bool setPassword = false;
  std::string configFile;
  auto* file =
      app.add_option("FILE", options.File, "a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable");
  app.add_option("--patch", options.Patch, "the channel patch (JSON) the lamps are driven through")
      ->check(CLI::ExistingFile);
  auto* loops = app.add_option("--loops", options.Play.Loops, "stop after N passes over the movie or the play list")
                    ->check(CLI::Range(1, 1000000));
  app.add_flag("--once", once, "stop after one pass (--loops 1)")->excludes(loops);
  app.add_flag("--shuffle", options.Play.Shuffle, "play the list's entries in a new random order each pass");
  app.add_option("--start-entry", startEntry, "start the play list at its entry N, counted from 1")
      ->check(CLI::Range(1, 1 << 20));
  app.add_flag("--no-music", noMusic, "play without the movie's music");
  lumora::AddThreadsOption(app, options.DrawThreads);
  auto* control = lumora::AddControlOptions(app, options.Control);
  app.add_option("--shows", options.ShowFolder, "the show folder commands name shows in (default: FILE's folder)")
      ->check(CLI::ExistingDirectory);
  app.add_option("--schedule", options.Schedule,
                 "play the schedule kept in this file (one not there yet starts empty and is written when changed)");
  auto* config = app.add_option("--config", configFile, "run from the show machine's configuration file")->expected(0, 1);
  app.add_flag("--set-password", setPassword, "store a new control password (read from the terminal) and end");
  lumora::sync::TSyncOptions syncOptions;
  lumora::AddSyncOptions(app, syncOptions);
  return lumora::RunTool(app, argc, argv, [&] {
    if (setPassword) {
      const std::string stored = lumora::StoreControlPassword(lumora::ReadNewSecret("new control password"));
      std::printf("lumora-play: the control password's hash is stored in %s\n", stored.c_str());
      return 0;
    }
    lumora::TPlayerConfig settings;
    if (config->count() > 0) {
      const std::string path = configFile.empty() ? lumora::DefaultPlayerConfigPath() : configFile;
      settings = lumora::ReadPlayerConfig(path);
      applyConfig(options, settings, app);
      lumora::FillSyncOptions(app, syncOptions, settings.Sync, path);
    }
    options.Sync = lumora::SyncSetupOf(syncOptions);
    const bool commanded = control->count() > 0 || !options.Schedule.empty() || config->count() > 0;
    lumora::CheckSyncUsage(options.Sync, file->count() > 0, commanded, !options.ShowFolder.empty());
    chooseSchedule(options, !options.Schedule.empty());
    if (once) options.Play.Loops = 1;
    options.Play.StartEntry = startEntry - 1;
    options.Music = !noMusic;
    options.Status = ::isatty(STDERR_FILENO) != 0;
    QCoreApplication qt(argc, argv);
    lumora::THeadlessPlayer player(options, lumora::SelfPath());
    const lumora::TStopSignals stopSignals([&player](int) { player.Stop(); });
    player.Run();
    return 0;
  });
}

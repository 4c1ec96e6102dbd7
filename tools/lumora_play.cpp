// lumora-play: plays a show in real time on a machine without a screen,
// exactly as the player's window would, with its music, and sends every
// frame to the lamps of a channel patch. SIGINT and SIGTERM stop it cleanly
// with a blackout.
#include <unistd.h>

#include <QCoreApplication>

#include <csignal>
#include <filesystem>

#include "app/qt/headless_player.h"
#include "tools/command_line.h"

namespace {

void askToStop(int) { lumora::THeadlessPlayer::AskToStop(); }

std::string selfPath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Plays a light show in real time without a window and sends it to the lamps of a channel patch.",
               "lumora-play");
  lumora::SetUpTool(app,
                    "Example:\n"
                    "  lumora-patch show.lst --host 192.168.1.50 > lights.json\n"
                    "  lumora-play show.lst --patch lights.json\n");
  lumora::THeadlessPlayOptions options;
  bool noMusic = false;
  app.add_option("FILE", options.File, "a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable")
      ->required();
  app.add_option("--patch", options.Patch, "the channel patch (JSON) the lamps are driven through")
      ->check(CLI::ExistingFile);
  app.add_flag("--once", options.Once, "stop after one pass over the movie or the play list");
  app.add_flag("--no-music", noMusic, "play without the movie's music");
  lumora::AddThreadsOption(app, options.DrawThreads);
  return lumora::RunTool(app, argc, argv, [&] {
    options.Music = !noMusic;
    options.Status = ::isatty(STDERR_FILENO) != 0;
    QCoreApplication qt(argc, argv);
    lumora::THeadlessPlayer player(options, selfPath());
    std::signal(SIGINT, askToStop);
    std::signal(SIGTERM, askToStop);
    player.Run();
    return 0;
  });
}

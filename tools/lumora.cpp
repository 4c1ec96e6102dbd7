// lumora: the light-show player.
#include "app/qt/player_main.h"
#include "tools/command_line.h"
#include "tools/control_command_line.h"

int main(int argc, char** argv) {
  CLI::App app("Plays a light show: a movie (.ctl), a grid movie (.tol, .cot), a play list (.lst: one movie a "
               "line, looked up beside the list, then beside the player) or the movie appended to an executable "
               "(.exe). Without FILE it plays the movie appended to itself. A second start hands FILE to the "
               "player that runs and ends; what is not a show is reported there while its show plays on.",
               "lumora");
  lumora::SetUpTool(app,
                    "Keys: Space play/stop, Left/Right one frame back/on, Home/End first/last frame,\n"
                    "PgUp/PgDn or p/n previous/next play-list entry, [/] slower/faster, m mute,\n"
                    "9/0 quieter/louder, F or F11 fullscreen, Z fit or 1:1, Escape or q close.\n"
                    "A click on the window shows the hidden control panel again; a right-click opens the menu.\n");
  lumora::TPlayerOptions options;
  options.ProgramName = argv[0];
  app.add_option("FILE", options.File, "what to play");
  app.add_option("--patch", options.Patch, "send every frame to the lamps of this channel patch (JSON)")
      ->check(CLI::ExistingFile);
  app.add_flag("--fullscreen", options.FullScreen, "start in fullscreen (F, F11 or a double-click toggle it)");
  app.add_option("--screen", options.Screen, "play on this screen, counted from 0")->check(CLI::NonNegativeNumber);
  lumora::AddThreadsOption(app, options.DrawThreads);
  lumora::AddControlOptions(app, options.Control);
  app.add_option("--shows", options.Control.ShowFolder, "the show folder the page names shows in (default: FILE's)")
      ->check(CLI::ExistingDirectory);
  return lumora::RunTool(app, argc, argv, [&options] { return lumora::RunPlayer(options); });
}

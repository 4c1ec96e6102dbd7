#include "app/qt/player_main.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/program_entry.h"
#include "app/qt/player_window.h"
#include "app/qt/single_instance.h"

#ifndef LUMORA_VERSION
#define LUMORA_VERSION "0.1.0"
#endif

namespace lumora {

namespace {

constexpr const char* kHelp =
    "Usage: lumora [FILE]\n"
    "Plays a light show: a movie (.ctl), a grid movie (.tol, .cot), a play list\n"
    "(.lst, names of movies beside the program, one a line) or the movie appended\n"
    "to an executable (.exe). Without FILE it plays the movie appended to itself.\n"
    "A second start hands FILE to the player that runs and ends.\n"
    "\n"
    "Keys: Space play/stop, Left/Right one frame back/on, Escape close.\n"
    "A click on the window shows the hidden control panel again.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

// --help and --version answer without a display.
bool answeredAtOnce(int argc, char** argv, int& status) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kHelp, stdout);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("lumora %s\n", LUMORA_VERSION);
  } else {
    return false;
  }
  status = 0;
  return true;
}

}  // namespace

int RunPlayer(int argc, char** argv) {
  int status = 0;
  if (answeredAtOnce(argc, argv, status)) return status;
  QApplication app(argc, argv);
  // QApplication has taken its own options out of argv.
  const std::string argument = argc > 1 ? argv[1] : "";
  std::unique_ptr<TInstanceLock> lock;
  TInstancePaths paths;
  try {
    paths = InstancePaths();
    lock = std::make_unique<TInstanceLock>(paths.Lock);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "lumora: %s; this player runs on its own\n", error.what());
  }
  if (lock && !lock->Held()) {
    if (HandToRunningInstance(paths.Socket, argument)) return 0;
    std::fprintf(stderr, "lumora: the running player did not answer\n");
    return 1;
  }
  if (!AcceptedAtFirstStart(argument)) return 0;

  TPlayerWindow window(QCoreApplication::applicationFilePath().toStdString());
  window.setWindowTitle(kInstanceCaption);
  TInstanceServer server;
  server.OnContact = [&window] {
    window.raise();
    window.activateWindow();
  };
  server.OnPath = [&window](const std::string& path) { window.Form().WMCopyData(path); };
  // Without the server the player still plays; it is only not found.
  if (lock) server.Listen(paths.Socket);
  window.Start(argument);
  return app.exec();
}

}  // namespace lumora

#include "app/qt/player_main.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/program_entry.h"
#include "app/qt/player_window.h"
#include "app/qt/single_instance.h"
#include "app/qt/stop_signals.h"

namespace lumora {

void PlaceOnScreen(QWidget& window, int screen) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (screen >= screens.size()) {
    std::fprintf(stderr, "lumora: there is no screen %d (the screens are 0 to %lld); playing on the first\n", screen,
                 static_cast<long long>(screens.size()) - 1);
    return;
  }
  window.setScreen(screens[screen]);
  window.move(screens[screen]->geometry().topLeft());
}

int RunPlayer(const TPlayerOptions& options) {
  // The command line is the player's own: Qt takes none of it.
  int qtArgc = 1;
  std::string program = options.ProgramName;
  char* qtArgv[] = {program.data(), nullptr};
  QApplication app(qtArgc, qtArgv);
  const std::string argument = StartPath(options.File);
  std::unique_ptr<TInstanceLock> lock;
  TInstancePaths paths;
  try {
    paths = InstancePaths();
    lock = std::make_unique<TInstanceLock>(paths.Lock);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "lumora: %s; this player runs on its own\n", error.what());
  }
  if (lock && !lock->Held()) {
    // The running player keeps the lamps it started with: a patch handed
    // over could take a live show dark.
    if (!options.Patch.empty()) {
      std::fprintf(stderr, "lumora: --patch is refused: a player is running already and keeps its own lamps; "
                           "nothing was handed over (close it, then start again with --patch)\n");
      return 1;
    }
    if (!options.Control.Listen.empty()) {
      std::fprintf(stderr, "lumora: --control is refused: a player is running already and serves its own page; "
                           "nothing was handed over (close it, then start again with --control)\n");
      return 1;
    }
    if (HandToRunningInstance(paths.Socket, argument)) return 0;
    std::fprintf(stderr, "lumora: the running player did not answer\n");
    return 1;
  }

  TPlayerWindow window(QCoreApplication::applicationFilePath().toStdString());
  window.Form().Show().SetDrawThreads(options.DrawThreads);
  if (options.Screen >= 0) PlaceOnScreen(window, options.Screen);
  // A logout or kill ends the player as its close button does: the lamps
  // go dark. The nested loops of open dialogs end with it.
  const TStopSignals stopSignals([&window](int) {
    window.close();
    QCoreApplication::exit(0);
  });
  TInstanceServer server;
  server.OnContact = [&window] {
    window.raise();
    window.activateWindow();
  };
  server.OnPath = [&window](const std::string& path) { window.OpenHandedOver(path); };
  // Without the server the player still plays; it is only not found.
  if (lock) server.Listen(paths.Socket);
  if (options.FullScreen) window.SetFullScreen(true);
  // Read before playback starts, and kept for every show to come.
  if (!options.Patch.empty()) window.AttachLights(options.Patch);
  window.Start(argument);
  if (!options.Control.Listen.empty()) {
    TControlServiceOptions control = options.Control;
    if (control.ShowFolder.empty() && !argument.empty()) control.ShowFolder = std::filesystem::path(argument).parent_path();
    try {
      const auto [url, newPassword] = window.Form().Control().Serve(control);
      std::printf("lumora: control page and API at %s\n", url.c_str());
      if (!newPassword.empty()) std::printf("lumora: the control password was made for you; it is in %s\n", newPassword.c_str());
      std::fflush(stdout);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "lumora: the control service cannot start: %s\n", error.what());
      return 1;
    }
  }
  return app.exec();
}

}  // namespace lumora

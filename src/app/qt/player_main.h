// The player program's entry: the hand-off to a running player, and the
// player window with its instance server and, when asked, its lamps.
#pragma once

#include <string>

#include "app/show_control_room.h"

class QWidget;

namespace lumora {

struct TPlayerOptions {
  // The program's own path, as the first command-line word gave it.
  std::string ProgramName;
  // A movie, grid movie, play list or executable; none: the movie appended
  // to the player itself.
  std::string File;
  // A channel patch: every frame drawn is sent to its lamps. A second start
  // with one is refused while a player runs.
  std::string Patch;
  bool FullScreen = false;
  // The screen to play on, counted from 0; none: where the desktop puts it.
  int Screen = -1;
  // Threads that draw each frame; 0: every core.
  std::int32_t DrawThreads = 0;
  // The control page and API; Listen empty: none.
  TControlServiceOptions Control;
};

int RunPlayer(const TPlayerOptions& options);

// Shows the window on the screen, counted from 0; a screen that is not
// there is reported on stderr and the window stays where it is.
void PlaceOnScreen(QWidget& window, int screen);

}  // namespace lumora

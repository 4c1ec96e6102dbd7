// The player program's entry: --help and --version, the hand-off to a
// running player, and the player window with its instance server.
#pragma once

namespace lumora {

int RunPlayer(int argc, char** argv);

}  // namespace lumora

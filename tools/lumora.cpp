// lumora: the light-show player.
#include "app/qt/player_main.h"

int main(int argc, char** argv) { return lumora::RunPlayer(argc, argv); }

// The folder the programs keep their own settings and state in: the
// control password's hash, the schedule. Under the show machine's service
// $HOME is the service user's state folder, so it is writable there too.
#pragma once

#include <string>

namespace lumora {

// $XDG_CONFIG_HOME/lumora when that is absolute, else ~/.config/lumora;
// without a trailing separator. Nothing is made on disk.
std::string ConfigurationFolder();

}  // namespace lumora

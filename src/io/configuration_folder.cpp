#include "io/configuration_folder.h"

#include <cstdlib>

namespace lumora {

std::string ConfigurationFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/lumora";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/lumora";
}

}  // namespace lumora

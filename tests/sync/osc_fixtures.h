// The commands of the bus as the OSC tests and fuzz targets see them.
#pragma once

#include "sync/command_table.h"

namespace lumora::test {

inline sync::TCommandList BusCommands() {
  using K = sync::TArgumentKind;
  return sync::TCommandList({
      {"play", {{"file", K::Text}, {"entry", K::Integer, 0, 1e6}, {"loops", K::Integer, 0, 1e6}}},
      {"stop", {{"when", K::Text}}},
      {"pause", {}},
      {"resume", {}},
      {"next", {}},
      {"previous", {}},
      {"entry", {{"index", K::Integer, 0, 1e6}}},
      {"seek", {{"frame", K::Integer, 0, 1e9}, {"seconds", K::Number, 0, 1e7}}},
      {"speed", {{"factor", K::Number, 0.1, 10}}},
      {"volume", {{"percent", K::Percent, 0, 100}}},
      {"mute", {{"on", K::Boolean}}},
      {"brightness", {{"percent", K::Percent, 0, 100}}},
      {"blackout", {{"on", K::Boolean}}},
      {"output", {{"on", K::Boolean}}},
      {"test", {{"pattern", K::Text}, {"level", K::Percent, 0, 100}}},
      {"reload-patch", {}},
  });
}

}  // namespace lumora::test

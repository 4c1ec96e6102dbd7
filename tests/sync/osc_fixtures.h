// The commands of the bus as the OSC tests and fuzz targets see them: the
// show's own command table, as a player's OSC server reads it.
#pragma once

#include "control/show_commands.h"
#include "sync/osc_control.h"

namespace lumora::test {

inline sync::TCommandList BusCommands() { return sync::OscCommandTable(control::ShowCommandSpecs()); }

}  // namespace lumora::test

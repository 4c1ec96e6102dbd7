// The show's commands as scripts, OSC and the page name them, with their
// arguments: one table, which the bus checks every command against.
#pragma once

#include <string_view>
#include <vector>

#include "control/command_spec.h"

namespace lumora::control {

const std::vector<TCommandSpec>& ShowCommandSpecs();
// The spec of one of them by name.
const TCommandSpec& ShowCommandSpec(std::string_view name);

}  // namespace lumora::control

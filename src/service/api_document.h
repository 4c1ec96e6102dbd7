// The API's OpenAPI 3 document, served at /api/openapi.json: its fixed
// part carried in the program, and a path for each command of the bus.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "control/command_spec.h"
#include "service/control_service.h"

namespace lumora::service {

nlohmann::json ApiDocument(const std::vector<control::TCommandSpec>& commands,
                           const std::vector<TResourceRoute>& routes);

}  // namespace lumora::service

// What the player and the headless player keep in the user's settings for
// the light outputs: the sACN component id, made once and kept.
#pragma once

#include <functional>
#include <string>

#include "output/live_output.h"

namespace lumora {

// The settings of this user's light outputs, with failures and recoveries
// reported through report (called on the sender thread).
output::TLiveSettings StoredLightSettings(std::function<void(const std::string&)> report);

}  // namespace lumora

// The schedule's commands as scripts and the page name them, with their
// arguments: one table, which the bus checks every command against and the
// API document describes.
#pragma once

#include <string_view>
#include <vector>

#include "control/command_spec.h"

namespace lumora::schedule {

inline constexpr int kDefaultCalendarDays = 14;
// The calendar is worked out on the engine's thread, so it looks this far
// ahead at most.
inline constexpr int kMaxRangeDays = 62;
inline constexpr int kMaxExtendMinutes = 1440;

const std::vector<control::TCommandSpec>& ScheduleCommandSpecs();
const control::TCommandSpec& ScheduleCommandSpec(std::string_view name);

}  // namespace lumora::schedule

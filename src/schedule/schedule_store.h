// Where the schedule is kept, and its file: read and checked, or written
// whole under a temporary name and renamed.
#pragma once

#include <string>

#include "schedule/schedule.h"

namespace lumora::schedule {

// schedule.json in the configuration folder (io/configuration_folder.h).
std::string DefaultSchedulePath();

inline constexpr std::size_t kMaxScheduleFileBytes = std::size_t{1} << 20;

// Raises TLoadError naming the file and, for a fault of the schedule, the
// entry and the field.
TSchedule LoadScheduleFile(const std::string& path);
// The file's JSON, not yet read as a schedule; raises TLoadError naming
// the file when it cannot be read or is not JSON.
nlohmann::json LoadScheduleDocument(const std::string& path);
// Makes the folder (mode 0700) when missing and replaces the file whole;
// raises TLoadError naming the file.
void SaveScheduleFile(const std::string& path, const TSchedule& schedule);
void SaveScheduleDocument(const std::string& path, const nlohmann::json& document);

}  // namespace lumora::schedule

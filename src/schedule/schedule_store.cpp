#include "schedule/schedule_store.h"

#include <filesystem>

#include "io/atomic_file.h"
#include "io/configuration_folder.h"
#include "io/stream.h"

namespace lumora::schedule {

std::string DefaultSchedulePath() { return ConfigurationFolder() + "/schedule.json"; }

TSchedule LoadScheduleFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path, kMaxScheduleFileBytes);
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(bytes.begin(), bytes.end());
  } catch (const nlohmann::json::exception& error) {
    throw TLoadError(path + ": not JSON (" + error.what() + ")");
  }
  try {
    return ReadSchedule(document);
  } catch (const TScheduleError& error) {
    throw TLoadError(path + ": " + error.what());
  }
}

void SaveScheduleFile(const std::string& path, const TSchedule& schedule) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code error;
  if (!folder.empty() && std::filesystem::create_directories(folder, error)) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
  }
  if (error) throw TLoadError(path + ": cannot make the folder " + folder.string() + " (" + error.message() + ")");
  ReplaceFile(path, WriteSchedule(schedule).dump(2) + "\n");
}

}  // namespace lumora::schedule

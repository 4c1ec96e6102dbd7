#include "schedule/schedule_store.h"

#include <filesystem>

#include "control/json_limits.h"
#include "io/atomic_file.h"
#include "io/configuration_folder.h"
#include "io/stream.h"

namespace lumora::schedule {

std::string DefaultSchedulePath() { return ConfigurationFolder() + "/schedule.json"; }

nlohmann::json LoadScheduleDocument(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path, kMaxScheduleFileBytes);
  std::string fault;
  std::optional<nlohmann::json> document =
      control::ParseBoundedJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), fault);
  if (!document) throw TLoadError(path + ": " + fault);
  return std::move(*document);
}

TSchedule LoadScheduleFile(const std::string& path) {
  const nlohmann::json document = LoadScheduleDocument(path);
  try {
    return ReadSchedule(document);
  } catch (const TScheduleError& error) {
    throw TLoadError(path + ": " + error.what());
  }
}

void SaveScheduleFile(const std::string& path, const TSchedule& schedule) {
  SaveScheduleDocument(path, WriteSchedule(schedule));
}

void SaveScheduleDocument(const std::string& path, const nlohmann::json& document) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code error;
  if (!folder.empty() && std::filesystem::create_directories(folder, error)) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
  }
  if (error) throw TLoadError(path + ": cannot make the folder " + folder.string() + " (" + error.message() + ")");
  ReplaceFile(path, document.dump(2) + "\n");
}

}  // namespace lumora::schedule

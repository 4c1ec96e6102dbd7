#include "schedule/schedule_store.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "io/stream.h"
#include "support/scoped_env.h"

namespace lumora::schedule {
namespace {

namespace fs = std::filesystem;

TEST(ScheduleStore, TheConfigurationFolder) {
  test::TScopedEnv home("HOME", "/home/show");
  {
    test::TScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
    EXPECT_EQ(DefaultSchedulePath(), "/srv/config/lumora/schedule.json");
  }
  test::TScopedEnv relative("XDG_CONFIG_HOME", "config");
  EXPECT_EQ(DefaultSchedulePath(), "/home/show/.config/lumora/schedule.json");
}

class ScheduleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = TempDirectory() + "lumora-schedule-XXXXXX";
    fFolder = ::mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(fFolder); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(fFolder / name) << text;
    return (fFolder / name).string();
  }
  std::string LoadFault(const std::string& path) {
    try {
      LoadScheduleFile(path);
    } catch (const TLoadError& error) {
      return error.what();
    }
    return "(loaded)";
  }

  fs::path fFolder;
};

TEST_F(ScheduleFile, SavedIntoAFolderItMakesAndLoadedBack) {
  const TSchedule schedule = ReadSchedule(nlohmann::json::parse(R"({"timezone": "Europe/Berlin", "entries": [
      {"play": "evening.lst", "start": "18:00", "end": "22:00", "days": ["sat", "sun"]}]})"));
  const std::string path = (fFolder / "config" / "lumora" / "schedule.json").string();
  SaveScheduleFile(path, schedule);
  EXPECT_EQ(LoadScheduleFile(path), schedule);
  EXPECT_EQ(fs::status(fFolder / "config" / "lumora").permissions(), fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(fFolder / "config" / "lumora"), fs::directory_iterator()), 1);
}

TEST_F(ScheduleFile, FaultsNameTheFileAndTheField) {
  const std::string notJson = Write("a.json", "{\"entries\": [");
  EXPECT_EQ(LoadFault(notJson).rfind(notJson + ": is not JSON", 0), 0u) << LoadFault(notJson);
  const std::string badEntry = Write("b.json", R"({"entries": [{"play": "x.lst", "start": "18:00", "end": "late"}]})");
  EXPECT_EQ(LoadFault(badEntry).rfind(badEntry + ": entries[0].end: \"late\" is neither", 0), 0u) << LoadFault(badEntry);
  const std::string huge = Write("c.json", std::string(kMaxScheduleFileBytes + 1, ' '));
  EXPECT_NE(LoadFault(huge).find("larger than"), std::string::npos) << LoadFault(huge);
  EXPECT_NE(LoadFault((fFolder / "none.json").string()).find("none.json"), std::string::npos);
  // Nested a hundred thousand levels, it is refused before anything
  // recurses through it.
  const std::string deep = Write("d.json", R"({"entries": [{"command": "x", "args": )" + std::string(100000, '[') +
                                               std::string(100000, ']') + "}]}");
  EXPECT_EQ(LoadFault(deep), deep + ": nests deeper than 64 levels");
}

}  // namespace
}  // namespace lumora::schedule

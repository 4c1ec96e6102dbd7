#include "app/player_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/stream.h"
#include "service/password.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

// A folder with the configuration, a show folder, a patch and a page's
// folder for it to name.
struct TConfigFolder {
  test::TPlayerDir Dir{"player_config"};
  TConfigFolder() {
    std::filesystem::create_directories(Dir.Path("shows"));
    std::filesystem::create_directories(Dir.Path("web"));
    Dir.WriteText("lights.json", "{}");
  }
  std::string Write(const std::string& text) const { return Dir.WriteText("player.json", text); }
};

TEST(PlayerConfig, EveryKeyIsReadAndPathsAreTakenInTheConfigurationsFolder) {
  TConfigFolder folder;
  const std::string hash = service::HashPassword("night-show-42");
  const std::string file = folder.Write(R"({
      "shows": "shows", "patch": "lights.json", "control": "0.0.0.0:8080", "password-hash": ")" + hash + R"(",
      "location": {"latitude": 52.52, "longitude": 13.405}, "timezone": "Europe/Berlin",
      "schedule": "state/schedule.json", "audio-output": "none", "volume": 70, "web": "web/",
      "sync": {"role": "leader", "peers": ["10.0.0.2"]}})");
  const TPlayerConfig config = ReadPlayerConfig(file);
  EXPECT_EQ(config.ShowFolder, folder.Dir.Path("shows"));
  EXPECT_EQ(config.Patch, folder.Dir.Path("lights.json"));
  EXPECT_EQ(config.Control, "0.0.0.0:8080");
  EXPECT_EQ(config.PasswordHash, hash);
  EXPECT_EQ(config.Location, (schedule::TLocation{52.52, 13.405}));
  EXPECT_EQ(config.TimeZone, "Europe/Berlin");
  EXPECT_EQ(config.Schedule, folder.Dir.Path("state/schedule.json"));
  EXPECT_EQ(config.AudioOutput, "none");
  EXPECT_EQ(config.Volume, 70);
  EXPECT_EQ(config.WebFolder, folder.Dir.Path("web/"));
  EXPECT_EQ(config.Sync, nlohmann::json::parse(R"({"role": "leader", "peers": ["10.0.0.2"]})"));

  const TPlayerConfig least = ReadPlayerConfig(folder.Write(R"({"shows": ")" + folder.Dir.Path("shows") + "\"}"));
  EXPECT_EQ(least.ShowFolder, folder.Dir.Path("shows"));
  EXPECT_TRUE(least.Control.empty());
  EXPECT_FALSE(least.Volume);
  EXPECT_TRUE(least.Sync.is_null());
}

// Each fault is refused naming the file, the key and what is wrong.
TEST(PlayerConfig, AFaultIsRefusedWithItsKey) {
  struct TCase {
    std::string Text;
    const char* Key;
    const char* Fault;
  };
  const TCase cases[] = {
      {R"([])", "", "is not a JSON object of settings"},
      {R"({"shows": "shows")", "", "is not JSON"},
      {R"({})", "shows", "is required: the folder the shows are played from"},
      {R"({"shows": "nowhere"})", "shows", "is not a folder"},
      {R"({"shows": "lights.json"})", "shows", "is not a folder"},
      {R"({"shows": 7})", "shows", "7 is not a text"},
      {R"({"shows": ""})", "shows", "is empty"},
      {R"({"shows": "shows", "show": "x"})", "show", "is not a key of the player's configuration"},
      {R"({"shows": "shows", "patch": "shows"})", "patch", "is not a file that can be read"},
      {R"({"shows": "shows", "control": "8080:0.0.0.0"})", "control", "names no port"},
      {R"({"shows": "shows", "control": "localhost:80"})", "control", "names no IPv4 address"},
      {R"({"shows": "shows", "password-hash": "secret"})", "password-hash", "is not a password's hash"},
      {R"({"shows": "shows", "location": [52, 13]})", "location", "[52,13] is not {\"latitude\""},
      {R"({"shows": "shows", "location": {"latitude": 95, "longitude": 13}})", "location",
       "\"latitude\": 95 is not a number of degrees from -90 to 90"},
      {R"({"shows": "shows", "location": {"latitude": 52}})", "location", "has no \"longitude\""},
      {R"({"shows": "shows", "location": {"latitude": 52, "longitude": 13, "height": 30}})", "location",
       "\"height\" is not"},
      {R"({"shows": "shows", "timezone": "Europe/Atlantis"})", "timezone", "\"Europe/Atlantis\" is not a time zone"},
      {R"({"shows": "shows", "schedule": "shows"})", "schedule", "is a folder"},
      {R"({"shows": "shows", "volume": 120})", "volume", "120 is not a whole number from 0 to 100"},
      {R"({"shows": "shows", "volume": 50.5})", "volume", "50.5 is not a whole number"},
      {R"({"shows": "shows", "audio-output": true})", "audio-output", "true is not a text"},
      {R"({"shows": "shows", "web": "lights.json"})", "web", "is not a folder"},
      {R"({"shows": "shows", "certificate": "missing.pem"})", "certificate", "is not a file that can be read"},
      {R"({"shows": "shows", "sync": "leader"})", "sync", "\"leader\" is not a JSON object"},
      {R"({"shows": "shows", "sync": [[[[1]]]]})", "sync", "a list of 1 item is not a JSON object"},
      {R"({"shows": "shows", "sync": {"a": )" + std::string(100000, '[') + std::string(100000, ']') + "}}", "",
       "nests deeper than 64 levels"},
  };
  TConfigFolder folder;
  for (const TCase& c : cases) {
    const std::string file = folder.Write(c.Text);
    try {
      ReadPlayerConfig(file);
      ADD_FAILURE() << c.Text.substr(0, 80) << " was taken";
    } catch (const TPlayerConfigError& error) {
      EXPECT_EQ(error.Key(), c.Key) << c.Text.substr(0, 80);
      const std::string prefix = file + ": " + (std::string(c.Key).empty() ? "" : "\"" + std::string(c.Key) + "\": ");
      const std::string message = error.what();
      EXPECT_TRUE(message.starts_with(prefix)) << message;
      EXPECT_NE(message.find(c.Fault), std::string::npos) << message;
    }
  }
  EXPECT_THROW(ReadPlayerConfig(folder.Dir.Path("missing.json")), TLoadError);
  // Handed over already parsed, a "sync" nested too deeply to copy is
  // refused by its key.
  const nlohmann::json deep = nlohmann::json::parse(R"({"shows": "shows", "sync": {"a": )" + std::string(100000, '[') +
                                                    std::string(100000, ']') + "}}");
  try {
    ParsePlayerConfig(deep, folder.Dir.Path("player.json"));
    ADD_FAILURE() << "a deep sync was taken";
  } catch (const TPlayerConfigError& error) {
    EXPECT_EQ(error.Key(), "sync");
    EXPECT_NE(std::string(error.what()).find("nests deeper than 64 levels"), std::string::npos) << error.what();
  }
}

// The configuration the package installs reads as it says, once its show
// folder is there.
TEST(PlayerConfig, ThePackagesConfigurationIsValid) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(LUMORA_DIST_DIR "/lumora/player.json");
  nlohmann::json document = nlohmann::json::parse(bytes.begin(), bytes.end());
  EXPECT_EQ(document["shows"], "/var/lib/lumora/shows");
  TConfigFolder folder;
  document["shows"] = folder.Dir.Path("shows");
  const TPlayerConfig config = ParsePlayerConfig(document, kSystemPlayerConfig);
  EXPECT_EQ(config.Schedule, "/var/lib/lumora/schedule.json");
  EXPECT_EQ(config.Control, "127.0.0.1:8080");
  EXPECT_TRUE(config.WebFolder.empty()) << "the service serves the page it carries";
}

}  // namespace
}  // namespace lumora

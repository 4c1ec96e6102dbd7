// lumora-play as a show machine starts it, from a configuration or a
// schedule: what it cannot run is refused at the start, naming the file,
// the key or the entry and the field, before anything plays.
#include <gtest/gtest.h>

#include "support/program_run.h"
#include "support/show_fixtures.h"
#include "tools/tool_runs.h"

namespace lumora {
namespace {

TEST(LumoraPlaySchedule, WhatCannotRunIsRefusedAtTheStart) {
  struct TCase {
    const char* Arguments;
    const char* Configuration;
    const char* Schedule;
    int Status;
    const char* Says;
  };
  const TCase cases[] = {
      {"--config cfg.json", R"({"shows": "shows", "volume": 120})", "", 1,
       "cfg.json: \"volume\": 120 is not a whole number from 0 to 100"},
      {"--config cfg.json", R"({"shows": "nowhere"})", "", 1, "cfg.json: \"shows\": \""},
      {"--config cfg.json", R"({"shows": "shows", "colour": "red"})", "", 1, "\"colour\": is not a key"},
      {"--config missing.json", "", "", 1, "missing.json"},
      {"--schedule schedule.json", "", "{}", 2, "--schedule needs --shows, the folder its shows are in"},
      {"--schedule schedule.json --shows shows", "", R"({"entries": [{"play": "a.tol", "start": "18:00", "end": "late"}]})", 1,
       "schedule.json: entries[0].end: \"late\" is neither"},
      {"--config cfg.json", R"({"shows": "shows", "schedule": "schedule.json"})",
       R"({"entries": [{"command": "dance", "start": "18:00"}]})", 1,
       "schedule.json: entries[0].command: \"dance\" is no command of the player"},
      {"--config cfg.json", R"({"shows": "shows", "schedule": "schedule.json"})", "{\"entries\": [", 1,
       "schedule.json: is not JSON"},
      {"--config cfg.json", R"({"shows": "shows", "audio-output": "Nowhere"})", "", 1,
       "there is no audio output \"Nowhere\""},
  };
  for (const TCase& c : cases) {
    test::TPlayerDir dir("lumora_play_schedule");
    std::filesystem::create_directories(dir.Path("shows"));
    if (*c.Configuration != '\0') dir.WriteText("cfg.json", c.Configuration);
    if (*c.Schedule != '\0') dir.WriteText("schedule.json", c.Schedule);
    const test::TProgramRun run = test::RunProgram("cd " + dir.Path("") + " && XDG_CONFIG_HOME=" + dir.Path("config") +
                                                       " " + test::program("lumora-play") + " " + c.Arguments,
                                                   dir.Path("run"));
    EXPECT_EQ(run.Status, c.Status) << c.Arguments << ": " << run.Errors;
    EXPECT_NE(run.Errors.find(c.Says), std::string::npos) << c.Arguments << ": " << run.Errors;
    EXPECT_EQ(run.Out.find("control page"), std::string::npos) << "nothing is served";
  }
}

}  // namespace
}  // namespace lumora

// The README's commands for driving lights, run in order as a reader would
// run them: each file a command reads was written by one before it.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

// The indented command lines of the README's section.
std::vector<std::string> commandsOf(const std::string& readme, const std::string& section) {
  std::stringstream text(readme.substr(readme.find("\n## " + section + "\n") + 1));
  std::vector<std::string> commands;
  std::string line;
  std::getline(text, line);
  while (std::getline(text, line) && !line.starts_with("## ")) {
    if (line.starts_with("    ./build/tools/")) commands.push_back(line.substr(4));
  }
  return commands;
}

// The "grid.json" played in the worked example was made by no command.
TEST(Readme, TheLightCommandsChain) {
  const std::vector<std::string> commands = commandsOf(test::ReadText(LUMORA_README), "Driving lights");
  ASSERT_GE(commands.size(), 3u);
  const std::regex writes("> (\\S+)");
  const std::regex reads("(--patch|--check) (\\S+)");
  std::vector<std::string> written;
  for (const std::string& command : commands) {
    std::smatch m;
    if (std::regex_search(command, m, reads)) {
      EXPECT_NE(std::find(written.begin(), written.end(), m[2].str()), written.end())
          << command << ": " << m[2] << " is written by no command before it";
    }
    if (std::regex_search(command, m, writes)) written.push_back(m[1]);
  }

  // The patch commands run as written, towards this machine.
  test::TPlayerDir dir("readme");
  const std::string tools = std::string(LUMORA_INFO_PROGRAM).substr(0, std::string(LUMORA_INFO_PROGRAM).rfind('/'));
  for (std::string command : commands) {
    if (!command.starts_with("./build/tools/lumora-patch")) continue;
    command = std::regex_replace(command, std::regex("\\./build/tools/|build/tools/"), tools + "/");
    command = std::regex_replace(command, std::regex("192\\.168\\.1\\.50"), "127.0.0.1");
    const test::TProgramRun run = test::RunProgram("cd " + dir.Path("") + " && (" + command + ")", dir.Path("run"));
    EXPECT_EQ(run.Status, 0) << command << "\n" << run.Errors;
  }
}

}  // namespace
}  // namespace lumora

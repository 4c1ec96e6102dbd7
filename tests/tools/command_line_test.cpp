// Every program follows one usage style: --help and --version answer 0 on
// stdout, bad usage answers 2 with the error on stderr, a failure of the
// work answers 1.
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/program_run.h"

namespace lumora {
namespace {

using TRun = test::TProgramRun;

std::vector<std::string> programs() {
  std::vector<std::string> paths;
  std::stringstream list(LUMORA_PROGRAMS);
  for (std::string path; std::getline(list, path, ',');) paths.push_back(path);
  return paths;
}

TRun run(const std::string& program, const std::string& args) {
  return test::RunProgram(program + " " + args, "/tmp/lumora_cli_" + std::to_string(::getpid()));
}

TEST(CommandLine, EveryProgramAnswersHelpVersionAndBadUsage) {
  for (const std::string& program : programs()) {
    const std::string name = std::filesystem::path(program).filename().string();
    const TRun help = run(program, "--help");
    EXPECT_EQ(help.Status, 0) << name;
    EXPECT_NE(help.Out.find("Usage: " + name), std::string::npos) << name << help.Out;
    const TRun version = run(program, "--version");
    EXPECT_EQ(version.Status, 0) << name;
    EXPECT_EQ(version.Out.rfind(name + " ", 0), 0u) << name << version.Out;
    const TRun unknown = run(program, "--no-such-option");
    EXPECT_EQ(unknown.Status, 2) << name;
    EXPECT_NE(unknown.Errors.find(name + ": "), std::string::npos) << name << unknown.Errors;
    EXPECT_TRUE(unknown.Out.empty()) << name;
  }
}

TEST(CommandLine, TheRendererRefusesWhatItCannotWrite) {
  const std::string render = LUMORA_RENDER_PROGRAM;
  struct TCase {
    const char* Args;
    int Status;
    const char* Error;
  };
  const TCase cases[] = {
      {"show.ctl --frame 0 --out first.jpg", 2, "writes .png, .mp4, .mkv, .webm, .gif, .apng and .fseq"},
      {"show.ctl --frame 0 --window 0x0", 2, "each side must lie in 1 … 16384"},
      {"show.ctl --frame 0 --window 16385x10", 2, "each side must lie in 1 … 16384"},
      {"show.ctl --frames 3-1", 2, "the range ends before it starts"},
      {"show.ctl --out show.fseq", 2, "a sequence is written through a channel patch"},
      {"missing.ctl --frame 0 --out f.png", 1, "missing.ctl: cannot open the file (No such file or directory)"},
      {"show.ctl --frame 1", 2, "--out says where the frames go"},
      {"show.ctl --out show.mp4 --preset quick", 2, "--preset: quick not in {ultrafast,superfast,"},
  };
  for (const TCase& c : cases) {
    const TRun r = run(render, c.Args);
    EXPECT_EQ(r.Status, c.Status) << c.Args << "\n" << r.Errors;
    EXPECT_NE(r.Errors.find(c.Error), std::string::npos) << c.Args << "\n" << r.Errors;
  }
}

}  // namespace
}  // namespace lumora

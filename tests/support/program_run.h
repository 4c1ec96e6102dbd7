// Runs a command line through the shell and keeps what it said: the exit
// status and everything it wrote to stdout and stderr.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lumora::test {

struct TProgramRun {
  int Status = -1;
  std::string Out;
  std::string Errors;
};

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The output goes through two files named from scratch, removed after.
inline TProgramRun RunProgram(const std::string& command, const std::string& scratch) {
  const std::string out = scratch + ".out";
  const std::string errors = scratch + ".err";
  const int status = std::system((command + " >" + out + " 2>" + errors).c_str());
  TProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(errors)};
  std::filesystem::remove(out);
  std::filesystem::remove(errors);
  return run;
}

}  // namespace lumora::test

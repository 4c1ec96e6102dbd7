// What the tools' tests share to run the real programs: a program's path
// in the build, and a program started in the background.
#pragma once

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "support/program_run.h"
#include "support/show_fixtures.h"

namespace lumora::test {

inline std::string program(const std::string& name) {
  std::stringstream list(LUMORA_PROGRAMS);
  std::string path;
  while (std::getline(list, path, ',')) {
    if (path.ends_with("/" + name)) return path;
  }
  return name;
}

// A program started in the background through the shell, with its process
// id and, once it ended, its exit status.
class TBackgroundRun {
 public:
  TBackgroundRun(const std::string& command, const test::TPlayerDir& dir)
      : fPid(dir.Path("pid")), fStatus(dir.Path("status")) {
    std::filesystem::remove(fStatus);
    const std::string shell = "(" + command + " >/dev/null 2>" + dir.Path("stderr") + " & echo $! >" + fPid +
                              "; wait $!; echo $? >" + fStatus + ".part; mv " + fStatus + ".part " + fStatus + ") &";
    std::system(shell.c_str());
    for (int i = 0; i < 500 && test::ReadText(fPid).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  void Signal(int signal) const { ::kill(std::stoi(test::ReadText(fPid)), signal); }
  // The exit status, or -1 when it has not ended within 10 s.
  int Status() const {
    for (int i = 0; i < 1000 && !std::filesystem::exists(fStatus); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string text = test::ReadText(fStatus);
    return text.empty() ? -1 : std::stoi(text);
  }

 private:
  std::string fPid;
  std::string fStatus;
};

}  // namespace lumora::test

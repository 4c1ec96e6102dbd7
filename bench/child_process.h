// A program started with its arguments and environment, its output going
// to files, and stopped by a signal: the players the sync bench and its
// tests run side by side.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumora::bench {

class TChildProcess {
 public:
  // Raises std::runtime_error when the program cannot be started. Extra
  // environment entries ("NAME=value") are added to this process's own.
  TChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                const std::string& outFile, const std::string& errorFile);
  // Ends it with SIGKILL when it still runs.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  void Signal(int signal) const;
  // Its exit status once ended within the time (-1 past it, or when a
  // signal ended it).
  int Wait(int milliseconds);
  pid_t Pid() const { return fPid; }

 private:
  pid_t fPid = -1;
  bool fEnded = false;
  int fStatus = -1;
};

}  // namespace lumora::bench

#include "bench/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lumora::bench {

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                             const std::string& outFile, const std::string& errorFile) {
  std::vector<std::string> args = arguments;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), environment.begin(), environment.end());
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::vector<char*> argv = pointers(args);
  const std::vector<char*> envp = pointers(env);
  const int error = posix_spawn(&fPid, argv[0], &files, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  if (error != 0) throw std::runtime_error("cannot start " + arguments.front() + ": " + std::strerror(error));
}

TChildProcess::~TChildProcess() {
  if (fEnded) return;
  ::kill(fPid, SIGKILL);
  ::waitpid(fPid, nullptr, 0);
}

void TChildProcess::Signal(int signal) const {
  if (!fEnded) ::kill(fPid, signal);
}

int TChildProcess::Wait(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!fEnded) {
    int status = 0;
    const pid_t ended = ::waitpid(fPid, &status, WNOHANG);
    if (ended == fPid) {
      fEnded = true;
      fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return fStatus;
}

}  // namespace lumora::bench

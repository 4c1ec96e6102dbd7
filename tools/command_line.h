// What every command-line tool shares: one usage style through CLI11, the
// exit statuses (0 done, 1 the work failed, 2 bad usage), errors on stderr
// naming the tool, and a progress line for long runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include "render/geometry.h"

namespace lumora {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Options that parse but do not go together: bad usage, like a parse error.
class EUsage : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The project's version, as every tool's --version prints it.
const char* Version();

// The running program's own path, beside which play lists are looked up
// as beside the player; empty when it cannot be told.
std::string SelfPath();

// A tool's options with --help and --version. footer is printed after the
// options in --help.
void SetUpTool(CLI::App& app, const std::string& footer = "");

// Parses the arguments, then runs the work. Help and version print to
// stdout and answer 0; bad usage (a parse error, or EUsage from the work)
// prints the error and a pointer to --help on stderr and answers 2; any
// other exception from the work prints "<tool>: <what>" on stderr and
// answers 1.
int RunTool(CLI::App& app, int argc, char** argv, const std::function<int()>& work);

// "WxH" with both sides 1 … limit.
TPoint ParseSize(const std::string& text, std::int32_t limit);
// A CLI11 check of that form.
CLI::Validator SizeValidator(std::int32_t limit);

// --threads N: the threads that draw each frame, 1 … kMaxDrawThreads;
// left out, every core.
inline constexpr std::int32_t kMaxDrawThreads = 256;
void AddThreadsOption(CLI::App& app, std::int32_t& threads);

// A secret typed at a terminal without showing it (asked twice to be sure
// of it), or the first line of standard input when that is no terminal.
std::string ReadNewSecret(const std::string& prompt);

// "A-B" with 0 <= A <= B.
struct TFrameRange {
  std::int32_t First = 0;
  std::int32_t Last = 0;
};
TFrameRange ParseFrameRange(const std::string& text);
CLI::Validator FrameRangeValidator();

// One line on stderr, rewritten in place, while a long run goes on: frames
// done of the total, frames a second and the time left. Silent when stderr
// is not a terminal or when asked to be quiet.
class TProgressLine {
 public:
  TProgressLine(std::string what, bool quiet);
  ~TProgressLine();
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  void Update(std::int64_t done, std::int64_t total);

 private:
  using TClock = std::chrono::steady_clock;

  std::string fWhat;
  bool fShown;
  bool fWritten = false;
  TClock::time_point fStart = TClock::now();
  TClock::time_point fLast;
};

}  // namespace lumora

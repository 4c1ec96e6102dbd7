#include "tools/command_line.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <regex>

namespace lumora {

namespace {

// Redraws at most ten times a second.
constexpr auto kRedraw = std::chrono::milliseconds(100);

std::int32_t boundedNumber(const std::string& digits, std::int32_t limit, const std::string& text) {
  const long long v = std::stoll(digits);
  if (v < 1 || v > limit) {
    throw std::invalid_argument(text + ": each side must lie in 1 … " + std::to_string(limit));
  }
  return static_cast<std::int32_t>(v);
}

}  // namespace

const char* Version() { return LUMORA_VERSION; }

std::string SelfPath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

void SetUpTool(CLI::App& app, const std::string& footer) {
  app.set_version_flag("--version", std::string(app.get_name()) + " " + Version());
  if (!footer.empty()) app.footer(footer);
}

int RunTool(CLI::App& app, int argc, char** argv, const std::function<int()>& work) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::cout << app.version() << "\n";
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\nRun with --help for more information.\n";
    return kExitUsage;
  }
  try {
    return work();
  } catch (const EUsage& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\nRun with --help for more information.\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\n";
    return kExitFailure;
  }
}

TPoint ParseSize(const std::string& text, std::int32_t limit) {
  static const std::regex size("([0-9]{1,9})x([0-9]{1,9})");
  std::smatch m;
  if (!std::regex_match(text, m, size)) throw std::invalid_argument(text + ": a size is WIDTHxHEIGHT, as 1280x720");
  return {boundedNumber(m[1], limit, text), boundedNumber(m[2], limit, text)};
}

CLI::Validator SizeValidator(std::int32_t limit) {
  return CLI::Validator(
      [limit](std::string& text) {
        try {
          ParseSize(text, limit);
          return std::string();
        } catch (const std::invalid_argument& e) {
          return std::string(e.what());
        }
      },
      "WxH");
}

void AddThreadsOption(CLI::App& app, std::int32_t& threads) {
  app.add_option("--threads", threads, "threads that draw each frame (every core)")
      ->check(CLI::Range(1, kMaxDrawThreads));
}

TFrameRange ParseFrameRange(const std::string& text) {
  static const std::regex range("([0-9]{1,9})-([0-9]{1,9})");
  std::smatch m;
  if (!std::regex_match(text, m, range)) throw std::invalid_argument(text + ": a frame range is FIRST-LAST, as 0-99");
  const TFrameRange r{std::stoi(m[1]), std::stoi(m[2])};
  if (r.Last < r.First) throw std::invalid_argument(text + ": the range ends before it starts");
  return r;
}

CLI::Validator FrameRangeValidator() {
  return CLI::Validator(
      [](std::string& text) {
        try {
          ParseFrameRange(text);
          return std::string();
        } catch (const std::invalid_argument& e) {
          return std::string(e.what());
        }
      },
      "A-B");
}

TProgressLine::TProgressLine(std::string what, bool quiet)
    : fWhat(std::move(what)), fShown(!quiet && ::isatty(STDERR_FILENO) != 0) {}

TProgressLine::~TProgressLine() {
  if (fWritten) std::fputc('\n', stderr);
}

void TProgressLine::Update(std::int64_t done, std::int64_t total) {
  if (!fShown) return;
  const TClock::time_point now = TClock::now();
  if (done < total && now - fLast < kRedraw) return;
  fLast = now;
  const double seconds = std::chrono::duration<double>(now - fStart).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
  std::fprintf(stderr, "\r%s %lld of %lld frames, %.1f frames/s, %.1f s left   ", fWhat.c_str(),
               static_cast<long long>(done), static_cast<long long>(total), rate, left);
  std::fflush(stderr);
  fWritten = true;
}

namespace {

std::string readLineQuietly(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  termios before{};
  tcgetattr(STDIN_FILENO, &before);
  termios quiet = before;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  std::string line;
  std::getline(std::cin, line);
  tcsetattr(STDIN_FILENO, TCSANOW, &before);
  std::cerr << '\n';
  return line;
}

}  // namespace

std::string ReadNewSecret(const std::string& prompt) {
  if (::isatty(STDIN_FILENO) == 0) {
    std::string line;
    std::getline(std::cin, line);
    return line;
  }
  const std::string first = readLineQuietly(prompt + ": ");
  if (readLineQuietly(prompt + " again: ") != first) throw std::runtime_error("the two did not match");
  return first;
}

}  // namespace lumora

// lumora-render: loads a show as the player does and writes frames as PNG
// images, for machines without a display and for checking the pipeline.
//   lumora-render FILE --frame N --out OUT.png [--window WxH] [--time]
//   lumora-render FILE --frames A-B --out PATTERN [--window WxH] [--time]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/png_io.h"
#include "show/headless_show.h"

namespace lumora {
namespace {

using TClock = std::chrono::steady_clock;

struct TOptions {
  std::string File;
  std::int32_t First = 0;
  std::int32_t Last = 0;
  bool Range = false;
  std::optional<std::string> Out;
  std::int32_t WindowWidth = 1920;
  std::int32_t WindowHeight = 1080;
  bool Time = false;
};

constexpr const char* kUsage =
    "usage: lumora-render FILE --frame N --out OUT.png [--window WxH] [--time]\n"
    "       lumora-render FILE --frames A-B --out PATTERN [--window WxH] [--time]\n"
    "PATTERN holds one printf-style integer field such as frame-%04d.png.\n";

std::int32_t parseCount(const std::string& text, const std::string& what) {
  static const std::regex number("[0-9]{1,9}");
  if (!std::regex_match(text, number)) throw std::invalid_argument("bad " + what + ": " + text);
  return std::stoi(text);
}

TOptions parseOptions(const std::vector<std::string>& args) {
  TOptions o;
  bool frameGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    std::smatch m;
    if (a == "--frame") {
      o.First = o.Last = parseCount(value(), "frame");
      frameGiven = true;
    } else if (a == "--frames") {
      const std::string& v = value();
      static const std::regex range("([0-9]{1,9})-([0-9]{1,9})");
      if (!std::regex_match(v, m, range)) throw std::invalid_argument("bad frame range: " + v);
      o.First = std::stoi(m[1]);
      o.Last = std::stoi(m[2]);
      if (o.Last < o.First) throw std::invalid_argument("the frame range ends before it starts: " + v);
      o.Range = frameGiven = true;
    } else if (a == "--out") {
      o.Out = value();
    } else if (a == "--window") {
      const std::string& v = value();
      static const std::regex size("([0-9]{1,5})x([0-9]{1,5})");
      if (!std::regex_match(v, m, size)) throw std::invalid_argument("bad window size: " + v);
      o.WindowWidth = std::stoi(m[1]);
      o.WindowHeight = std::stoi(m[2]);
    } else if (a == "--time") {
      o.Time = true;
    } else if (!a.empty() && a[0] == '-') {
      throw std::invalid_argument("unknown option " + a);
    } else if (o.File.empty()) {
      o.File = a;
    } else {
      throw std::invalid_argument("more than one file: " + a);
    }
  }
  if (o.File.empty()) throw std::invalid_argument("no file given");
  if (!frameGiven) throw std::invalid_argument("--frame or --frames is needed");
  return o;
}

// The output name of one frame: the pattern's one integer field filled in.
// Only "%%" and one "%d" with an optional flag 0 and width are accepted, so
// that the pattern can be handed to snprintf safely.
std::string outputName(const std::string& pattern, std::int32_t frame) {
  static const std::regex field("%0?[0-9]{0,2}d");
  std::string rest = std::regex_replace(pattern, std::regex("%%"), "");
  const auto fields = std::distance(std::sregex_iterator(rest.begin(), rest.end(), field), std::sregex_iterator());
  rest = std::regex_replace(rest, field, "");
  if (fields != 1 || rest.find('%') != std::string::npos) {
    throw std::invalid_argument("the pattern needs exactly one integer field such as %04d: " + pattern);
  }
  std::vector<char> name(pattern.size() + 64);
  std::snprintf(name.data(), name.size(), pattern.c_str(), frame);
  return name.data();
}

std::string selfPath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

// The frames asked for must be frames of the show.
void checkRange(const TShowEngine& engine, const TOptions& o) {
  const TScrollBarState& bar = engine.Frames();
  if (o.First < bar.Min - 1 || o.Last > bar.Max - 1) {
    throw std::runtime_error(o.File + ": frame " + std::to_string(o.First < bar.Min - 1 ? o.First : o.Last) +
                             " is outside the frames " + std::to_string(bar.Min - 1) + "-" +
                             std::to_string(bar.Max - 1));
  }
}

void writeFrame(const TBitmap32& frame, const std::string& path) {
  TBitmap32 shown;
  shown.Assign(frame);
  shown.SetAlphaAll(255);
  SavePng(shown, path);
}

double millis(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int run(const TOptions& o) {
  if (o.Out && o.Range) outputName(*o.Out, o.First);
  THeadlessShow show(o.WindowWidth, o.WindowHeight, selfPath());
  // Frames have no sound: the music is not written out.
  show.Engine.ExtractMusic = false;
  const TShowEngine& engine = show.Engine;
  const TClock::time_point opened = TClock::now();
  show.Open(o.File);
  checkRange(engine, o);
  TClock::duration total{}, longest{}, first{};
  for (std::int32_t n = o.First; n <= o.Last; ++n) {
    const TClock::time_point start = TClock::now();
    show.Engine.DrawFrame(n);
    const TClock::time_point end = TClock::now();
    if (n == o.First) first = end - opened;
    total += end - start;
    longest = std::max(longest, end - start);
    if (o.Out) writeFrame(engine.FrameBitmap(), o.Range ? outputName(*o.Out, n) : *o.Out);
  }
  if (o.Time) {
    const double frames = static_cast<double>(o.Last) - o.First + 1;
    std::fprintf(stderr,
                 "open to first frame: %.3f ms; per frame: mean %.3f ms, largest %.3f ms (%d frames); "
                 "derived memory: %.1f MiB\n",
                 millis(first), millis(total) / frames, millis(longest), static_cast<int>(frames),
                 static_cast<double>(engine.LoadMemory()) / (1 << 20));
  }
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << lumora::kUsage;
    return 0;
  }
  try {
    return lumora::run(lumora::parseOptions(args));
  } catch (const std::invalid_argument& e) {
    std::cerr << "lumora-render: " << e.what() << "\n" << lumora::kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "lumora-render: " << e.what() << "\n";
    return 1;
  }
}

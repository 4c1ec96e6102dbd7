// lumora-render: plays a show as the player does, without a display, and
// writes what it draws: frames as PNG images, the whole show as a video
// (MP4, Matroska, WebM, GIF, APNG) with its music, or its lamp channels as
// a light sequence (FSEQ) through a channel patch.
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "export/show_source.h"
#include "export/video_export.h"
#include "io/pending_file.h"
#include "io/signal_cleanup.h"
#include "output/show_sequence.h"
#include "render/png_io.h"
#include "show/headless_show.h"
#include "show/show_pass.h"
#include "tools/command_line.h"

namespace lumora {
namespace {

using TClock = std::chrono::steady_clock;

constexpr std::int32_t kMaxWindowSide = 16384;

struct TOptions {
  std::string File;
  std::optional<std::int32_t> Frame;
  std::string Frames;
  std::string Out;
  std::string Format;
  std::optional<std::int32_t> Crf;
  std::string Preset;
  std::int32_t Loops = 1;
  std::string Size;
  std::int32_t MaxMemory = static_cast<std::int32_t>(kExportMemoryBudget >> 20);
  bool NoMusic = false;
  std::int32_t Threads = kAllCores;
  std::string Patch;
  std::string FseqCompression = "zstd";
  std::string Window = "1920x1080";
  bool Time = false;
  bool Quiet = false;
};

enum class TOutputKind { None, Png, Video, Sequence };

const std::map<std::string, TVideoFormat> kFormats = {
    {"mp4", vfMp4}, {"mkv", vfMatroska}, {"webm", vfWebM}, {"gif", vfGif}, {"apng", vfApng}};

std::string lowerExtension(const std::string& path) {
  std::string e = std::filesystem::path(path).extension().string();
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

TOutputKind outputKind(const TOptions& o) {
  if (o.Out.empty()) return TOutputKind::None;
  if (!o.Format.empty()) return TOutputKind::Video;
  const std::string e = lowerExtension(o.Out);
  if (e == ".png") return TOutputKind::Png;
  if (e == ".fseq") return TOutputKind::Sequence;
  try {
    VideoFormatFromPath(o.Out);
  } catch (const EVideoExport&) {
    throw EUsage(o.Out + ": lumora-render writes .png, " + SupportedVideoExtensions() + " and .fseq");
  }
  return TOutputKind::Video;
}

// The frames asked for, when they were: one frame or a range.
std::optional<TFrameRange> framesAsked(const TOptions& o) {
  if (o.Frame) return TFrameRange{*o.Frame, *o.Frame};
  if (!o.Frames.empty()) return ParseFrameRange(o.Frames);
  return std::nullopt;
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
    throw EUsage("the pattern needs exactly one integer field such as %04d: " + pattern);
  }
  std::vector<char> name(pattern.size() + 64);
  std::snprintf(name.data(), name.size(), pattern.c_str(), frame);
  return name.data();
}

// The frames asked for must be frames the show plays.
void checkRange(const TShowEngine& engine, const TOptions& o, const TFrameRange& r) {
  const TScrollBarState& bar = engine.Frames();
  if (r.First < bar.Min - 1 || r.Last > bar.Max - 1) {
    throw std::runtime_error(o.File + ": frame " + std::to_string(r.First < bar.Min - 1 ? r.First : r.Last) +
                             " is outside the frames " + std::to_string(bar.Min - 1) + "-" +
                             std::to_string(bar.Max - 1));
  }
}

// Written as a video is: under a temporary name, then given its own (see
// io/pending_file.h), so that a link at the name is replaced, never
// written through.
void writeFrame(const TBitmap32& frame, const std::string& path) {
  TBitmap32 shown;
  shown.Assign(frame);
  shown.SetAlphaAll(255);
  try {
    TPendingFile file(path);
    WriteFileBytes(file.TemporaryPath(), EncodePng(shown));
    file.Commit();
  } catch (const TWriteError& error) {
    throw std::runtime_error(path + ": " + error.what());
  }
}

void warn(const std::string& text) { std::fprintf(stderr, "lumora-render: warning: %s\n", text.c_str()); }

double millis(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Frames drawn one by one as asked, written as PNG images or only timed.
int drawFrames(const TOptions& o, const TFrameRange& range) {
  const bool pattern = !o.Frames.empty();
  if (!o.Out.empty() && pattern) outputName(o.Out, range.First);
  const TPoint room = ParseSize(o.Window, kMaxWindowSide);
  THeadlessShow show(room.X, room.Y, SelfPath());
  // Frames have no sound: the music is not written out.
  show.Engine.ExtractMusic = false;
  show.Engine.SetDrawThreads(o.Threads);
  const TClock::time_point opened = TClock::now();
  show.Open(o.File);
  checkRange(show.Engine, o, range);
  TProgressLine progress("drawing", o.Quiet || range.First == range.Last);
  TClock::duration total{}, longest{}, first{};
  for (std::int32_t n = range.First; n <= range.Last; ++n) {
    const TClock::time_point start = TClock::now();
    show.Engine.DrawFrame(n);
    const TClock::time_point end = TClock::now();
    if (n == range.First) first = end - opened;
    total += end - start;
    longest = std::max(longest, end - start);
    if (!o.Out.empty()) writeFrame(show.Engine.FrameBitmap(), pattern ? outputName(o.Out, n) : o.Out);
    progress.Update(n - range.First + 1, std::int64_t{range.Last} - range.First + 1);
  }
  if (o.Time) {
    const double frames = static_cast<double>(range.Last) - range.First + 1;
    std::fprintf(stderr,
                 "open to first frame: %.3f ms; per frame: mean %.3f ms, largest %.3f ms (%d frames); "
                 "derived memory: %.1f MiB\n",
                 millis(first), millis(total) / frames, millis(longest), static_cast<int>(frames),
                 static_cast<double>(show.Engine.LoadMemory()) / (1 << 20));
  }
  return 0;
}

TShowPass openPass(const TOptions& o, bool withMusic) {
  TShowPassOptions p;
  p.ExecutablePath = SelfPath();
  const TPoint room = ParseSize(o.Window, kMaxWindowSide);
  p.RoomWidth = room.X;
  p.RoomHeight = room.Y;
  if (const auto range = framesAsked(o)) {
    p.First = range->First;
    p.Last = range->Last;
  }
  p.Loops = o.Loops;
  p.ExtractMusic = withMusic;
  p.DrawThreads = o.Threads;
  return TShowPass(o.File, p);
}

int exportVideo(const TOptions& o) {
  TExportOptions e;
  e.Format = o.Format.empty() ? VideoFormatFromPath(o.Out) : kFormats.at(o.Format);
  if (!o.Size.empty()) {
    const TPoint size = ParseSize(o.Size, kMaxVideoSide);
    const std::string problem = VideoSizeProblem(e.Format, size.X, size.Y);
    if (!problem.empty()) throw EUsage("--size " + o.Size + ": " + problem);
    e.Width = size.X;
    e.Height = size.Y;
  }
  e.Crf = o.Crf;
  e.Preset = o.Preset;
  // GIF and APNG carry no sound: their music is not even written out.
  e.WithMusic = !o.NoMusic && e.Format != vfGif && e.Format != vfApng;
  e.MemoryBudget = std::uint64_t(o.MaxMemory) << 20;
  e.OnWarning = warn;
  TShowPass pass = openPass(o, e.WithMusic);
  for (const std::string& note : pass.MusicNotes()) warn(note + "; the video is made without sound");
  e.MusicPath = pass.MusicPath();
  TProgressLine progress("exporting", o.Quiet);
  e.OnProgress = [&progress](std::int64_t done, std::int64_t total) { progress.Update(done, total); };
  TShowFrameSource source(pass);
  ExportVideo(source, o.Out, e);
  return 0;
}

int writeSequence(const TOptions& o) {
  if (o.Patch.empty()) throw EUsage("a sequence is written through a channel patch: --patch PATCH.json");
  TShowPass pass = openPass(o, false);
  TProgressLine progress("writing", o.Quiet);
  output::TSequenceOptions s;
  s.Compress = o.FseqCompression == "zstd";
  s.OnProgress = [&progress](std::int64_t done, std::int64_t total) { progress.Update(done, total); };
  s.OnReport = [](const std::string& message) { std::fprintf(stderr, "lumora-render: %s\n", message.c_str()); };
  output::WriteShowSequence(pass, o.Patch, o.Out, s);
  return 0;
}

int run(const TOptions& o) {
  switch (outputKind(o)) {
    case TOutputKind::Video: return exportVideo(o);
    case TOutputKind::Sequence: return writeSequence(o);
    default: break;
  }
  const std::optional<TFrameRange> range = framesAsked(o);
  if (!range) throw EUsage("--frame or --frames says which frames to draw");
  if (o.Out.empty() && !o.Time) throw EUsage("--out says where the frames go (or --time times them only)");
  return drawFrames(o, *range);
}

void addOptions(CLI::App& app, TOptions& o) {
  app.add_option("FILE", o.File, "a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable")
      ->required();
  auto* frame = app.add_option("--frame", o.Frame, "draw this frame")->check(CLI::NonNegativeNumber);
  app.add_option("--frames", o.Frames, "draw frames A to B (a video: only these, in order)")
      ->check(FrameRangeValidator())
      ->excludes(frame);
  app.add_option("--out", o.Out,
                 "write to this file: .png (a range takes a pattern such as frame-%04d.png), .mp4, .mkv, "
                 ".webm, .gif, .apng or .fseq");
  app.add_option("--format", o.Format, "write this video format whatever the name says")
      ->check(CLI::IsMember({"mp4", "mkv", "webm", "gif", "apng"}));
  app.add_option("--crf", o.Crf, "video quality: H.264 0-51 (18), VP9 0-63 (30); lower is better")
      ->check(CLI::Range(0, 63));
  app.add_option("--preset", o.Preset, "x264's speed preset, ultrafast … placebo (veryfast)")
      ->check(CLI::IsMember(X264Presets()));
  app.add_option("--loops", o.Loops, "play the show this many times in a video or sequence")
      ->check(CLI::Range(1, 10000));
  app.add_option("--size", o.Size,
                 "scale the video to fit WxH, keeping the aspect between black bars (without it, frames larger "
                 "than 3840x2160 are fitted into that)")
      ->check(SizeValidator(kMaxVideoSide));
  app.add_option("--max-memory", o.MaxMemory,
                 "the most, in MiB, the video's pictures and encoders may hold; a larger export is refused (2048)")
      ->check(CLI::Range(64, 1 << 20));
  app.add_flag("--no-music", o.NoMusic, "leave the movie's music out of the video");
  app.add_option("--patch", o.Patch, "the channel patch (JSON) a sequence is written through")
      ->check(CLI::ExistingFile);
  app.add_option("--fseq-compression", o.FseqCompression, "zstd or none")->check(CLI::IsMember({"zstd", "none"}));
  app.add_option("--window", o.Window,
                 "the player's window, WxH: a grid movie is drawn to fit 80 % of it (1920x1080)")
      ->check(SizeValidator(kMaxWindowSide));
  app.add_flag("--time", o.Time, "print how long opening and each frame took");
  app.add_flag("--quiet", o.Quiet, "no progress line");
  AddThreadsOption(app, o.Threads);
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  // A signal that ends the program takes the unfinished output and the
  // music written for it along; a reader that goes away is an error of
  // the write, not the end of the program.
  lumora::RemoveOnSignals({SIGINT, SIGTERM, SIGHUP});
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app("Plays a light show as the player does, without a display, and writes frames as PNG images, "
               "the show as a video with its music, or its lamp channels as a light sequence.",
               "lumora-render");
  lumora::TOptions options;
  lumora::SetUpTool(app,
                    "Examples:\n"
                    "  lumora-render show.ctl --frame 0 --out first.png\n"
                    "  lumora-render show.ctl --frames 0-99 --out frame-%04d.png\n"
                    "  lumora-render show.lst --out show.mp4 --size 1280x720\n"
                    "  lumora-render show.ctl --patch lights.json --out show.fseq\n");
  lumora::addOptions(app, options);
  return lumora::RunTool(app, argc, argv, [&options] { return lumora::run(options); });
}

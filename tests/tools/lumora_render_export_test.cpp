// lumora-render writing videos: what may stand at the output's name, the
// size range and the memory an export may take, the music a movie carries
// (left out, with a warning, whenever it cannot be used), and signals that
// end an export midway.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "export/decoded_file.h"
#include "fuzz/hostile_files.h"
#include "fuzz/music_files.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

test::TProgramRun render(const test::TPlayerDir& dir, const std::string& args, const std::string& environment = "") {
  return test::RunProgram(environment + " " + LUMORA_RENDER_PROGRAM + " " + args, dir.Path("run"));
}

// Names in the folder that start with a dot and end in ".part".
std::vector<std::string> partFiles(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.front() == '.' && name.ends_with(".part")) found.push_back(name);
  }
  return found;
}

std::vector<std::uint8_t> songMovie() {
  return fuzz::musicMovie("song.wav", fuzz::WavBytes(44100, 2, fuzz::ToneSamples(44100, 2, 1.0, 440)));
}

// A FIFO or a folder at the name is refused and stays; a file or a link
// there is replaced, PNG and video alike, and what a link points to is
// never written; a name of 250 bytes works.
TEST(LumoraRenderExport, OutputNamesAreReplacedNeverWrittenThrough) {
  test::TPlayerDir dir("render_out");
  const std::string show = dir.Write("cells.tol", test::tolBytes(1, 1, 4, 4, 3));
  const std::string target = dir.Write("target", {5});
  const std::string fifo = dir.Fifo("pipe.mp4");
  const test::TProgramRun refused = render(dir, show + " --out " + fifo);
  EXPECT_EQ(refused.Status, 1);
  EXPECT_NE(refused.Errors.find(fifo + ": cannot write the file (it is not a regular file)"), std::string::npos)
      << refused.Errors;
  struct stat st {};
  EXPECT_TRUE(::lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  for (const std::string name : {"link.png", "link.mp4"}) {
    fs::create_symlink(target, dir.Path(name));
    const std::string frame = name.ends_with(".png") ? " --frame 0" : "";
    const test::TProgramRun linked = render(dir, show + frame + " --out " + dir.Path(name));
    EXPECT_EQ(linked.Status, 0) << linked.Errors;
    EXPECT_FALSE(fs::is_symlink(dir.Path(name))) << name;
    EXPECT_GT(fs::file_size(dir.Path(name)), 1u) << name;
    EXPECT_EQ(ReadFileBytes(target), std::vector<std::uint8_t>{5}) << name;
  }
  const std::string longName = dir.Path(std::string(246, 'l') + ".mp4");
  const test::TProgramRun longRun = render(dir, show + " --out " + longName);
  EXPECT_EQ(longRun.Status, 0) << longRun.Errors;
  EXPECT_TRUE(fs::is_regular_file(longName));
  EXPECT_EQ(partFiles(dir.Path("")), std::vector<std::string>{});
}

// --size takes what the format's encoder takes; without it a frame of
// 5000² pixels (a movie of a hundred bytes) is fitted into 3840 × 2160;
// an export past its memory is refused before it starts, naming both.
TEST(LumoraRenderExport, SizesAndMemoryAreWithinLimits) {
  test::TPlayerDir dir("render_size");
  const std::string show = dir.Write("cells.tol", test::tolBytes(1, 1, 4, 4, 3));
  const test::TProgramRun wide = render(dir, show + " --size 16385x100 --out " + dir.Path("wide.mp4"));
  EXPECT_EQ(wide.Status, 2);
  EXPECT_NE(wide.Errors.find("a video cannot be 16385x100 pixels (H.264 takes 1 to 16384 a side)"), std::string::npos)
      << wide.Errors;
  EXPECT_EQ(render(dir, show + " --size 70000x10 --out " + dir.Path("wide.gif")).Status, 2);

  const std::vector<std::uint8_t> movie = fuzz::wholeFrameMovie(5000);
  EXPECT_LT(movie.size(), 128u);
  const std::string big = dir.Write("big.ctl", movie);
  const test::TProgramRun refused = render(dir, big + " --max-memory 64 --out " + dir.Path("big.webm"));
  EXPECT_EQ(refused.Status, 1);
  EXPECT_NE(refused.Errors.find("a video of 2160x2160 pixels needs about"), std::string::npos) << refused.Errors;
  EXPECT_NE(refused.Errors.find("more than the 64 MiB allowed"), std::string::npos) << refused.Errors;
  EXPECT_FALSE(fs::exists(dir.Path("big.webm")));
  const test::TProgramRun fitted = render(dir, big + " --out " + dir.Path("big.gif"));
  ASSERT_EQ(fitted.Status, 0) << fitted.Errors;
  const fixtures::TDecodedFile file = fixtures::DecodeFile(dir.Path("big.gif"));
  ASSERT_FALSE(file.Frames.empty());
  EXPECT_EQ(file.Frames[0]->Width(), 2160);
  EXPECT_EQ(file.Frames[0]->Height(), 2160);
  EXPECT_EQ(partFiles(dir.Path("")), std::vector<std::string>{});
}

// The movie's music goes into the video. When it cannot be written (the
// temporary directory missing, a file, relative or too long, or another
// user's link where the private directory belongs, with a file of the
// music's name in it) or is no sound file (a play list naming a local
// file), the video is made without sound and a warning says why.
TEST(LumoraRenderExport, MusicThatCannotBeUsedIsLeftOut) {
  test::TPlayerDir dir("render_music_out");
  const std::string movie = dir.Write("song.ctl", songMovie());
  const std::string out = dir.Path("show.mp4");
  const test::TProgramRun played = render(dir, movie + " --loops 30 --out " + out);
  ASSERT_EQ(played.Status, 0) << played.Errors;
  EXPECT_EQ(fixtures::DecodeFile(out).AudioCodec, "aac");
  EXPECT_EQ(played.Errors, "");

  fs::create_directories(dir.Path("other/planted"));
  const std::string planted = dir.Write("other/planted/song.wav", fuzz::WavBytes(8000, 1, {1000, -1000}));
  fs::create_directory_symlink(dir.Path("other/planted"), dir.Path("other/lumora-" + std::to_string(::getuid())));
  dir.Write("a-file", {1});
  const std::string secret = dir.Write("secret.wav", fuzz::WavBytes(44100, 1, fuzz::ToneSamples(44100, 1, 1, 440)));
  const std::string listMovie =
      dir.Write("list.ctl", fuzz::musicMovie("x.m3u8", fuzz::TextBytes(fuzz::HlsPlaylist(secret))));
  struct TCase {
    std::string Movie;
    std::string Tmp;
    std::string Warning;
  };
  const std::vector<TCase> cases = {
      {movie, dir.Path("missing"), "song.wav is left out"},
      {movie, dir.Path("a-file"), "song.wav is left out"},
      {movie, "relative", "the temporary directory is not an absolute path"},
      {movie, dir.Path(std::string(5000, 'x')), "File name too long"},
      {movie, dir.Path("other"), "cannot use it as the private directory (not a directory of the user's own)"},
      {listMovie, dir.Path("tmp"), "it is text (a play list?), not a sound file); the video is made without sound"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Tmp.substr(0, 80));
    const test::TProgramRun run = render(dir, c.Movie + " --loops 30 --out " + out, "TMPDIR=" + c.Tmp);
    ASSERT_EQ(run.Status, 0) << run.Errors;
    EXPECT_NE(run.Errors.find("lumora-render: warning: "), std::string::npos) << run.Errors;
    EXPECT_NE(run.Errors.find(c.Warning), std::string::npos) << run.Errors;
    EXPECT_EQ(fixtures::DecodeFile(out).AudioCodec, "");
  }
  EXPECT_EQ(ReadFileBytes(planted), fuzz::WavBytes(8000, 1, {1000, -1000}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("other/planted")), {}), 1);
}

// Waits (a bounded while) until the condition holds.
bool eventually(const std::function<bool()>& holds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!holds()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// SIGINT, SIGTERM and SIGHUP midway through an export leave neither the
// unfinished file nor the music written for it, and end the program as
// the signal does.
TEST(LumoraRenderExport, SignalsLeaveNothingBehind) {
  test::TPlayerDir dir("render_signals");
  const std::string movie = dir.Write("song.ctl", songMovie());
  const fs::path privateDir = dir.Private("");
  const auto musicFolders = [&] {
    return fs::exists(privateDir) ? std::distance(fs::directory_iterator(privateDir), {}) : 0;
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const std::string out = dir.Path("long.mp4");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(LUMORA_RENDER_PROGRAM, LUMORA_RENDER_PROGRAM, movie.c_str(), "--loops", "10000", "--size", "1920x1080",
              "--quiet", "--out", out.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const bool started = eventually([&] { return !partFiles(dir.Path("")).empty() && musicFolders() == 1; });
    ::kill(child, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(started);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
    EXPECT_EQ(partFiles(dir.Path("")), std::vector<std::string>{});
    EXPECT_EQ(musicFolders(), 0);
    EXPECT_FALSE(fs::exists(out));
  }
}

}  // namespace
}  // namespace lumora

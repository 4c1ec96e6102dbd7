// Files built to ask for more than the budgets allow, each met at a small
// scale under a small budget: every one ends in a clean refusal naming what
// passed which limit, before the work it would have asked for.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fuzz/hostile_files.h"
#include "show/show_engine.h"
#include "support/load_error.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

using namespace test;
using namespace fuzz;

struct TCase {
  const char* Name;
  std::function<std::vector<std::uint8_t>()> File;
  std::uint64_t MemoryBudget = kShowMemoryBudget;
  TWorkLimits Work = {};
  // A part of the refusal; empty for a file that plays.
  const char* Refusal = "";
  const char* Extension = ".ctl";
};

TWorkLimits limits(std::uint64_t TWorkLimits::*part, std::uint64_t value) {
  TWorkLimits l;
  l.*part = value;
  return l;
}

std::vector<std::uint8_t> tolOf(std::uint32_t frames, std::uint16_t rows, std::uint16_t columns,
                                std::uint32_t carried) {
  std::vector<std::uint8_t> bytes = tolHeader(frames, rows, columns);
  bytes.resize(bytes.size() + std::size_t{3} * rows * columns * carried);
  return bytes;
}

const TCase kCases[] = {
    {"older polygon", [] { return legacyMovie(true, 1, {{legacyCornerShape(4, 5000, 100)}}); }, kShowMemoryBudget,
     limits(&TWorkLimits::Points, 4096), "4096 points (at an older polygon or star)"},
    {"older star", [] { return legacyMovie(false, 1, {{legacyCornerShape(5, 3000, 100)}}); }, 1 << 20, {},
     "1 MiB of memory to draw (at an older polygon or star)"},
    {"nested groups", [] { return legacyMovie(true, 1, legacyNestedGroups(8, 100)); }, kShowMemoryBudget,
     limits(&TWorkLimits::Graphics, 500), "500 graphics (at graphics of the movie)"},
    {"body-less children", [] { return legacyMovie(true, 1, legacyNestedGroups(4, 100)); }, 512 << 10, {},
     "(at graphics of the movie)"},
    {"split pieces", [] { return polylineGroupMovie({0, 0, 15, 15}, 3000); }, kShowMemoryBudget,
     limits(&TWorkLimits::Graphics, 200), "200 graphics (at pieces of a split)"},
    {"widest cell range", [] { return polylineGroupMovie(kWidestCellRange, 300); }},
    {"line frames", [] { return gridLinesMovie(4, 512, 512, 1); }, 2 << 20, {}, "(at grid frames)"},
    {"layers without lines", [] { return gridLinesMovie(4, 512, 512, 0); }, 2 << 20, {}, ""},
    {"line records", [] { return gridLinesMovie(1, 1, 1, 20000); }, 512 << 10, {}, "(at grid line records)"},
    {"music past the cap", [] { return musicMovie("song.mp3", kMaxMusicBytes + 1u, 0); }, kShowMemoryBudget, {},
     "the music section holds 536870913 bytes, more than 536870912"},
    {"picture", [] { return pictureMovie(600, 600); }, 1 << 20, {}, "(at a surface)"},
    {"long polyline", [] { return longPolylineMovie(5000); }, kShowMemoryBudget, limits(&TWorkLimits::Points, 4096),
     "(at the points of an outline)"},
    {"outline points", [] { return longPolylineMovie(5000); }, 512 << 10, {}, "(at the points of an outline)"},
    {"rectangles", [] { return rectanglesMovie(300); }, 512 << 10, {}, "(at graphics of the movie)"},
    {"thin zigzag", [] { return longPolylineMovie(4000, 0); }, kShowMemoryBudget,
     limits(&TWorkLimits::FramePixels, 1 << 20), "pixel blends a frame (at the lines of an outline)"},
    {"lamps", [] { return lampStripMovie(4000, 32); }, kShowMemoryBudget, limits(&TWorkLimits::FramePixels, 1 << 20),
     "(at the lamps of a light strip)"},
    {"picture blends", [] { return pictureMovie(1000, 1000); }, kShowMemoryBudget,
     limits(&TWorkLimits::FramePixels, 400000), "(at a picture)"},
    {"swinging light", [] { return swingingLightMovie(500); }, kShowMemoryBudget,
     limits(&TWorkLimits::FramePixels, 400000), "(at a swinging light)"},
    {"masked layers", [] { return maskedLayersMovie(8, 300); }, kShowMemoryBudget,
     limits(&TWorkLimits::PreparePixels, 1 << 20), "(at the masks of masked layers)"},
    {"tol frames past the file", [] { return tolOf(1000, 100, 100, 2); }, kShowMemoryBudget, {},
     "1000 frames of 100 x 100 cells do not fit in 60014 bytes", ".tol"},
    {"tol frames past the budget", [] { return tolOf(20, 100, 100, 20); }, 256 << 10, {}, "(at grid frames)", ".tol"},
};

TEST(HostileFiles, EachEndsInAFrameOrARefusalNamingItsLimit) {
  TPlayerDir dir("hostile");
  for (const TCase& c : kCases) {
    TRecordingHost host;
    TFakeMusic music;
    TShowEngine engine(host, music, dir.Executable());
    engine.MemoryBudget = c.MemoryBudget;
    engine.WorkBudget = c.Work;
    const std::string path = dir.Write(std::string("case") + c.Extension, c.File());
    std::string error;
    try {
      engine.LoadMovie(path);
      error = engine.LastLoadError();
    } catch (const TLoadError& e) {
      error = e.what();
    }
    if (*c.Refusal == '\0') {
      EXPECT_TRUE(error.empty() || error.ends_with(": the movie holds no layers")) << c.Name << ": " << error;
    } else {
      EXPECT_NE(error.find(c.Refusal), std::string::npos) << c.Name << ": " << error;
      EXPECT_EQ(engine.SceneRoot().LayerCount(), 0) << c.Name << ": the movie is refused whole";
    }
    engine.Shutdown();
  }
}

// A frame's drawing is held to the show's memory budget as its loading
// was: what a frame would need past it is left out of that frame and said
// once, and the show plays on. The graphics are thawed, so that each frame
// works out their coverage afresh, as it does for one whose outline changes.
TEST(HostileFiles, AFramePastTheMemoryBudgetIsDrawnInPartAndSaidOnce) {
  TPlayerDir dir("hostile_frame");
  const struct {
    const char* Name;
    std::vector<std::uint8_t> File;
  } movies[] = {
      {"polyline", longPolylineMovie(500)},
      {"whole frame", wholeFrameMovie(2000)},
  };
  for (const auto& m : movies) {
    TRecordingHost host;
    TFakeMusic music;
    TShowEngine engine(host, music, dir.Executable());
    const std::string path = dir.Write("frame.ctl", m.File);
    engine.LoadMovie(path);
    ASSERT_EQ(engine.LastLoadError(), "") << m.Name;
    TBitmap32 unused;
    for (const auto& graphic : engine.SceneRoot().Layer(0).Graphics()) graphic->Effect().SetCoverageFrozen(false, unused);
    engine.MemoryBudget = 1;
    for (std::int32_t frame = 0; frame < 3; ++frame) engine.DrawFrame(frame);
    ASSERT_EQ(host.FrameNotes.size(), 1u) << m.Name;
    EXPECT_EQ(host.FrameNotes[0].find(path + ": frame 1 is drawn only in part: "), 0u) << host.FrameNotes[0];
    EXPECT_NE(host.FrameNotes[0].find("(at crossings of an outline)"), std::string::npos) << host.FrameNotes[0];
    engine.Shutdown();
  }
}

// A grid movie past the body limit is refused by its size alone (the file
// is sparse: nothing of it is written or read).
TEST(HostileFiles, GridMoviesPastTheBodyLimitAreNotRead) {
  TPlayerDir dir("hostile_tol");
  const std::string path = dir.Write("huge.tol", tolHeader(5000, 1000, 1000));
  std::filesystem::resize_file(path, kMaxInflatedSize + 1);
  TRecordingHost host;
  TFakeMusic music;
  TShowEngine engine(host, music, dir.Executable());
  EXPECT_EQ(LoadErrorOf([&] { engine.LoadMovie(path); }), path + ": the grid movie is larger than 1073741824 bytes");
}

// A FIFO given as a movie, grid movie, play list or executable is refused at
// once instead of waiting for a writer that never comes.
TEST(HostileFiles, FifosAreRefusedWithoutWaiting) {
  TPlayerDir dir("hostile_fifo");
  for (const char* name : {"fifo.ctl", "fifo.tol", "fifo.lst", "fifo.exe"}) {
    const std::string path = dir.Fifo(name);
    TRecordingHost host;
    TFakeMusic music;
    TShowEngine engine(host, music, dir.Executable());
    std::string error;
    try {
      if (ClassifyArgument(path) == kArgumentPlayList) engine.LoadPlayList(path);
      if (ClassifyArgument(path) == kArgumentMovie) engine.LoadMovie(path);
      if (ClassifyArgument(path) == kArgumentExecutable) engine.LoadEmbedded(path);
      error = engine.LastLoadError();
    } catch (const TLoadError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, path + ": not a regular file") << name;
  }
}

}  // namespace
}  // namespace lumora

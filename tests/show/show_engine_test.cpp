#include "show/show_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/load_error.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

using test::drawLog;
using test::movieBytes;
using test::tolBytes;

class ShowEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    drawLog().clear();
    Engine.Classes = &Classes;
  }
  void TearDown() override { Engine.Shutdown(); }

  test::TPlayerDir Dir{"engine"};
  test::TRecordingHost Host;
  test::TFakeMusic Music;
  TGraphicClassTable Classes = test::recordingClasses();
  TShowEngine Engine{Host, Music, Dir.Executable()};
};

// What a sink is handed: each frame the engine is asked to draw, not the
// first frame a load draws for itself.
class TFrameLog : public TFrameSink {
 public:
  std::vector<std::int32_t> Frames;
  std::vector<const TFrameData*> GridFrames;
  void FrameDrawn(const TDrawnFrame& frame) override {
    Frames.push_back(frame.Frame);
    GridFrames.push_back(frame.GridFrame);
    EXPECT_EQ(frame.Bitmap.UpdateCount(), 0) << "the frame is finished";
  }
};

TEST_F(ShowEngine, SinksTakeEveryFrameDrawnWithItsCells) {
  TFrameLog log;
  Engine.AddSink(log);
  Engine.LoadMovie(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  EXPECT_TRUE(log.Frames.empty()) << "loading draws frame 0 for itself";
  Engine.DrawFrame(1);
  Engine.DrawFrame(3);
  EXPECT_EQ(log.Frames, (std::vector<std::int32_t>{1, 3}));
  const TFrameDataLayer& grid = *Engine.GridLayers().CurrentLayer();
  EXPECT_EQ(log.GridFrames, (std::vector<const TFrameData*>{grid.Merged[1], grid.Merged[3]}));
  EXPECT_EQ(Engine.SceneOffset(), (TPoint{-40, -50})) << "the drawing moved to the origin with its margin";

  Engine.LoadMovie(Dir.Write("cells.tol", tolBytes(2, 2, 3, 2, 3)));
  Engine.DrawFrame(2);
  EXPECT_EQ(log.GridFrames.back(), &Engine.GridLayers().Items(0).CurrentSection()->Items(2));
  Engine.RemoveSink(log);
  Engine.DrawFrame(1);
  EXPECT_EQ(log.Frames.size(), 3u);
}

TEST_F(ShowEngine, ClassifyArgumentByContainment) {
  EXPECT_EQ(ClassifyArgument("show.ctl"), kArgumentMovie);
  EXPECT_EQ(ClassifyArgument("C:\\SHOWS\\A.TOL"), kArgumentMovie);
  EXPECT_EQ(ClassifyArgument("grid.cot"), kArgumentMovie) << ".cot opens as a grid movie";
  EXPECT_EQ(ClassifyArgument("show.ctl.bak"), kArgumentMovie) << "containment decides";
  EXPECT_EQ(ClassifyArgument("list.LST"), kArgumentPlayList);
  EXPECT_EQ(ClassifyArgument("a.lst.ctl"), kArgumentMovie) << ".ctl wins over .lst";
  EXPECT_EQ(ClassifyArgument("other.exe"), kArgumentExecutable);
  EXPECT_EQ(ClassifyArgument(""), kArgumentNone);
  EXPECT_EQ(ClassifyArgument("notes.txt"), kArgumentNone);
}

// A grid drawing may take 2^28 pixels; one row of pixels more is refused
// before anything is freed or allocated. (The largest one allowed would take
// a gigabyte, too much for a unit test.)
TEST_F(ShowEngine, GridDrawingsPastTheLargestSurfaceAreRefused) {
  Engine.LoadMovie(Dir.Write("small.tol", tolBytes(2, 2, 9, 9, 1)));
  ASSERT_EQ(Engine.FrameBitmap().Width(), 20);
  Host.RoomSize.X = 100000;
  Host.RoomSize.Y = 100000;
  const std::string huge = Dir.Write("huge.tol", tolBytes(1, 1, 16383, 16384, 1));
  EXPECT_EQ(test::LoadErrorOf([&] { Engine.LoadMovie(huge); }),
            huge + ": a grid of 16384 x 16385 pixels is too large to draw");
  EXPECT_EQ(Engine.FrameBitmap().Width(), 20) << "the grid shown before stays";
}

TEST_F(ShowEngine, GridScaleRules) {
  struct TCase {
    std::int32_t WindowWidth, WindowHeight, Rows, Columns, CellWidth, CellHeight;
    std::int32_t DrawWidth, DrawHeight;
    const char* What;
  };
  // Window 1000 × 600: the room is 800 × 480.
  const TCase cases[] = {
      {1000, 600, 2, 10, 9, 9, 9, 9, "fits: s = 1"},
      {1000, 600, 2, 10, 99, 9, 79, 7, "too wide: s = 800 / 999"},
      {1000, 600, 1, 3, 1066, 5, 266, 1, "s = 0.25: 266.5 rounds to even"},
      {1000, 600, 10, 1, 5, 99, 2, 48, "too tall: s = 480 / 999"},
      {1000, 600, 16, 16, 99, 59, 50, 30, "both: h / H < w / W, s = 800 / 1599"},
      {1000, 600, 16, 16, 59, 99, 18, 30, "both: h / H >= w / W, s = 480 / 1599"},
      {1000, 600, 1, 3, 266, 960, 133, 480, "w = W counts as fitting: s = 480 / 960"},
      {1000, 600, 1, 1, 1600, 480, 800, 240, "h = H counts as fitting: s = 800 / 1600"},
      {1001, 601, 1, 1, 801, 5, 801, 5, "0.8 × 1001 rounds to 801"},
  };
  for (const TCase& c : cases) {
    Host.RoomSize.X = c.WindowWidth;
    Host.RoomSize.Y = c.WindowHeight;
    Engine.LoadMovie(Dir.Write("grid.tol", tolBytes(c.Rows, c.Columns, c.CellWidth, c.CellHeight, 1)));
    EXPECT_EQ(Engine.CellDrawWidth(), c.DrawWidth) << c.What;
    EXPECT_EQ(Engine.CellDrawHeight(), c.DrawHeight) << c.What;
    EXPECT_EQ(Engine.FrameBitmap().Width(), (c.DrawWidth + 1) * c.Columns) << c.What;
    EXPECT_EQ(Engine.FrameBitmap().Height(), (c.DrawHeight + 1) * c.Rows) << c.What;
  }
}

TEST_F(ShowEngine, GridMovieDrawsCellsWithSeparators) {
  Host.RoomSize.X = 1000;
  Host.RoomSize.Y = 700;
  Engine.SpeedPosition = 5;
  const auto colour = [](std::int32_t f, std::int32_t r, std::int32_t c) {
    return TWinColor{0x000002 * (10 + f) + 0x000200 * (r + 1) + 0x020000 * (c + 1)};
  };
  Engine.LoadMovie(Dir.Write("cells.tol", tolBytes(2, 2, 3, 2, 3, colour)));
  EXPECT_EQ(Engine.VectorMode(), 0);
  EXPECT_EQ(Engine.FrameBitmap().Width(), 8);
  EXPECT_EQ(Engine.FrameBitmap().Height(), 6);
  EXPECT_EQ(Engine.Frames(), (TScrollBarState{1, 2, 1}));
  EXPECT_EQ(Engine.TickInterval(), 50);
  EXPECT_TRUE(Engine.Running());

  const TColor32 gap = Engine.FrameBitmap().ReadPixel(3, 0);
  Engine.RenderFrame(1);
  const TBitmap32& b = Engine.FrameBitmap();
  // Frame 1, cell (r, c): red 22, green 2 (r + 1), blue 2 (c + 1).
  EXPECT_EQ(b.ReadPixel(0, 0), 0xFF160202u);
  EXPECT_EQ(b.ReadPixel(2, 1), 0xFF160202u);
  EXPECT_EQ(b.ReadPixel(4, 0), 0xFF160204u);
  EXPECT_EQ(b.ReadPixel(6, 4), 0xFF160404u);
  EXPECT_EQ(b.ReadPixel(0, 3), 0xFF160402u);
  EXPECT_EQ(b.ReadPixel(3, 0), gap) << "the column between cells keeps what was there";
  EXPECT_EQ(b.ReadPixel(0, 2), gap) << "the row between cells keeps what was there";
  EXPECT_EQ(b.ReadPixel(7, 5), gap);
  Engine.RenderFrame(3);  // beyond the frames: nothing
  Engine.RenderFrame(-1);
  EXPECT_EQ(b.ReadPixel(0, 0), 0xFF160202u);
}

TEST_F(ShowEngine, AMovieOverItsMemoryBudgetIsDroppedWhole) {
  const std::string path = Dir.Write("mask.ctl", movieBytes({{{1}}, {{20, 21}, true}}, 3));
  Engine.LoadMovie(path);
  // The mask bitmap keeps its size from the first load, so the second
  // charges what every later load of this movie charges.
  Engine.LoadMovie(path);
  const std::uint64_t needed = Engine.LoadMemory();
  EXPECT_GE(needed, std::uint64_t{640} * 4) << "at least one row of the frame";

  Engine.MemoryBudget = needed;
  Engine.LoadMovie(path);
  EXPECT_EQ(Engine.LoadMemory(), needed);
  EXPECT_EQ(Engine.LastLoadError(), "");
  EXPECT_EQ(Engine.Playable(), 1);

  Engine.MemoryBudget = needed - 1;
  Host.Messages.clear();
  Engine.LoadMovie(path);
  EXPECT_EQ(Host.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_NE(Engine.LastLoadError().find("the show needs more than"), std::string::npos) << Engine.LastLoadError();
  EXPECT_EQ(Engine.SceneRoot().LayerCount(), 0);
  EXPECT_TRUE(Engine.FrameBitmap().IsEmpty());
  EXPECT_TRUE(Engine.MaskBitmap().IsEmpty());
  EXPECT_EQ(Engine.Playable(), 0);
  EXPECT_FALSE(Engine.Running());
  EXPECT_EQ(Engine.LoadMemory(), 0u);
}

// Found by fuzzing the whole pipeline: a movie that failed half-way used to
// leave its half-read grid behind, drawn with the cell size of the grid
// movie before, for as long as the frame bar ran.
TEST_F(ShowEngine, AMovieThatFailsHalfWayIsDroppedAndReported) {
  Engine.LoadMovie(Dir.Write("waves.tol", tolBytes(2, 2, 4, 4, 3)));
  ASSERT_TRUE(Engine.Running());
  std::vector<std::uint8_t> broken = movieBytes({{{1}}}, 4);
  broken.back() ^= 0xFF;  // the compressed body's check value
  Host.Messages.clear();
  Engine.LoadMovie(Dir.Write("broken.ctl", broken));
  EXPECT_EQ(Host.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_NE(Engine.LastLoadError().find("broken.ctl"), std::string::npos) << Engine.LastLoadError();
  EXPECT_EQ(Engine.SceneRoot().LayerCount(), 0);
  EXPECT_TRUE(Engine.GridLayers().Empty());
  EXPECT_TRUE(Engine.FrameBitmap().IsEmpty());
  EXPECT_EQ(Engine.Playable(), 0);
  EXPECT_FALSE(Engine.Running());
  Engine.Tick();
  EXPECT_TRUE(drawLog().empty());
}

// Found by fuzzing play lists: "a.ctl", a NUL byte and ".tol" named the
// movie a.ctl for the file system but was read as a grid movie.
// A play list may hold 1 MiB; one byte more and it is not read at all.
TEST_F(ShowEngine, PlayListsUpTo1MiB) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  std::string text = "a.ctl";
  text.resize(std::size_t{1} << 20, '\n');
  Engine.LoadPlayList(Dir.WriteText("at.lst", text));
  EXPECT_EQ(Engine.PlayList(), (std::vector<std::string>{Dir.Path("a.ctl")}));
  EXPECT_TRUE(Host.Messages.empty());

  text.push_back('\n');
  const std::string past = Dir.WriteText("past.lst", text);
  EXPECT_EQ(test::LoadErrorOf([&] { Engine.LoadPlayList(past); }), past + ": the file is larger than 1048576 bytes");
}

// An executable over 1 GiB is not read for a movie (the file is sparse: no
// gigabyte is written or read).
TEST_F(ShowEngine, ExecutablesOver1GiBAreNotRead) {
  const std::string path = Dir.Write("huge.exe", {0x90});
  std::filesystem::resize_file(path, (std::uintmax_t{1} << 30) + 1);
  Engine.LoadEmbedded(path);
  EXPECT_EQ(Engine.LastLoadError(), path + ": the file is larger than 1073741824 bytes");
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(ShowEngine, PlayListLinesWithANulByteNameNoFile) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  Engine.LoadPlayList(Dir.WriteText("show.lst", std::string("a.ctl\0.tol\na.ctl\n", 17)));
  EXPECT_EQ(Engine.PlayList(), (std::vector<std::string>{Dir.Path("a.ctl")}));
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Engine.VectorMode(), 1);
}

// A graphic whose geometry cannot be drawn is found when the show is
// prepared: it is left out of the show, named with its reason, and every
// frame draws the rest.
TEST_F(ShowEngine, AGraphicThatCannotBeDrawnIsLeftOutOfTheShow) {
  Engine.LoadMovie(Dir.Write("show.ctl", movieBytes({{{1, test::kFailingPayload, 2}}, {{3}}}, 4)));
  EXPECT_TRUE(Host.Messages.empty());
  const std::vector<TControlLayer::TDroppedGraphic>& dropped = Engine.SceneRoot().Dropped();
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].Layer, 0);
  EXPECT_EQ(dropped[0].Index, 1);
  EXPECT_EQ(dropped[0].Reason, "region larger than 2^15 pixels in one dimension");
  drawLog().clear();
  Engine.RenderFrame(1);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@1", "2@1", "3@1"}));
  EXPECT_EQ(Engine.FrameBitmap().UpdateCount(), 0) << "the update bracket is closed";
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// The music a movie carries is written into a folder of its own in the
// private directory for each load, kept while the movie plays it and
// removed with the movie; a file that was there before under its name is
// neither played nor removed.
TEST_F(ShowEngine, MusicFilesLeaveWithTheMoviesThatWroteThem) {
  const auto withMusic = [&](const char* file, const char* song, std::uint8_t first = 1) {
    const TMusicData music{song, {first, 2, 3}};
    return Dir.Write(file, movieBytes({{{1}}}, 3, &music));
  };
  const auto playing = [&] { return Engine.MusicPath(); };
  Engine.LoadMovie(withMusic("one.ctl", "a.mp3"));
  const std::string one = playing();
  EXPECT_EQ(std::filesystem::path(one).filename(), "a.mp3");
  EXPECT_EQ(std::filesystem::path(one).parent_path().parent_path(), std::filesystem::path(Dir.Private("")).parent_path());
  EXPECT_EQ(ReadFileBytes(one), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(Engine.MusicName(), "a.mp3");
  EXPECT_EQ(Music.Calls.back(), "play");
  Engine.LoadMovie(withMusic("two.ctl", "a.mp3", 9));
  EXPECT_FALSE(std::filesystem::exists(one)) << "each load writes its own";
  EXPECT_EQ(ReadFileBytes(playing()), (std::vector<std::uint8_t>{9, 2, 3})) << "the second movie's own music";
  const std::string two = playing();
  Engine.LoadMovie(Dir.Write("bad.ctl", {'Q', 0, 'V', 0, 'X', 6, 1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(two)) << "a failed load closes the movie before";
  WriteFileBytes(Dir.Private("kept.mp3"), std::vector<std::uint8_t>{7});
  Engine.LoadMovie(withMusic("four.ctl", "kept.mp3"));
  EXPECT_NE(playing(), Dir.Private("kept.mp3"));
  Engine.Shutdown();
  EXPECT_EQ(ReadFileBytes(Dir.Private("kept.mp3")), std::vector<std::uint8_t>{7}) << "not written, not removed";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Private("")), {}), 1) << "no folder is left";
  EXPECT_EQ(Host.MusicNotes, std::vector<std::string>{});
}

// Music that cannot be written (no private directory to be had) or played
// is left out, the show plays on, and the host is told why.
TEST_F(ShowEngine, MusicLeftOutIsSaid) {
  const TMusicData music{"song.mp3", {1, 2, 3}};
  const std::string movie = Dir.Write("show.ctl", movieBytes({{{1}}}, 3, &music));
  Music.FailOpen = true;
  Engine.LoadMovie(movie);
  EXPECT_TRUE(Engine.MusicPath().empty());
  EXPECT_TRUE(Engine.Running());
  ASSERT_EQ(Host.MusicNotes.size(), 1u);
  EXPECT_EQ(Host.MusicNotes[0], "no such device; the show plays on without its music");
  Music.FailOpen = false;
  const std::string dir = Dir.Private("");
  std::filesystem::remove_all(dir);
  WriteFileBytes(dir.substr(0, dir.size() - 1), std::vector<std::uint8_t>{1});
  Engine.LoadMovie(movie);
  EXPECT_TRUE(Engine.MusicPath().empty());
  EXPECT_EQ(Engine.MusicName(), "song.mp3");
  ASSERT_EQ(Host.MusicNotes.size(), 2u);
  EXPECT_EQ(Host.MusicNotes[1], movie + ": the music song.mp3 is left out: " + dir.substr(0, dir.size() - 1) +
                                    ": cannot use it as the private directory (not a directory of the user's own)");
}

}  // namespace
}  // namespace lumora

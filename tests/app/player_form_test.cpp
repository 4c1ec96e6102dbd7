#include "app/player_form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/player_fakes.h"
#include "model/load_error.h"

namespace lumora {
namespace {

using test::drawLog;
using test::movieBytes;
using test::TLayerPlan;
using test::tolBytes;

using enum TCaptionControl;
constexpr TScrollBarId kFrameBar = TScrollBarId::FrameBar;
constexpr TScrollBarId kSpeedBar = TScrollBarId::SpeedBar;

class PlayerForm : public ::testing::Test {
 protected:
  void SetUp() override {
    drawLog().clear();
    Form.Show().Classes = &Classes;
  }
  void TearDown() override { Form.FormDestroy(); }

  // Ticks until the frame bar wraps to its start; the logs then hold what
  // the wrapping tick did.
  void tickToWrap() {
    for (int i = 0; i < 1000; ++i) {
      const bool atMax = Form.ScrollBar(kFrameBar).Position >= Form.ScrollBar(kFrameBar).Max;
      if (atMax) {
        drawLog().clear();
        Ui.WindowCalls.clear();
      }
      Form.OnTick();
      if (atMax) return;
    }
    FAIL() << "the frame bar never wrapped";
  }

  test::TPlayerDir Dir{"form"};
  test::TFakeToolkit Ui;
  test::TFakeMusic Music;
  TGraphicClassTable Classes = test::recordingClasses();
  TForm1 Form{Ui, Music, Dir.Executable()};
};

TEST_F(PlayerForm, ClassifyArgumentByContainment) {
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

TEST_F(PlayerForm, CommandLineMovieLoadsAndPlays) {
  const std::string path = Dir.Write("show.ctl", movieBytes({{{1, 2}}}, 4));
  Form.FormCreate(path);

  EXPECT_EQ(Form.Show().VectorMode(), 1);
  EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 3, 1})) << "4 merged frames: bar 1 … 3";
  EXPECT_TRUE(Form.Show().Playable());
  EXPECT_TRUE(Ui.Timer);
  EXPECT_EQ(Ui.Interval, 30);
  // The drawing (50, 60)-(150, 100) grown by 10 is 120 × 60 and moves to 10, 10.
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 120);
  EXPECT_EQ(Form.Show().FrameBitmap().Height(), 60);
  const TGraphicBase& g = Form.Show().SceneRoot().Layer(0).Items(0);
  EXPECT_EQ(g.Position().X, -40.0f);
  EXPECT_EQ(g.Position().Y, -50.0f);
  EXPECT_FALSE(g.Selected());
  EXPECT_FALSE(g.EditMode());
  EXPECT_FALSE(g.UseView());
  EXPECT_EQ(Form.OffsetX(), (1000 - 120) / 2);
  EXPECT_EQ(Form.OffsetY(), (700 - 60) / 2);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@0", "2@0", "1@0", "2@0"}))
      << "FitScene draws frame 0, and so does the language toggle";
  EXPECT_EQ(Form.EnglishMode(), 0) << "the language toggle ran once";
  EXPECT_EQ(Ui.Caption(Open), "打开文件");
  EXPECT_EQ(Ui.Caption(Language), "English");
  EXPECT_EQ(Ui.Caption(FrameLabel), "当前帧数 1    ");
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 30 ms    ");
  EXPECT_EQ(Ui.Caption(PlayStop), "停止");
}

TEST_F(PlayerForm, OneMergedFrameNeverPlays) {
  Form.FormCreate(Dir.Write("one.ctl", movieBytes({{{1}}}, 1)));
  EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 1, 1}));
  EXPECT_FALSE(Form.Show().Playable());
  EXPECT_FALSE(Ui.Timer);
  drawLog().clear();
  const std::size_t copies = Ui.Copies.size();
  Form.UserScroll(kFrameBar, 5);
  Form.OnTick();
  Form.FrameBarChange();
  EXPECT_TRUE(drawLog().empty()) << "nothing is drawn on scroll";
  EXPECT_EQ(Ui.Copies.size(), copies);
}

TEST_F(PlayerForm, WrapDrawsFramesZeroAndOneInOneTick) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{7}}}, 4)));
  drawLog().clear();
  Form.OnTick();
  Form.OnTick();
  EXPECT_EQ(Form.ScrollBar(kFrameBar).Position, 3);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"7@1", "7@2"}));
  drawLog().clear();
  Form.OnTick();
  EXPECT_EQ(Form.ScrollBar(kFrameBar).Position, 2);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"7@0", "7@1"})) << "1 then 2 in the same tick";
  EXPECT_EQ(Ui.Caption(FrameLabel), "当前帧数 2    ");
  const auto& copy = Ui.Copies.back();
  EXPECT_EQ(copy.X, Form.OffsetX());
  EXPECT_EQ(copy.Y, Form.OffsetY());
}

TEST_F(PlayerForm, HiddenOrEmptyMaskedLayersAreSkipped) {
  // Layer 2 is masked by its graphic 20; layer 3 is masked and empty.
  Form.FormCreate(Dir.Write("mask.ctl", movieBytes({{{1}}, {{20, 21}, true}, {{}, true}, {{4}}}, 3)));
  EXPECT_EQ(Form.Show().MaskBitmap().Width(), 640) << "a masked layer sizes the mask bitmap";
  drawLog().clear();
  Form.Show().RenderFrame(1);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@1", "21@1", "4@1"})) << "the mask graphic is not drawn";
  EXPECT_EQ(Form.Show().MaskBitmap().DrawMode, dmBlend);
  Form.Show().SceneRoot().Layer(1).Visible = 0;
  drawLog().clear();
  Form.Show().RenderFrame(0);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@0", "4@0"}));
  EXPECT_EQ(Form.Show().FrameBitmap().ReadPixel(0, 0), 0xFF000000u) << "cleared to opaque black";
  EXPECT_EQ(Form.Show().FrameBitmap().UpdateCount(), 0) << "the update bracket is closed";
}

TEST_F(PlayerForm, UnknownMagicKeepsTheRangeAndEmptiesTheScene) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Ui.Messages.clear();
  Ui.DialogAnswers.push_back(Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7, 8}));
  Form.OpenClick();
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"警告", "文件格式错误"},
                                                                           {"警告", "没有图元"}}));
  EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 3, 1})) << "the range of the movie before";
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 0);
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 800);
  EXPECT_EQ(Form.Show().FrameBitmap().Height(), 600);
}

TEST_F(PlayerForm, PlayListReloadsItsFirstEntryOnceThenCycles) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  Dir.Write("b.tol", tolBytes(2, 2, 4, 4, 3));
  Form.FormCreate(Dir.WriteText("show.lst", "a.ctl\r\nmissing.ctl\r\nb.tol\r\n"));
  EXPECT_EQ(Form.Show().PlayList(), (std::vector<std::string>{Dir.Path("a.ctl"), Dir.Path("b.tol")}));
  EXPECT_TRUE(Form.Show().PlayListActive());
  EXPECT_EQ(Form.Show().VectorMode(), 1);

  // A vector load maximises the window; a grid load does not.
  std::vector<std::string> played;
  for (int wrap = 0; wrap < 4; ++wrap) {
    tickToWrap();
    const bool vector = Form.Show().VectorMode() == 1 && !Ui.WindowCalls.empty();
    played.push_back(vector ? "a.ctl" : Form.Show().VectorMode() == 0 ? "b.tol" : "?");
    EXPECT_TRUE(Ui.Timer) << "wrap " << wrap;
  }
  EXPECT_EQ(played, (std::vector<std::string>{"a.ctl", "b.tol", "a.ctl", "b.tol"}));
}

TEST_F(PlayerForm, SpeedBarAndTheIntervalsOfLaterLoads) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Form.UserScroll(kSpeedBar, 7);
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 70 ms    ");
  EXPECT_EQ(Ui.Interval, 70);

  Form.WMCopyData(Dir.Write("other.ctl", movieBytes({{{2}}}, 4)));
  EXPECT_EQ(Ui.Interval, 30) << "a vector movie sets 30 ms";
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 70 ms    ");
  Form.WMCopyData(Dir.Write("grid.tol", tolBytes(2, 2, 4, 4, 3)));
  EXPECT_EQ(Ui.Interval, 7) << "a grid movie takes the position itself";
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 70 ms    ");
  Ui.DialogAnswers.push_back(Dir.Path("other.ctl"));
  Form.OpenClick();
  EXPECT_EQ(Ui.Interval, 70) << "the open button runs SpeedBarChange";
  EXPECT_TRUE(Ui.Timer);
}

TEST_F(PlayerForm, StartWithoutArgumentKeepsTheLayoutCaptions) {
  std::vector<std::uint8_t> executable(300, 0x90);
  Dir.Write("lumora", AppendMovie(executable, movieBytes({{{1}}}, 4)));
  Form.FormCreate("");
  EXPECT_EQ(Form.EnglishMode(), 1);
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 1) << "the appended movie is read";
  EXPECT_EQ(Ui.Caption(Open), "打开文件");
  EXPECT_EQ(Ui.Caption(FrameLabel), "当前帧    ");
  EXPECT_EQ(Ui.Caption(SpeedLabel), "速度  30ms     ");
  EXPECT_EQ(Ui.Caption(PlayStop), "停止");
  EXPECT_EQ(Ui.Caption(Hide), "隐藏");
  EXPECT_EQ(Ui.Caption(Close), "退出");
  EXPECT_EQ(Ui.Caption(Language), "English");
  Form.OnTick();
  EXPECT_EQ(Ui.Caption(FrameLabel), "current frame 2");
  EXPECT_EQ(Ui.Caption(Open), "打开文件");

  Form.LanguageClick();
  EXPECT_EQ(Form.EnglishMode(), 0);
  EXPECT_EQ(Ui.Caption(Open), "打开文件");
  EXPECT_EQ(Ui.Caption(FrameLabel), "当前帧数 2    ");
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 30 ms    ");
  EXPECT_EQ(Ui.Caption(PlayStop), "停止");
  EXPECT_EQ(Ui.Caption(Language), "English");

  Form.LanguageClick();
  EXPECT_EQ(Ui.Caption(Open), "Open");
  EXPECT_EQ(Ui.Caption(FrameLabel), "current frame 2");
  EXPECT_EQ(Ui.Caption(SpeedLabel), "Speed    30 ms");
  EXPECT_EQ(Ui.Caption(Hide), "hide");
  EXPECT_EQ(Ui.Caption(Close), "close");
  EXPECT_EQ(Ui.Caption(Language), "中文");
  Form.PlayStopClick();
  EXPECT_EQ(Ui.Caption(PlayStop), "play");
  Form.LanguageClick();
  EXPECT_EQ(Ui.Caption(PlayStop), "播放") << "PlayStop follows the timer";
}

TEST_F(PlayerForm, OpenFromEnglishModeSwitchesOnlyTheLabels) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Form.LanguageClick();
  ASSERT_EQ(Form.EnglishMode(), 1);
  Ui.DialogAnswers.push_back(Dir.Path("show.ctl"));
  Form.OpenClick();
  EXPECT_EQ(Form.EnglishMode(), 0);
  EXPECT_EQ(Ui.Caption(FrameLabel), "当前帧数 1    ");
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 30 ms    ");
  EXPECT_EQ(Ui.Caption(Open), "Open");
  EXPECT_EQ(Ui.Caption(Language), "中文");
}

TEST_F(PlayerForm, CancelledOpenLeavesTheMovieStopped) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  ASSERT_TRUE(Ui.Timer);
  Form.OpenClick();
  EXPECT_FALSE(Ui.Timer);
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(PlayerForm, BadGridFromTheOpenButtonShowsTheMessage) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Ui.DialogAnswers.push_back(Dir.Write("bad.tol", {0, 0, 0, 9}));
  Form.OpenClick();
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 1) << "the movie shown before stays";
  EXPECT_EQ(Form.Show().VectorMode(), 1);
}

TEST_F(PlayerForm, CommandLineAndHandOffFailuresAreReportedNotRaised) {
  Form.FormCreate(Dir.Write("bad.tol", {1, 2, 3}));
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Form.EnglishMode(), 0) << "start-up goes on";

  Form.WMCopyData(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Ui.Messages.clear();
  Form.WMCopyData(Dir.Path("missing.lst"));
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 1);
  EXPECT_TRUE(Ui.Timer);
}

TEST_F(PlayerForm, FailingPlayListEntryPlaysOnAndMovesOn) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  Dir.Write("b.tol", tolBytes(2, 2, 4, 4, 3));
  Dir.Write("c.ctl", movieBytes({{{3}}}, 3));
  Form.FormCreate(Dir.WriteText("show.lst", "a.ctl\nb.tol\nc.ctl"));
  Dir.Write("b.tol", {1, 2, 3});
  tickToWrap();  // a.ctl again
  tickToWrap();  // b.tol fails
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Form.Show().VectorMode(), 1);
  EXPECT_TRUE(Form.Show().Playable());
  EXPECT_TRUE(Ui.Timer) << "the movie before plays on";
  tickToWrap();
  EXPECT_NE(std::find(drawLog().begin(), drawLog().end(), "3@0"), drawLog().end()) << "the list moved on to c.ctl";
}

TEST_F(PlayerForm, HandOffLoadsAndEndsMaximised) {
  Form.FormCreate("");
  Ui.WindowCalls.clear();
  Form.WMCopyData(Dir.Write("A.CTL", movieBytes({{{1}}}, 4)));
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 1);
  ASSERT_GE(Ui.WindowCalls.size(), 2u);
  EXPECT_EQ(Ui.WindowCalls[Ui.WindowCalls.size() - 2], "min");
  EXPECT_EQ(Ui.WindowCalls.back(), "max");
}

// A grid drawing may take 2^28 pixels; one row of pixels more is refused
// before anything is freed or allocated. (The largest one allowed would take
// a gigabyte, too much for a unit test.)
TEST_F(PlayerForm, GridDrawingsPastTheLargestSurfaceAreRefused) {
  Form.Show().LoadMovie(Dir.Write("small.tol", tolBytes(2, 2, 9, 9, 1)));
  ASSERT_EQ(Form.Show().FrameBitmap().Width(), 20);
  Ui.Width = 100000;
  Ui.Height = 100000;
  const std::string huge = Dir.Write("huge.tol", tolBytes(1, 1, 16383, 16384, 1));
  EXPECT_EQ(test::LoadErrorOf([&] { Form.Show().LoadMovie(huge); }),
            huge + ": a grid of 16384 x 16385 pixels is too large to draw");
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 20) << "the grid shown before stays";
}

TEST_F(PlayerForm, GridScaleRules) {
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
    Ui.Width = c.WindowWidth;
    Ui.Height = c.WindowHeight;
    Form.Show().LoadMovie(Dir.Write("grid.tol", tolBytes(c.Rows, c.Columns, c.CellWidth, c.CellHeight, 1)));
    EXPECT_EQ(Form.Show().CellDrawWidth(), c.DrawWidth) << c.What;
    EXPECT_EQ(Form.Show().CellDrawHeight(), c.DrawHeight) << c.What;
    EXPECT_EQ(Form.Show().FrameBitmap().Width(), (c.DrawWidth + 1) * c.Columns) << c.What;
    EXPECT_EQ(Form.Show().FrameBitmap().Height(), (c.DrawHeight + 1) * c.Rows) << c.What;
  }
}

TEST_F(PlayerForm, GridMovieDrawsCellsWithSeparators) {
  Ui.Width = 1000;
  Ui.Height = 700;
  Form.UserScroll(kSpeedBar, 5);
  const auto colour = [](std::int32_t f, std::int32_t r, std::int32_t c) {
    return TWinColor{0x000002 * (10 + f) + 0x000200 * (r + 1) + 0x020000 * (c + 1)};
  };
  Form.Show().LoadMovie(Dir.Write("cells.tol", tolBytes(2, 2, 3, 2, 3, colour)));
  EXPECT_EQ(Form.Show().VectorMode(), 0);
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 8);
  EXPECT_EQ(Form.Show().FrameBitmap().Height(), 6);
  EXPECT_EQ(Form.OffsetX(), 496);
  EXPECT_EQ(Form.OffsetY(), 347);
  EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 2, 1}));
  EXPECT_EQ(Ui.Interval, 5);
  EXPECT_TRUE(Ui.Timer);

  const TColor32 gap = Form.Show().FrameBitmap().ReadPixel(3, 0);
  Form.Show().RenderFrame(1);
  const TBitmap32& b = Form.Show().FrameBitmap();
  // Frame 1, cell (r, c): red 22, green 2 (r + 1), blue 2 (c + 1).
  EXPECT_EQ(b.ReadPixel(0, 0), 0xFF160202u);
  EXPECT_EQ(b.ReadPixel(2, 1), 0xFF160202u);
  EXPECT_EQ(b.ReadPixel(4, 0), 0xFF160204u);
  EXPECT_EQ(b.ReadPixel(6, 4), 0xFF160404u);
  EXPECT_EQ(b.ReadPixel(0, 3), 0xFF160402u);
  EXPECT_EQ(b.ReadPixel(3, 0), gap) << "the column between cells keeps what was there";
  EXPECT_EQ(b.ReadPixel(0, 2), gap) << "the row between cells keeps what was there";
  EXPECT_EQ(b.ReadPixel(7, 5), gap);
  Form.Show().RenderFrame(3);  // beyond the frames: nothing
  Form.Show().RenderFrame(-1);
  EXPECT_EQ(b.ReadPixel(0, 0), 0xFF160202u);
}

TEST_F(PlayerForm, ScrollBarsClampAndFireOnChange) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 6)));
  drawLog().clear();
  Form.UserScroll(kFrameBar, 99);
  EXPECT_EQ(Form.ScrollBar(kFrameBar).Position, 5);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@4"}));
  Form.UserScroll(kFrameBar, 5);
  EXPECT_EQ(drawLog().size(), 1u) << "no change, no draw";
  Form.StepFrame(-1);
  Form.StepFrame(-10);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@4", "1@3", "1@0"}));
  Form.UserScroll(kSpeedBar, 0);
  EXPECT_EQ(Form.ScrollBar(kSpeedBar).Position, 1);
  EXPECT_EQ(Ui.Interval, 10);
  Form.UserScroll(kSpeedBar, 11);
  EXPECT_EQ(Ui.Interval, 100);
  EXPECT_EQ(Ui.Bars[kSpeedBar], (TScrollBarState{1, 10, 10})) << "the toolkit shows the state";
}

TEST_F(PlayerForm, NegativeOffsetsTruncateTowardZero) {
  Ui.Width = 100;
  Ui.Height = 100;
  Form.FormCreate(Dir.Write("wide.ctl", movieBytes({{{1}}}, 4, nullptr, 101, 103)));
  // The drawing (40, 50)-(160, 110) is not inside 101 × 103: nothing moves.
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 101);
  EXPECT_EQ(Form.OffsetX(), 0) << "(100 - 101) div 2";
  EXPECT_EQ(Form.OffsetY(), -1) << "(100 - 103) div 2";
}

TEST_F(PlayerForm, NoBeatsStopsBeforeTheFrameBar) {
  Form.FormCreate(Dir.Write("empty.ctl", movieBytes({{{1}}}, 0)));
  EXPECT_EQ(Ui.Messages,
            (std::vector<std::pair<std::string, std::string>>{{"警告", "网格程序的节拍数为零,请增加节拍"}}));
  EXPECT_FALSE(Form.Show().Playable());
  EXPECT_FALSE(Ui.Timer);
}

TEST_F(PlayerForm, PlayStopPanelAndClose) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Form.PlayStopClick();
  EXPECT_FALSE(Ui.Timer);
  EXPECT_EQ(Ui.Caption(PlayStop), "播放");
  Form.PlayStopClick();
  EXPECT_TRUE(Ui.Timer);
  EXPECT_EQ(Ui.Caption(PlayStop), "停止");
  Form.HideClick();
  EXPECT_FALSE(Ui.Panel);
  Form.FormMouseDown();
  EXPECT_TRUE(Ui.Panel);
  Form.CloseClick();
  EXPECT_TRUE(Ui.Closed);
  Form.FormDestroy();
  EXPECT_FALSE(Ui.Timer);
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 0);
  EXPECT_EQ(Music.Calls.back(), "close");
}

TEST_F(PlayerForm, MusicPlaysLoopsAndIsDroppedWhenItFails) {
  const TMusicData song{"song.mp3", {1, 2, 3}};
  const std::string tmpSong = Dir.Path("tmp/song.mp3");
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4, &song)));
  EXPECT_EQ(Form.Show().MusicPath(), tmpSong);
  EXPECT_EQ(Music.Calls, (std::vector<std::string>{"close", "open " + tmpSong, "play"}));

  Music.Calls.clear();
  Form.PlayStopClick();
  Form.PlayStopClick();
  EXPECT_EQ(Music.Calls, (std::vector<std::string>{"pause", "play"}));
  Music.Calls.clear();
  Music.At = 100;
  Form.OnTick();
  EXPECT_EQ(Music.Calls, (std::vector<std::string>{"rewind", "play"})) << "position >= length loops";

  Music.FailOpen = true;
  Music.Calls.clear();
  Form.WMCopyData(Dir.Path("show.ctl"));
  EXPECT_TRUE(Form.Show().MusicPath().empty());
  EXPECT_EQ(Music.Calls.back(), "close");
  EXPECT_TRUE(Ui.Timer) << "the animation plays on";
}

TEST_F(PlayerForm, CotOpensLikeTolFromTheCommandLineAndTheHandOff) {
  TFrameDataLayer grid;
  grid.SetRows(1);
  grid.SetColumns(2);
  grid.CellWidth = 7;
  grid.CellHeight = 5;
  auto section = std::make_unique<TSection>();
  for (int f = 0; f < 3; ++f) section->Add(std::make_unique<TFrameData>(1, 2));
  grid.Add(std::move(section));
  const std::string cot = Dir.Write("show.cot", grid.SaveToCot());
  Form.FormCreate(cot);
  EXPECT_EQ(Form.Show().VectorMode(), 0);
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 16);
  EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 2, 1}));
  EXPECT_EQ(Form.EnglishMode(), 0) << "a movie argument runs the language toggle";
  Form.WMCopyData(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Form.WMCopyData(cot);
  EXPECT_EQ(Form.Show().VectorMode(), 0);
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(PlayerForm, ExecutableArgumentReadsItsAppendedMovie) {
  std::vector<std::uint8_t> executable(300, 0x90);
  Form.FormCreate(Dir.Write("other.exe", AppendMovie(executable, movieBytes({{{1}}}, 4))));
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 1);
  EXPECT_EQ(Form.EnglishMode(), 1);
  EXPECT_TRUE(Ui.Timer);
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

TEST_F(PlayerForm, AMovieOverItsMemoryBudgetIsDroppedWhole) {
  const std::string path = Dir.Write("mask.ctl", movieBytes({{{1}}, {{20, 21}, true}}, 3));
  Form.FormCreate(path);
  // The mask bitmap keeps its size from the first load, so the second
  // charges what every later load of this movie charges.
  Form.Show().LoadMovie(path);
  const std::uint64_t needed = Form.Show().LoadMemory();
  EXPECT_GE(needed, std::uint64_t{640} * 4) << "at least one row of the frame";

  Form.Show().MemoryBudget = needed;
  Form.Show().LoadMovie(path);
  EXPECT_EQ(Form.Show().LoadMemory(), needed);
  EXPECT_EQ(Form.Show().LastLoadError(), "");
  EXPECT_EQ(Form.Show().Playable(), 1);

  Form.Show().MemoryBudget = needed - 1;
  Ui.Messages.clear();
  Form.Show().LoadMovie(path);
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_NE(Form.Show().LastLoadError().find("the show needs more than"), std::string::npos) << Form.Show().LastLoadError();
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 0);
  EXPECT_TRUE(Form.Show().FrameBitmap().IsEmpty());
  EXPECT_TRUE(Form.Show().MaskBitmap().IsEmpty());
  EXPECT_EQ(Form.Show().Playable(), 0);
  EXPECT_FALSE(Form.Show().Running());
  EXPECT_EQ(Form.Show().LoadMemory(), 0u);
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// Found by fuzzing the whole pipeline: a movie that failed half-way used to
// leave its half-read grid behind, drawn with the cell size of the grid
// movie before, for as long as the frame bar ran.
TEST_F(PlayerForm, AMovieThatFailsHalfWayIsDroppedAndReported) {
  Form.FormCreate(Dir.Write("waves.tol", tolBytes(2, 2, 4, 4, 3)));
  ASSERT_TRUE(Ui.Timer);
  std::vector<std::uint8_t> broken = movieBytes({{{1}}}, 4);
  broken.back() ^= 0xFF;  // the compressed body's check value
  Ui.Messages.clear();
  Form.Show().LoadMovie(Dir.Write("broken.ctl", broken));
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_NE(Form.Show().LastLoadError().find("broken.ctl"), std::string::npos) << Form.Show().LastLoadError();
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 0);
  EXPECT_TRUE(Form.Show().GridLayers().Empty());
  EXPECT_TRUE(Form.Show().FrameBitmap().IsEmpty());
  EXPECT_EQ(Form.Show().Playable(), 0);
  EXPECT_FALSE(Ui.Timer);
  Form.OnTick();
  EXPECT_TRUE(drawLog().empty());
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// Found by fuzzing play lists: "a.ctl", a NUL byte and ".tol" named the
// movie a.ctl for the file system but was read as a grid movie.
// A play list may hold 1 MiB; one byte more and it is not read at all.
TEST_F(PlayerForm, PlayListsUpTo1MiB) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  std::string text = "a.ctl";
  text.resize(std::size_t{1} << 20, '\n');
  Form.FormCreate(Dir.WriteText("at.lst", text));
  EXPECT_EQ(Form.Show().PlayList(), (std::vector<std::string>{Dir.Path("a.ctl")}));
  EXPECT_TRUE(Ui.Messages.empty());

  text.push_back('\n');
  Form.WMCopyData(Dir.WriteText("past.lst", text));
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Form.Show().LastLoadError(), Dir.Path("past.lst") + ": the file is too large");
}

// An executable over 1 GiB is not read for a movie (the file is sparse: no
// gigabyte is written or read).
TEST_F(PlayerForm, ExecutablesOver1GiBAreNotRead) {
  const std::string path = Dir.Write("huge.exe", {0x90});
  std::filesystem::resize_file(path, (std::uintmax_t{1} << 30) + 1);
  Form.Show().LoadEmbedded(path);
  EXPECT_EQ(Form.Show().LastLoadError(), path + ": the file is too large");
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(PlayerForm, PlayListLinesWithANulByteNameNoFile) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  Form.FormCreate(Dir.WriteText("show.lst", std::string("a.ctl\0.tol\na.ctl\n", 17)));
  EXPECT_EQ(Form.Show().PlayList(), (std::vector<std::string>{Dir.Path("a.ctl")}));
  EXPECT_TRUE(Ui.Messages.empty());
  EXPECT_EQ(Form.Show().VectorMode(), 1);
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// A graphic whose geometry cannot be drawn is found when the show is
// prepared: it is left out of the show, named with its reason, and every
// frame draws the rest.
TEST_F(PlayerForm, AGraphicThatCannotBeDrawnIsLeftOutOfTheShow) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1, test::kFailingPayload, 2}}, {{3}}}, 4)));
  EXPECT_TRUE(Ui.Messages.empty());
  const std::vector<TControlLayer::TDroppedGraphic>& dropped = Form.Show().SceneRoot().Dropped();
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].Layer, 0);
  EXPECT_EQ(dropped[0].Index, 1);
  EXPECT_EQ(dropped[0].Reason, "region larger than 2^15 pixels in one dimension");
  drawLog().clear();
  Form.Show().RenderFrame(1);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@1", "2@1", "3@1"}));
  EXPECT_EQ(Form.Show().FrameBitmap().UpdateCount(), 0) << "the update bracket is closed";
}

}  // namespace
}  // namespace lumora

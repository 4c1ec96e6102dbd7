#include "app/player_form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/player_fakes.h"

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

TEST_F(PlayerForm, UnknownMagicEmptiesTheSceneAndStartsTheBarOver) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Ui.Messages.clear();
  Ui.DialogAnswers.push_back(Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7, 8}));
  Form.OpenClick();
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"警告", "文件格式错误"},
                                                                           {"警告", "没有图元"}}));
  EXPECT_EQ(Ui.Details.front(), Dir.Path("bad.ctl") + ": not a movie file: it does not start with a movie's mark");
  EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 1, 1})) << "nothing plays";
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 0);
  EXPECT_EQ(Form.Show().FrameBitmap().Width(), 800);
  EXPECT_EQ(Form.Show().FrameBitmap().Height(), 600);
}

TEST_F(PlayerForm, PlayListPlaysEachEntryOnceAPass) {
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
  EXPECT_EQ(played, (std::vector<std::string>{"b.tol", "a.ctl", "b.tol", "a.ctl"}));
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
  EXPECT_EQ(Ui.Interval, 70) << "a grid movie plays at the interval the bar shows";
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

TEST_F(PlayerForm, FailingPlayListEntryIsSkipped) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 3));
  Dir.Write("b.tol", tolBytes(2, 2, 4, 4, 3));
  Dir.Write("c.ctl", movieBytes({{{3}}}, 3));
  Form.FormCreate(Dir.WriteText("show.lst", "a.ctl\nb.tol\nc.ctl"));
  Dir.Write("b.tol", {1, 2, 3});
  tickToWrap();  // b.tol fails
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(test::asTest(Form.Show().SceneRoot().Layer(0).Items(0)).Payload, 3) << "the list moved on to c.ctl";
  EXPECT_TRUE(Form.Show().Playable());
  EXPECT_TRUE(Ui.Timer);
}

TEST_F(PlayerForm, HandOffLoadsAndEndsMaximised) {
  Form.FormCreate("");
  Ui.WindowCalls.clear();
  Form.WMCopyData(Dir.Write("A.CTL", movieBytes({{{1}}}, 4)));
  EXPECT_EQ(Form.Show().SceneRoot().LayerCount(), 1);
  EXPECT_EQ(Ui.WindowCalls.back(), "front") << "minimising and maximising could leave the window unmapped";
  EXPECT_EQ(Ui.Title, "A.CTL — Lumora Stage");
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
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4, &song)));
  const std::string tmpSong = Form.Show().MusicPath();
  EXPECT_EQ(ReadFileBytes(tmpSong), song.Data);
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

// A list in a show's own folder finds its movies there; entries found
// nowhere are named; a list that names nothing playable says so.
TEST_F(PlayerForm, PlayListsLookBesideThemselvesFirst) {
  std::filesystem::create_directories(Dir.Path("shows"));
  Dir.Write("shows/a.ctl", movieBytes({{{1}}}, 3));
  Dir.Write("b.tol", tolBytes(2, 2, 4, 4, 3));
  Form.FormCreate(Dir.WriteText("shows/list.lst", "a.ctl\nb.tol\ngone.ctl\n"));
  EXPECT_EQ(Form.Show().PlayList(), (std::vector<std::string>{Dir.Path("shows/a.ctl"), Dir.Path("b.tol")}))
      << "beside the list, then beside the player";
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_EQ(Ui.Messages[0].second, "找不到文件");
  EXPECT_EQ(Ui.Details[0], Dir.Path("shows/list.lst") + ": not found beside the list or the player: gone.ctl");

  Ui.Messages.clear();
  Form.WMCopyData(Dir.WriteText("empty.lst", "\n\n"));
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Ui.Details.back(), Dir.Path("empty.lst") + ": names no movie that can be found beside it or the player");
}

// Whatever starts or stops the timer, the caption follows; a new movie
// starts at its first frame.
TEST_F(PlayerForm, PlayStopAndTheFrameBarFollowEveryLoad) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 6)));
  Form.PlayStopClick();
  ASSERT_EQ(Ui.Caption(PlayStop), "播放");
  Form.UserScroll(kFrameBar, 4);
  Ui.DialogAnswers.push_back(Dir.Write("other.ctl", movieBytes({{{2}}}, 6)));
  Form.OpenClick();
  EXPECT_TRUE(Ui.Timer);
  EXPECT_EQ(Ui.Caption(PlayStop), "停止") << "the opened movie plays";
  EXPECT_EQ(Form.ScrollBar(kFrameBar).Position, 1) << "from its first frame";
  Form.PlayStopClick();
  EXPECT_FALSE(Ui.Timer);
  EXPECT_EQ(Ui.Caption(PlayStop), "播放");
}

// Messages name the file and the fault on a second line; a start that
// cannot play keeps the window and says why.
TEST_F(PlayerForm, MessagesNameTheFileAndTheFault) {
  Form.FormCreate(Dir.WriteText("notes.txt", "hello"));
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{{"错误", "文件格式不正确"}}));
  EXPECT_EQ(Ui.Details[0], Dir.Path("notes.txt") +
                               ": not a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable "
                               "carrying a movie");
  EXPECT_FALSE(Ui.Closed);
  Form.WMCopyData(Dir.Path("missing.ctl"));
  EXPECT_EQ(Ui.Details.back().rfind(Dir.Path("missing.ctl") + ": ", 0), 0u) << Ui.Details.back();
  Form.WMCopyData(Dir.Write("empty.ctl", movieBytes({{{1}}}, 0)));
  EXPECT_EQ(Ui.Messages.back().second, "网格程序的节拍数为零,请增加节拍");
  EXPECT_EQ(Ui.Details.back(), Dir.Path("empty.ctl") + ": its grid animation has no frames");
}

TEST_F(PlayerForm, KeysPeopleExpect) {
  Dir.Write("a.ctl", movieBytes({{{1}}}, 6));
  Dir.Write("b.ctl", movieBytes({{{2}}}, 6));
  Dir.Write("c.ctl", movieBytes({{{3}}}, 6));
  Form.FormCreate(Dir.WriteText("show.lst", "a.ctl\nb.ctl\nc.ctl\n"));
  Form.LastFrame();
  EXPECT_EQ(Form.ScrollBar(kFrameBar).Position, 5);
  Form.FirstFrame();
  EXPECT_EQ(Form.ScrollBar(kFrameBar).Position, 1);
  const auto playing = [&] { return test::asTest(Form.Show().SceneRoot().Layer(0).Items(0)).Payload; };
  ASSERT_EQ(playing(), 1);
  Form.NextEntry();
  EXPECT_EQ(playing(), 2);
  Form.NextEntry();
  Form.NextEntry();
  EXPECT_EQ(playing(), 1) << "past the last entry: the first";
  Form.PreviousEntry();
  EXPECT_EQ(playing(), 3) << "before the first: the last";

  Form.Slower();
  EXPECT_EQ(Ui.Interval, 40);
  Form.Faster();
  Form.Faster();
  EXPECT_EQ(Ui.Interval, 20);
  Music.Calls.clear();
  Form.SetVolume(1.5);
  Form.SetMuted(true);
  EXPECT_EQ(Music.Calls, (std::vector<std::string>{"volume 1.000000", "mute"})) << "loudness stays within 0 … 1";
}
}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

TEST(ShownFrameRect, FitsAtTheFramesAspectOrCentresOneToOne) {
  struct TCase {
    TPoint Frame;
    TRect Room;
    bool Fit;
    TRect Expected;
    const char* What;
  };
  const TCase cases[] = {
      {{1280, 720}, {0, 0, 1024, 726}, true, {0, 75, 1024, 651}, "wider than the room: scaled down by 0.8"},
      {{100, 50}, {0, 0, 1000, 1000}, true, {0, 250, 1000, 750}, "smaller: scaled up to the width"},
      {{100, 50}, {0, 0, 1000, 1000}, false, {450, 475, 550, 525}, "1:1, centred"},
      {{1280, 720}, {0, 0, 1024, 726}, false, {-128, 3, 1152, 723}, "1:1 larger than the room"},
  };
  for (const TCase& c : cases) EXPECT_EQ(ShownFrameRect(c.Frame, c.Room, c.Fit), c.Expected) << c.What;
}
}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// The window is one of the engine's sinks: it used to be handed the first
// frame and then the second within the tick that wraps.
TEST_F(PlayerForm, TheWindowGetsOneFrameATick) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{7}}}, 4)));
  Ui.Copies.clear();
  for (int i = 0; i < 9; ++i) Form.OnTick();
  EXPECT_EQ(Ui.Copies.size(), 9u) << "three wraps in nine ticks";
}

// A second start naming what is not a show used to take the running show
// dark; it is now reported as the same argument at the first start is, and
// the show plays on. A body that fails after a good mark still drops it.
TEST_F(PlayerForm, ASecondStartThatIsNoShowLeavesTheShowPlaying) {
  std::filesystem::create_directories(Dir.Path("folder"));
  std::filesystem::create_directories(Dir.Path("shows.ctl"));
  const std::string cases[] = {Dir.Path("missing.ctl"), Dir.Path("folder"), Dir.Path("shows.ctl"),
                               Dir.WriteText("notes.txt", "hello"), Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7})};
  for (const std::string& path : cases) {
    test::TFakeToolkit first;
    TForm1 starting(first, Music, Dir.Executable());
    starting.FormCreate(path);
    ASSERT_EQ(first.Details.size(), 1u) << path;

    Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 6)));
    Form.OnTick();
    Ui.Messages.clear();
    Ui.Details.clear();
    Form.WMCopyData(path);
    EXPECT_EQ(Ui.Messages, first.Messages) << path;
    EXPECT_EQ(Ui.Details, first.Details) << "the same message as at the first start";
    EXPECT_TRUE(Ui.Timer) << path;
    EXPECT_EQ(Form.ScrollBar(kFrameBar), (TScrollBarState{1, 5, 2})) << path;
    EXPECT_EQ(Form.Show().ShowFile(), Dir.Path("show.ctl")) << path;
    starting.FormDestroy();
  }
  EXPECT_EQ(Ui.Details.back(), Dir.Path("bad.ctl") + ": not a movie file: it does not start with a movie's mark");

  std::vector<std::uint8_t> broken = movieBytes({{{5}}}, 3);
  broken.back() ^= 0xFF;
  Form.WMCopyData(Dir.Write("broken.ctl", broken));
  EXPECT_FALSE(Form.Show().Showing()) << "a body that fails after a good mark drops the show, as before";
}

// Open… from English mode turns the labels to Chinese, as the design has
// it; a drop or a recent file keeps the language chosen.
TEST_F(PlayerForm, DropsKeepTheLanguageTheOpenButtonDoesNot) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Form.LanguageClick();
  Form.OpenDropped(Dir.Write("other.ctl", movieBytes({{{2}}}, 4)));
  EXPECT_EQ(Form.EnglishMode(), 1);
  EXPECT_EQ(Ui.Caption(FrameLabel), "current frame 1");
  EXPECT_EQ(Ui.Caption(SpeedLabel), "Speed    30 ms");
  EXPECT_EQ(Ui.Caption(Open), "Open");
  Ui.DialogAnswers.push_back(Dir.Path("show.ctl"));
  Form.OpenClick();
  EXPECT_EQ(Form.EnglishMode(), 0);
  EXPECT_EQ(Ui.Caption(FrameLabel), "当前帧数 1    ");
}

// In English the boxes' captions and headlines are English, the second line
// keeping the cause; in Chinese they keep the design's words.
TEST_F(PlayerForm, MessagesSpeakTheCaptionsLanguage) {
  Form.FormCreate(Dir.Write("show.ctl", movieBytes({{{1}}}, 4)));
  Form.WMCopyData(Dir.Path("missing.ctl"));
  Form.LanguageClick();
  Form.WMCopyData(Dir.Path("missing.ctl"));
  Form.WMCopyData(Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7}));
  Form.WMCopyData(Dir.Write("empty.ctl", movieBytes({{{1}}}, 0)));
  const std::string missing = Dir.Path("missing.ctl") + ": cannot open the file (No such file or directory)";
  EXPECT_EQ(Ui.Messages, (std::vector<std::pair<std::string, std::string>>{
                             {"错误", "文件格式不正确"},
                             {"Error", "The file cannot be played"},
                             {"Warning", "Not a movie file"},
                             {"Warning", "The grid animation has no frames; add frames"}}));
  EXPECT_EQ(Ui.Details[0], missing);
  EXPECT_EQ(Ui.Details[1], missing);
}

// The page and the window are one show: what the control service asks
// moves the window's bars and labels, what the window's keys do shows in
// the status, and a notice says what changed.
TEST_F(PlayerForm, ThePageAndTheWindowAgree) {
  Dir.Write("a.tol", tolBytes(2, 2, 4, 4, 6));
  Dir.Write("b.tol", tolBytes(2, 2, 4, 4, 4));
  const std::string list = Dir.WriteText("show.lst", "a.tol\nb.tol\n");
  Form.FormCreate(list);
  control::TCommandBus& bus = Form.Control().Bus;
  const auto fromPage = [&](const char* name, nlohmann::json args) {
    return bus.Run({name, std::move(args), control::TCommandSource::Http}).Done;
  };
  ASSERT_TRUE(fromPage("speed", {{"interval", 70}}));
  EXPECT_EQ(Form.ScrollBar(kSpeedBar).Position, 7) << "the speed bar moved";
  EXPECT_EQ(Ui.Caption(SpeedLabel), "当前速度 70 ms    ");
  EXPECT_EQ(Ui.Interval, 70);
  ASSERT_TRUE(fromPage("volume", {{"percent", 30}}));
  EXPECT_DOUBLE_EQ(Form.Volume(), 0.3);
  EXPECT_EQ(Ui.Notices.back(), "音量 30 %");
  ASSERT_TRUE(fromPage("pause", {}));
  EXPECT_EQ(Ui.Caption(PlayStop), "播放") << "the play/stop caption follows";

  Form.Faster();
  EXPECT_EQ(Form.Control().Controller.Status().Interval, 60) << "the window's keys reach the status";
  Form.NextEntry();
  EXPECT_EQ(Form.Control().Controller.Status().EntryName, "b.tol");
  EXPECT_EQ(Ui.Notices.back(), "第 2 / 2 项：b.tol");
  Form.LanguageClick();
  Form.SetMuted(true);
  EXPECT_TRUE(Form.Control().Controller.Status().Muted);
  EXPECT_EQ(Ui.Notices.back(), "Muted");
  Form.StepFrame(2);
  EXPECT_EQ(Form.Control().Controller.Status().Frame, 3);
}

}  // namespace
}  // namespace lumora

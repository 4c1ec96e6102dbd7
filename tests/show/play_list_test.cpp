// Play lists as the engine plays them: one frame handed on per tick,
// entries that fail or hold one frame, loops, shuffle and the start entry,
// and the checks a show file passes before what plays is given up.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "show/headless_show.h"
#include "support/load_error.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

using test::drawLog;
using test::movieBytes;
using test::tolBytes;

// Each frame a sink is handed, as "payload@frame" of the movie's first
// graphic (or "grid@frame").
class TSinkLog : public TFrameSink {
 public:
  explicit TSinkLog(TShowEngine& engine) : fEngine(engine) {}
  std::vector<std::string> Frames;
  void FrameDrawn(const TDrawnFrame& frame) override {
    const std::string what = fEngine.VectorMode() ? std::to_string(test::asTest(
                                                         fEngine.SceneRoot().Layer(0).Items(0)).Payload)
                                                   : "grid";
    Frames.push_back(what + "@" + std::to_string(frame.Frame));
  }

 private:
  TShowEngine& fEngine;
};

// A host that draws every move of the frame position, as the player's
// window does, and counts the ends of the show.
class TDrawingHost : public test::TRecordingHost {
 public:
  TShowEngine* Engine = nullptr;
  int Finished = 0;
  void FramesChanged(bool moved) override {
    if (moved && Engine->Playable()) Engine->DrawFrame(Engine->Frames().Position - 1);
  }
  void ShowFinished() override { ++Finished; }
};

class PlayList : public ::testing::Test {
 protected:
  void SetUp() override {
    drawLog().clear();
    Engine.Classes = &Classes;
    Host.Engine = &Engine;
    Engine.AddSink(Sink);
  }
  void TearDown() override { Engine.Shutdown(); }

  // Ticks n times (while the show runs) and answers what the sink got.
  std::vector<std::string> tick(int n) {
    Sink.Frames.clear();
    for (int i = 0; i < n && Engine.Running(); ++i) Engine.Tick();
    return Sink.Frames;
  }
  std::string movie(const std::string& name, std::int32_t payload, std::int32_t frames) {
    return Dir.Write(name, movieBytes({{{payload}}}, frames));
  }

  test::TPlayerDir Dir{"play_list"};
  TDrawingHost Host;
  test::TFakeMusic Music;
  TGraphicClassTable Classes = test::recordingClasses();
  TShowEngine Engine{Host, Music, Dir.Executable()};
  TSinkLog Sink{Engine};
};

// The wrap used to hand the sinks the first frame and then the second
// within the same tick, so that lamps flashed the first for a moment.
TEST_F(PlayList, EveryTickHandsOnOneFrame) {
  Engine.Open(movie("a.ctl", 1, 4));
  EXPECT_EQ(tick(6), (std::vector<std::string>{"1@1", "1@2", "1@1", "1@2", "1@1", "1@2"}))
      << "the bar 1 … 3 shows frames 0 … 2; a wrap hands on only the frame after the first";
  drawLog().clear();
  tick(3);
  EXPECT_EQ(drawLog(), (std::vector<std::string>{"1@0", "1@1", "1@2", "1@0", "1@1"}))
      << "the wrap still draws the first position, so lamps count their steps as before";

  Dir.Write("b.tol", tolBytes(1, 1, 4, 4, 3));
  Engine.Open(Dir.WriteText("ab.lst", "a.ctl\nb.tol\n"));
  EXPECT_EQ(tick(8), (std::vector<std::string>{"1@1", "1@2", "grid@1", "1@1", "1@2", "grid@1", "1@1", "1@2"}))
      << "each entry after a wrap starts at its second frame, one frame a tick";
}

// A list no longer stops for good at an entry that fails or has one frame:
// the failing entry is reported and skipped, the one-frame entry shows its
// frame for one tick, and the entries after them are reached.
TEST_F(PlayList, FailingAndOneFrameEntriesAreSkippedOrShownOnce) {
  struct TCase {
    const char* Entries;
    std::vector<std::string> Played;
    std::size_t Messages;
    const char* What;
  };
  movie("good.ctl", 1, 4);
  movie("third.ctl", 3, 4);
  movie("single.ctl", 7, 1);
  Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7});
  std::vector<std::uint8_t> broken = movieBytes({{{5}}}, 3);
  broken.back() ^= 0xFF;
  Dir.Write("broken.ctl", broken);
  Dir.Write("empty.tol", tolBytes(1, 1, 4, 4, 0));
  const TCase cases[] = {
      {"good.ctl\nbad.ctl\nthird.ctl\n", {"1@1", "1@2", "3@1", "3@2", "1@1", "1@2"}, 1, "a bad magic"},
      {"good.ctl\nbroken.ctl\nthird.ctl\n", {"1@1", "1@2", "3@1", "3@2", "1@1", "1@2"}, 1, "a body that fails"},
      {"good.ctl\nempty.tol\nthird.ctl\n", {"1@1", "1@2", "3@1", "3@2", "1@1", "1@2"}, 1, "a grid of no frames"},
      {"good.ctl\nsingle.ctl\nthird.ctl\n", {"1@1", "1@2", "7@0", "3@1", "3@2", "1@1"}, 0, "one frame, one tick"},
      {"bad.ctl\ngood.ctl\n", {"1@1", "1@2", "1@1", "1@2", "1@1", "1@2"}, 3, "a first entry that fails"},
  };
  for (const TCase& c : cases) {
    Host.Messages.clear();
    Engine.Open(Dir.WriteText("show.lst", c.Entries));
    EXPECT_EQ(tick(6), c.Played) << c.What;
    EXPECT_EQ(Host.Messages.size(), c.Messages) << c.What;
    EXPECT_TRUE(Engine.Running()) << c.What;
  }
}

// With a number of loops the show ends at the wrap after its last pass: a
// failing entry counts as played, as [good.ctl, bad.ctl] played once shows.
TEST_F(PlayList, LoopsEndTheShowAndSkippedEntriesCountAsPlayed) {
  movie("good.ctl", 1, 4);
  Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7});
  Engine.PlayOptions.Loops = 2;
  Engine.Open(movie("two.ctl", 2, 4));
  EXPECT_EQ(tick(10), (std::vector<std::string>{"2@1", "2@2", "2@1", "2@2"})) << "frame 0 shows as it opens";
  EXPECT_TRUE(Engine.Finished());
  EXPECT_FALSE(Engine.Running());
  EXPECT_EQ(Host.Finished, 1);

  Engine.PlayOptions.Loops = 1;
  Engine.Open(Dir.WriteText("once.lst", "good.ctl\nbad.ctl\n"));
  EXPECT_EQ(tick(10), (std::vector<std::string>{"1@1", "1@2"}));
  EXPECT_EQ(Host.Finished, 2);
  EXPECT_EQ(Host.Messages.size(), 1u) << "bad.ctl is reported";

  Engine.PlayOptions.Loops = 2;

  Engine.Open(Dir.WriteText("twice.lst", "good.ctl\ntwo.ctl\n"));
  EXPECT_EQ(tick(20), (std::vector<std::string>{"1@1", "1@2", "2@1", "2@2", "1@1", "1@2", "2@1", "2@2"}));
  EXPECT_EQ(Host.Finished, 3);
}

TEST_F(PlayList, StartEntryAndShuffle) {
  for (const char* name : {"e0.ctl", "e1.ctl", "e2.ctl", "e3.ctl"}) movie(name, name[1] - '0', 2);
  const std::string list = Dir.WriteText("four.lst", "e0.ctl\ne1.ctl\ne2.ctl\ne3.ctl\n");
  const auto playing = [&] { return static_cast<int>(*Engine.CurrentEntry()); };
  Engine.PlayOptions.StartEntry = 2;
  Engine.Open(list);
  std::vector<int> order{playing()};
  for (int i = 0; i < 5; ++i) {
    tick(1);
    order.push_back(playing());
  }
  EXPECT_EQ(order, (std::vector<int>{2, 3, 0, 1, 2, 3})) << "a pass goes round from the start entry";

  Engine.PlayOptions.StartEntry = 4;
  EXPECT_EQ(test::LoadErrorOf([&] { Engine.Open(list); }), list + ": the play list has 4 entries; there is no entry 5");
  EXPECT_EQ(playing(), 3) << "the list playing plays on";

  Engine.PlayOptions = {.Loops = 3, .Shuffle = true, .StartEntry = 1, .ShuffleSeed = 7};
  Engine.Open(list);
  std::vector<int> shuffled{playing()};
  while (Engine.Running()) {
    tick(1);
    if (Engine.Running()) shuffled.push_back(playing());
  }
  ASSERT_EQ(shuffled.size(), 12u) << "three passes of four";
  EXPECT_EQ(shuffled[0], 1) << "the start entry first";
  for (std::size_t pass = 0; pass < 3; ++pass) {
    const std::set<int> entries(shuffled.begin() + 4 * pass, shuffled.begin() + 4 * pass + 4);
    EXPECT_EQ(entries.size(), 4u) << "every entry once in pass " << pass;
  }
  EXPECT_NE(std::vector<int>(shuffled.begin(), shuffled.begin() + 4),
            std::vector<int>(shuffled.begin() + 4, shuffled.begin() + 8))
      << "each pass in a new order (seed 7)";
}

// What is not a show is refused before what plays is given up: the show
// plays on. A movie whose body fails after a good mark is still dropped.
TEST_F(PlayList, OpenChecksTheFileBeforeGivingUpTheShow) {
  Engine.Open(movie("live.ctl", 4, 5));
  tick(2);
  std::filesystem::create_directories(Dir.Path("folder.ctl"));
  Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7});
  Dir.Write("bad.lst", {'b', 'a', 'd', '.', 'c', 't', 'l', '\n'});
  struct TCase {
    std::string Path;
    std::string Error;
  };
  const TCase cases[] = {
      {Dir.Path("missing.ctl"), Dir.Path("missing.ctl") + ": cannot open the file (No such file or directory)"},
      {Dir.Path("folder.ctl"), Dir.Path("folder.ctl") + ": a folder, not a show file"},
      {Dir.Path("bad.ctl"), Dir.Path("bad.ctl") + ": not a movie file: it does not start with a movie's mark"},
      {Dir.WriteText("notes.txt", "hello"), NotAShowMessage(Dir.Path("notes.txt"))},
      {Dir.Path("bad.lst"), Dir.Path("bad.lst") + ": none of its entries can be played (" + Dir.Path("bad.ctl") +
                                ": not a movie file: it does not start with a movie's mark)"},
      {Dir.Write("plain.exe", std::vector<std::uint8_t>(300, 0x90)), Dir.Path("plain.exe") + ": no movie is appended"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(test::LoadErrorOf([&] { Engine.Open(c.Path); }), c.Error);
    EXPECT_TRUE(Engine.Running()) << c.Path;
    EXPECT_EQ(Engine.ShowFile(), Dir.Path("live.ctl")) << c.Path;
  }
  EXPECT_EQ(tick(1), (std::vector<std::string>{"4@3"})) << "the show went on where it was";

  std::vector<std::uint8_t> broken = movieBytes({{{5}}}, 3);
  broken.back() ^= 0xFF;
  Engine.Open(Dir.Write("broken.ctl", broken));
  EXPECT_FALSE(Engine.Showing()) << "a body that fails drops the show, as before";
}

TEST_F(PlayList, StatusSaysTheEntryAndItsTimeLeft) {
  Engine.Open(movie("a.ctl", 1, 4));
  EXPECT_EQ(PlayingStatus(Engine, Dir.Path("a.ctl")), "a.ctl  frame 1 of 3  0.1 s left");
  Dir.Write("b.tol", tolBytes(1, 1, 4, 4, 11));
  const std::string list = Dir.WriteText("ab.lst", "a.ctl\nb.tol\n");
  Engine.Open(list);
  Engine.Tick();
  EXPECT_EQ(PlayingStatus(Engine, list), "ab.lst: a.ctl (entry 1/2)  frame 2 of 3  0.0 s left");
  Engine.Tick();
  Engine.Tick();
  EXPECT_EQ(PlayingStatus(Engine, list), "ab.lst: b.tol (entry 2/2)  frame 2 of 10  0.2 s left")
      << "8 ticks of 30 ms";
}

TEST(PlayOrder, PassesFromTheStartEntryAndBack) {
  TPlayOrder order(3, {.Loops = 2, .Shuffle = false, .StartEntry = 1, .ShuffleSeed = 0});
  std::vector<std::size_t> played;
  while (const auto entry = order.Next()) played.push_back(*entry);
  EXPECT_EQ(played, (std::vector<std::size_t>{1, 2, 0, 1, 2, 0})) << "every pass round from the start entry";
  EXPECT_TRUE(order.LastPassOver());

  TPlayOrder endless(3, {});
  endless.Next();
  EXPECT_EQ(endless.Current(), 0u);
  endless.Back();
  EXPECT_EQ(endless.Next(), 2u) << "before the first: the last";
  EXPECT_EQ(endless.Next(), 0u);
  EXPECT_FALSE(TPlayOrder().Next()) << "no entries, none to play";
}

}  // namespace
}  // namespace lumora

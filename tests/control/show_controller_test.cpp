#include "control/show_controller.h"

#include "control/show_library.h"

#include <gtest/gtest.h>

#include "../output/output_fixtures.h"
#include "show/headless_show.h"
#include "support/controller_host.h"
#include "support/show_fixtures.h"

namespace lumora::control {
namespace {

using output::test::TLoopbackReceiver;

// A grid movie whose cell (0, c) in frame f has red 20 f + 2 c (grid
// files keep even channel values).
std::vector<std::uint8_t> gridMovie(std::int32_t frames) {
  return test::tolBytes(1, 2, 4, 4, frames,
                        [](std::int32_t f, std::int32_t, std::int32_t c) { return TWinColor(20 * f + 2 * c); });
}

// An engine whose host draws every move and tells the controller, as the
// player's window and lumora-play do; time moves only when a test ticks.
struct TControlledShow : test::TControllerHost {
  test::TPlayerDir Dir{"controller"};
  test::TFakeMusic Music;
  TShowEngine Engine{*this, Music, Dir.Executable()};
  TCommandBus Bus;
  TStatusBoard Board{{"1", "test", {}}};
  std::chrono::steady_clock::time_point Now{std::chrono::seconds(50)};
  std::unique_ptr<TShowLibrary> Library;
  std::unique_ptr<TShowController> Controller;

  TControlledShow() {
    Dir.Write("a.tol", gridMovie(4));
    Dir.Write("b.tol", gridMovie(3));
    Dir.Write("c.tol", gridMovie(5));
    Dir.WriteText("show.lst", "a.tol\nb.tol\nc.tol\n");
    Library = std::make_unique<TShowLibrary>(Dir.Path(""));
    Library->List();
    Library->Settle();
    Library->List();
    Library->Settle();
    TControllerOptions options;
    options.ShowFolder = Dir.Path("");
    options.Clock = [this] { return Now; };
    options.KnownLength = [this](const std::string& path) { return Library->LengthOf(path); };
    Controller = std::make_unique<TShowController>(Engine, Bus, Board, options);
    Host(Engine, *Controller);
  }
  ~TControlledShow() override {
    Controller->Shutdown();
    Engine.Shutdown();
  }

  TCommandResult Run(const std::string& name, nlohmann::json args = nlohmann::json::object(),
                     TCommandSource source = TCommandSource::Http) {
    return Bus.Run({name, std::move(args), source});
  }
  const TShowStatus& Status() const { return Controller->Status(); }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Controller->Tick();
  }
};

TEST(ShowController, ShowsFromTheNetworkComeFromTheShowFolderOnly) {
  TControlledShow show;
  struct TCase {
    nlohmann::json Args;
    TCommandSource Source;
    const char* Argument;
    const char* Error;
  };
  const std::string outside = show.Dir.Path("a.tol");
  const TCase cases[] = {
      {{{"file", "../a.tol"}}, TCommandSource::Http, "file", "must name a show inside the show folder"},
      {{{"file", outside}}, TCommandSource::Http, "file", "must name a show inside the show folder"},
      {{{"file", ".hidden.tol"}}, TCommandSource::WebSocket, "file", "must name a show inside the show folder"},
      {{{"file", "show.lst"}, {"entry", 4}}, TCommandSource::Http, "entry", ""},
      {{{"file", "nope.tol"}}, TCommandSource::Http, "file", ""},
      {{{"file", outside}}, TCommandSource::Window, "", ""},
      {{{"file", "show.lst"}, {"entry", 2}, {"loops", 1}}, TCommandSource::Osc, "", ""},
  };
  for (const TCase& c : cases) {
    const TCommandResult result = show.Run("play", c.Args, c.Source);
    EXPECT_EQ(result.Argument, c.Argument) << c.Args.dump();
    if (std::string(c.Error).empty() && !std::string(c.Argument).empty()) {
      EXPECT_FALSE(result.Error.empty()) << c.Args.dump();
    } else {
      EXPECT_EQ(result.Error, c.Error) << c.Args.dump();
    }
  }
  EXPECT_EQ(show.Status().State, TPlayState::Playing);
  EXPECT_EQ(show.Status().File, "show.lst");
  EXPECT_EQ(show.Status().Entry, 2);
  EXPECT_EQ(show.Status().EntryName, "b.tol");
  EXPECT_EQ(show.Status().StartedBy, "osc");
  EXPECT_EQ(show.Status().Passes, 1);
}

TEST(ShowController, TransportMovesTheShowAndTheStatusFollows) {
  TControlledShow show;
  EXPECT_EQ(show.Run("pause").Error, "nothing plays");
  EXPECT_EQ(show.Run("next").Error, "no play list plays");
  ASSERT_TRUE(show.Run("play", {{"file", "show.lst"}}).Done);
  EXPECT_EQ(show.Status().Frames, 3) << "four frames are positions 1-3";
  EXPECT_DOUBLE_EQ(show.Status().EntryRemaining, 0.09);
  EXPECT_DOUBLE_EQ(show.Status().PassRemaining, 0.09 + 0.06 + 0.12)
      << "the show folder's list measured every entry";

  EXPECT_TRUE(show.Run("pause").Done);
  EXPECT_EQ(show.Status().State, TPlayState::Paused);
  show.Ticks(3);
  EXPECT_EQ(show.Status().Frame, 1) << "a paused show stands still";
  EXPECT_TRUE(show.Run("resume").Done);
  EXPECT_EQ(show.Status().State, TPlayState::Playing);

  EXPECT_TRUE(show.Run("seek", {{"frame", 3}}).Done);
  EXPECT_EQ(show.Status().Frame, 3);
  EXPECT_TRUE(show.Run("seek", {{"seconds", 0.035}}).Done);
  EXPECT_EQ(show.Status().Frame, 2) << "one whole tick of 30 ms";
  EXPECT_TRUE(show.Run("seek", {{"frame", 99}}).Done);
  EXPECT_EQ(show.Status().Frame, 3) << "kept within the entry";

  EXPECT_TRUE(show.Run("next").Done);
  EXPECT_EQ(show.Status().EntryName, "b.tol");
  EXPECT_TRUE(show.Run("entry", {{"index", 3}}).Done);
  EXPECT_EQ(show.Status().EntryName, "c.tol");
  EXPECT_EQ(show.Run("entry", {{"index", 4}}).Argument, "index");
  EXPECT_TRUE(show.Run("previous").Done);
  EXPECT_EQ(show.Status().EntryName, "b.tol");

  EXPECT_TRUE(show.Run("speed", {{"interval", 70}}).Done);
  EXPECT_EQ(show.Status().Interval, 70);
  EXPECT_EQ(show.Engine.SpeedPosition, 7);
  EXPECT_TRUE(show.Run("volume", {{"percent", 40}}).Done);
  EXPECT_TRUE(show.Run("mute").Done);
  EXPECT_EQ(show.Status().Volume, 40);
  EXPECT_TRUE(show.Status().Muted);
  EXPECT_EQ(show.Music.Calls.back(), "mute");
  EXPECT_TRUE(show.Run("mute", {{"on", false}}).Done);
  EXPECT_FALSE(show.Status().Muted);
}

// Each way of stopping ends where it says, and never shows the start of
// what would have come next.
TEST(ShowController, StopsNowAtTheEntrysEndOrAtThePassesEnd) {
  {
    TControlledShow show;
    show.Run("play", {{"file", "show.lst"}});
    EXPECT_TRUE(show.Run("stop", {{"when", "now"}}).Done);
    EXPECT_EQ(show.Status().State, TPlayState::Idle);
    EXPECT_TRUE(show.Status().File.empty());
    EXPECT_EQ(show.Run("stop").Error, "nothing plays");
  }
  {
    TControlledShow show;
    show.Run("play", {{"file", "show.lst"}});
    show.Ticks(1);
    EXPECT_TRUE(show.Run("stop", {{"when", "entry"}}).Done);
    EXPECT_EQ(show.Status().State, TPlayState::Stopping);
    EXPECT_EQ(show.Status().StopAt, "entry");
    show.Ticks(1);
    EXPECT_EQ(show.Status().Frame, 3);
    EXPECT_EQ(show.Status().EntryName, "a.tol");
    show.Ticks(1);
    EXPECT_EQ(show.Status().State, TPlayState::Idle) << "at the wrap, not after it";
  }
  {
    TControlledShow show;
    show.Run("play", {{"file", "show.lst"}, {"entry", 2}});
    show.Run("stop", {{"when", "pass"}});
    std::vector<std::string> entries;
    for (int i = 0; i < 40 && show.Status().State != TPlayState::Idle; ++i) {
      if (entries.empty() || entries.back() != show.Status().EntryName) entries.push_back(show.Status().EntryName);
      show.Ticks(1);
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"b.tol", "c.tol", "a.tol"})) << "a pass from the start entry round";
    EXPECT_EQ(show.Status().State, TPlayState::Idle);
  }
}

// Positions 1-4; a wrap passes position 1 and shows 2 in one tick.
TEST(ShowController, AShowThatEndsByItselfLeavesThePlayerIdle) {
  TControlledShow show;
  show.Run("play", {{"file", "c.tol"}, {"loops", 2}});
  show.Ticks(6);
  EXPECT_EQ(show.Status().State, TPlayState::Playing);
  EXPECT_EQ(show.Status().Pass, 2);
  show.Ticks(1);
  EXPECT_EQ(show.Status().State, TPlayState::Idle);
}

std::string patchFor(std::uint16_t port) {
  return R"({"fixtures": [{"name": "first", "source": "grid", "layer": 0, "columns": [0, 0], "start": 1},
                          {"name": "second", "source": "grid", "layer": 0, "columns": [1, 1], "start": 4}],
             "outputs": [{"protocol": "sacn", "channels": [1, 6], "universe": 1, "host": "127.0.0.1", "port": )" +
         std::to_string(port) + "}]}";
}

// The slots of the last sACN packet that came within the wait.
std::vector<std::uint8_t> lastSlots(TLoopbackReceiver& receiver) {
  std::vector<std::uint8_t> slots;
  for (int tries = 0; tries < 200; ++tries) {
    const auto packet = receiver.Receive(50);
    if (!packet && !slots.empty()) break;
    if (packet && packet->size() >= 126 + 6) slots.assign(packet->begin() + 126, packet->begin() + 126 + 6);
  }
  return slots;
}

TEST(ShowController, LightControlsReachTheLampsAtOnce) {
  TControlledShow show;
  TLoopbackReceiver receiver;
  show.Controller->AttachLights(output::ParsePatchDefinition(patchFor(receiver.Port()), "lights.json"), {});
  ASSERT_TRUE(show.Run("play", {{"file", "c.tol"}}).Done);
  show.Run("pause");
  show.Run("seek", {{"frame", 4}});
  EXPECT_EQ(lastSlots(receiver), (std::vector<std::uint8_t>{60, 0, 0, 62, 0, 0})) << "frame 3";
  struct TCase {
    const char* Command;
    nlohmann::json Args;
    std::vector<std::uint8_t> Slots;
  };
  const TCase cases[] = {
      {"brightness", {{"percent", 50}}, {30, 0, 0, 31, 0, 0}},
      {"test", {{"pattern", "level"}, {"level", 100}}, {128, 128, 128, 128, 128, 128}},
      {"test", {{"pattern", "fixture"}, {"fixture", 2}}, {0, 0, 0, 128, 128, 128}},
      {"brightness", {{"percent", 100}}, {0, 0, 0, 255, 255, 255}},
      {"blackout", {{"on", true}}, {0, 0, 0, 0, 0, 0}},
      {"blackout", {{"on", false}}, {0, 0, 0, 255, 255, 255}},
      {"test", {{"pattern", "off"}}, {60, 0, 0, 62, 0, 0}},
      {"test", {{"pattern", "chase"}, {"level", 20}}, {51, 0, 0, 0, 0, 0}},
  };
  for (const TCase& c : cases) {
    ASSERT_TRUE(show.Run(c.Command, c.Args).Done) << c.Command << " " << c.Args.dump();
    EXPECT_EQ(lastSlots(receiver), c.Slots) << c.Command << " " << c.Args.dump();
  }
  show.Now += std::chrono::milliseconds(300);
  show.Controller->Poll();
  show.Now += std::chrono::milliseconds(300);
  show.Controller->Poll();
  EXPECT_EQ(lastSlots(receiver), (std::vector<std::uint8_t>{0, 51, 0, 0, 0, 0})) << "the chase moved one channel on";
  EXPECT_EQ(show.Status().Test["pattern"], "chase");
  EXPECT_EQ(show.Run("test", {{"pattern", "fixture"}, {"fixture", 3}}).Argument, "fixture");
  EXPECT_EQ(show.Status().Fixtures, (std::vector<std::string>{"first", "second"}));

  ASSERT_TRUE(show.Run("output", {{"on", false}}).Done);
  EXPECT_EQ(lastSlots(receiver), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0})) << "dark once";
  show.Now += std::chrono::milliseconds(600);
  show.Controller->Poll();
  EXPECT_FALSE(receiver.Receive(1500)) << "then nothing at all";
  EXPECT_FALSE(show.Status().OutputOn);
}

TEST(ShowController, TheStatusCountsEachOutputsPackets) {
  TControlledShow show;
  TLoopbackReceiver receiver;
  show.Controller->AttachLights(output::ParsePatchDefinition(patchFor(receiver.Port()), "lights.json"), {});
  show.Controller->Poll();
  show.Run("play", {{"file", "c.tol"}});
  int received = 0;
  for (int i = 0; i < 4; ++i) {
    show.Ticks(1);
    if (receiver.Receive(1000)) ++received;
  }
  show.Now += std::chrono::seconds(2);
  show.Controller->Poll();
  ASSERT_EQ(show.Status().Outputs.size(), 1u);
  EXPECT_GE(received, 3);
  EXPECT_NEAR(show.Status().Outputs[0].PacketsPerSecond, received / 2.0, 0.5) << "the frames sent in two seconds";
  EXPECT_FALSE(show.Status().Outputs[0].Failed);
}

}  // namespace
}  // namespace lumora::control

// lumora-play and the player as a person or a service manager runs them:
// the signals that end them black the lamps out, the options of a show
// machine, and what they say of a file they cannot play.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "output/ddp_packet.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"
#include "tools/tool_runs.h"
#include "../output/output_fixtures.h"

namespace lumora {
namespace {

using output::test::Bytes;
using output::test::TLoopbackReceiver;
using test::program;
using test::TBackgroundRun;

// The channels of a DDP datagram.
Bytes channelsOf(const Bytes& datagram) { return Bytes(datagram.begin() + output::kDdpHeaderSize, datagram.end()); }

bool lit(const Bytes& channels) {
  return std::any_of(channels.begin(), channels.end(), [](std::uint8_t c) { return c != 0; });
}

class LumoraPlay : public ::testing::Test {
 protected:
  // A grid movie of 2 × 2 lit cells and a patch that sends them by DDP to
  // the receiver.
  void SetUp() override {
    const auto colour = [](std::int32_t f, std::int32_t r, std::int32_t c) {
      return TWinColor{0x101010 * (1 + r + c) + 2 * (f % 8)};
    };
    Show = Dir.Write("cells.tol", test::tolBytes(2, 2, 4, 4, 40, colour));
    Patch = Dir.WriteText("ddp.json", R"({"fixtures": [{"name": "cells", "source": "grid", "layer": 0,
        "colours": "RGB", "start": 1}], "outputs": [{"protocol": "ddp", "channels": [1, 12],
        "host": "127.0.0.1", "port": )" + std::to_string(Receiver.Port()) + "}]}");
  }
  // Whether a lit frame arrives within the time, after any dark ones.
  bool sendsLight(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      const auto datagram = Receiver.Receive(static_cast<int>(std::max<std::int64_t>(1, left.count())));
      if (datagram && lit(channelsOf(*datagram))) return true;
    }
    return false;
  }
  // Whether what arrives ends in a dark frame.
  bool endsDark() {
    std::optional<Bytes> last;
    while (const auto datagram = Receiver.Receive(1000)) last = channelsOf(*datagram);
    return last && !lit(*last);
  }
  std::string settingsEnv() const { return "XDG_CONFIG_HOME=" + Dir.Path("config") + " QT_QPA_PLATFORM=offscreen "; }

  test::TPlayerDir Dir{"lumora_play"};
  TLoopbackReceiver Receiver;
  std::string Show;
  std::string Patch;
};

// lumora-play died on SIGHUP (a closed terminal) and SIGQUIT with the last
// frame lit on the lamps; every signal that ends it now blacks them out,
// and SIGPIPE is ignored.
TEST_F(LumoraPlay, SignalsThatEndItBlackTheLampsOut) {
  for (const int signal : {SIGHUP, SIGTERM, SIGQUIT, SIGINT}) {
    const TBackgroundRun run(settingsEnv() + program("lumora-play") + " " + Show + " --no-music --patch " + Patch, Dir);
    ASSERT_TRUE(sendsLight(5000)) << "it sends";
    if (signal == SIGTERM) {
      run.Signal(SIGPIPE);
      EXPECT_TRUE(sendsLight(1000)) << "SIGPIPE is ignored";
    }
    run.Signal(signal);
    EXPECT_TRUE(endsDark()) << "signal " << signal;
    EXPECT_EQ(run.Status(), 0) << "signal " << signal << ": " << test::ReadText(Dir.Path("stderr"));
  }
}

// The player ignored SIGTERM (a logout, a kill) and left its lamps lit; it
// now closes as its close button does.
TEST_F(LumoraPlay, ThePlayerClosesWithItsLampsDarkOnSigterm) {
  const TBackgroundRun run(settingsEnv() + program("lumora") + " " + Show + " --patch " + Patch, Dir);
  ASSERT_TRUE(sendsLight(10000)) << test::ReadText(Dir.Path("stderr"));
  run.Signal(SIGTERM);
  EXPECT_TRUE(endsDark());
  EXPECT_EQ(run.Status(), 0) << test::ReadText(Dir.Path("stderr"));
}

TEST_F(LumoraPlay, LoopsAndTheStartEntry) {
  Dir.Write("one.tol", test::tolBytes(1, 1, 4, 4, 3));
  const std::string list = Dir.WriteText("show.lst", "cells.tol\none.tol\n");
  const auto play = [&](const std::string& args) {
    return test::RunProgram(settingsEnv() + program("lumora-play") + " " + args + " --no-music", Dir.Path("run"));
  };
  const test::TProgramRun twice = play(list + " --loops 2 --start-entry 2 --shuffle");
  EXPECT_EQ(twice.Status, 0) << twice.Errors;
  const test::TProgramRun past = play(list + " --start-entry 3");
  EXPECT_EQ(past.Status, 1);
  EXPECT_EQ(past.Errors, "lumora-play: " + list + ": the play list has 2 entries; there is no entry 3\n");
  EXPECT_EQ(play(list + " --once --loops 2").Status, 2) << "--once is --loops 1";
  // An entry that cannot be played is reported and skipped, as the player
  // skips it, and counts as played.
  Dir.Write("bad.ctl", {1, 2, 3, 4, 5, 6, 7});
  const test::TProgramRun skipped = play(Dir.WriteText("bad-first.lst", "bad.ctl\none.tol\nbad.ctl\n") + " --once");
  EXPECT_EQ(skipped.Status, 0) << skipped.Errors;
  const std::string bad = "lumora-play: " + Dir.Path("bad.ctl") + ": not a movie file: it does not start with a movie's mark\n";
  EXPECT_EQ(skipped.Errors, bad + bad) << "the first entry and the last";
  EXPECT_EQ(play(list + " --loops 0").Status, 2);
}

// lumora-play said "no movie is appended" of a text file.
TEST_F(LumoraPlay, WhatItCannotPlayIsNamedAsTheOtherToolsNameIt) {
  const std::string notes = Dir.WriteText("notes.txt", "hello");
  const test::TProgramRun run = test::RunProgram(settingsEnv() + program("lumora-play") + " " + notes, Dir.Path("run"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Errors, "lumora-play: " + NotAShowMessage(notes) + "\n");
}

// With a schedule and no show named, lumora-play waits with the lamps
// dark; the show the schedule starts lights them.
TEST_F(LumoraPlay, AScheduleStartsTheShowOnTheLamps) {
  const auto run = [&](const std::string& start, const std::string& end) {
    Dir.WriteText("schedule.json", R"({"timezone": "UTC", "entries": [{"play": "cells.tol", "start": ")" + start +
                                       R"(", "end": ")" + end + R"("}]})");
    return std::make_unique<TBackgroundRun>(settingsEnv() + program("lumora-play") + " --schedule " +
                                                Dir.Path("schedule.json") + " --shows " + Dir.Path("") +
                                                " --no-music --patch " + Patch,
                                            Dir);
  };
  // An entry twelve hours away plays nothing now.
  const int hour = static_cast<int>(std::time(nullptr) / 3600 % 24);
  const std::string later = std::to_string((hour + 12) % 24) + ":00";
  const auto waiting = run(later, std::to_string((hour + 13) % 24) + ":00");
  EXPECT_FALSE(sendsLight(1500)) << test::ReadText(Dir.Path("stderr"));
  waiting->Signal(SIGTERM);
  EXPECT_EQ(waiting->Status(), 0) << test::ReadText(Dir.Path("stderr"));
  while (const auto datagram = Receiver.Receive(200)) EXPECT_FALSE(lit(channelsOf(*datagram)));

  const auto playing = run("00:00", "24:00");
  EXPECT_TRUE(sendsLight(5000)) << test::ReadText(Dir.Path("stderr"));
  playing->Signal(SIGTERM);
  EXPECT_TRUE(endsDark());
  EXPECT_EQ(playing->Status(), 0) << test::ReadText(Dir.Path("stderr"));
}

}  // namespace
}  // namespace lumora

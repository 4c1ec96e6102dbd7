// lumora-play processes side by side on 127.0.0.1, each showing on its own
// sACN port which frame it plays: a leader and a follower whose clock runs
// 2 % fast stay in step, also after the follower is killed and started
// again, and play ahead by the offset OSC gives; OSC from liblo's oscsend moves the entry and dims the lamps, with
// the status sent back; the timecode goes out by Art-Net and into a WAV
// file with the show's hour, and a player follows Art-Net timecode.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <thread>

#include "bench/child_process.h"
#include "bench/frame_probe.h"
#include "support/program_run.h"
#include "support/show_fixtures.h"
#include "sync/artnet_timecode.h"
#include "sync/ltc_audio.h"
#include "sync/osc_message.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using bench::TChildProcess;

std::string playProgram() {
  std::stringstream list(LUMORA_PROGRAMS);
  std::string path;
  while (std::getline(list, path, ',')) {
    if (path.ends_with("/lumora-play")) return path;
  }
  return "lumora-play";
}

template <typename T>
bool waitFor(const T& condition, std::chrono::milliseconds limit = 10s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class LumoraPlaySync : public ::testing::Test {
 protected:
  // A show of 3000 counted frames marked 7.
  void SetUp() override { Show = Dir.Write("show.tol", bench::FrameShowTol(3000, 7)); }

  std::string patch(const std::string& name, std::uint16_t port) {
    return Dir.WriteText(name + ".json", bench::FrameShowPatch(port));
  }

  std::unique_ptr<TChildProcess> play(const std::string& name, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), playProgram());
    arguments.push_back("--no-music");
    return std::make_unique<TChildProcess>(arguments,
                                           std::vector<std::string>{"QT_QPA_PLATFORM=offscreen",
                                                                    "XDG_CONFIG_HOME=" + Dir.Path("config")},
                                           Dir.Path(name + ".out"), Dir.Path(name + ".err"));
  }

  // The port a player says it took, as "<what> 127.0.0.1:PORT".
  std::uint16_t saidPort(const std::string& name, const std::string& what) {
    const std::regex said(what + " 127\\.0\\.0\\.1:([0-9]+)");
    std::smatch found;
    std::string out;
    const bool told = waitFor([&] {
      out = test::ReadText(Dir.Path(name + ".out"));
      return std::regex_search(out, found, said);
    });
    EXPECT_TRUE(told) << out << test::ReadText(Dir.Path(name + ".err"));
    return told ? static_cast<std::uint16_t>(std::stoi(found[1])) : 0;
  }

  test::TPlayerDir Dir{"lumora_play_sync"};
  std::string Show;
};

TEST_F(LumoraPlaySync, LeaderAndFollowerStayInStep) {
  bench::TLampWatch lamps(2);
  const std::vector<std::string> followerArgs = {"--shows", Dir.Path(""), "--patch", patch("follower", lamps.Port(1)),
                                                 "--clock-rate", "1.02", "--osc", "127.0.0.1:0", "--sync-follow"};
  auto follower = play("follower", [&] {
    auto a = followerArgs;
    a.push_back("127.0.0.1:0");
    return a;
  }());
  const std::uint16_t syncPort = saidPort("follower", "following MultiSync at");
  ASSERT_NE(syncPort, 0);
  const auto leader = play("leader", {Show, "--patch", patch("leader", lamps.Port(0)), "--sync-lead",
                                      "127.0.0.1:" + std::to_string(syncPort)});
  std::this_thread::sleep_for(4s);
  const auto steady = bench::FollowerOffsets(lamps.Shown(0), lamps.Shown(1));
  std::vector<double> settled;
  for (const auto& [shown, offset] : steady) {
    if (shown.Ms > 2000) settled.push_back(offset);
  }
  const bench::TOffsetSummary summary = bench::Summarize(settled);
  ASSERT_GT(summary.Count, 30u) << test::ReadText(Dir.Path("follower.err"));
  EXPECT_GE(summary.WithinOne, 0.95) << "p50 " << summary.P50 << " p99 " << summary.P99 << " max " << summary.Max;

  follower->Signal(SIGKILL);
  follower->Wait(5000);
  const double restarted = lamps.NowMs();
  follower = play("follower-again", [&] {
    auto a = followerArgs;
    a.push_back("127.0.0.1:" + std::to_string(syncPort));
    return a;
  }());
  std::this_thread::sleep_for(3s);
  const auto back = bench::BackInStepAt(bench::FollowerOffsets(lamps.Shown(0), lamps.Shown(1)), restarted, 500);
  ASSERT_TRUE(back) << test::ReadText(Dir.Path("follower-again.err"));
  EXPECT_LT(*back - restarted, 2000) << "back in step after a restart (1 s on the bench; slack for a busy test machine)";

  // Told by OSC to play 150 ms ahead, it settles 5 frames ahead.
  const std::uint16_t osc = saidPort("follower-again", "OSC at");
  const auto run = test::RunProgram("oscsend 127.0.0.1 " + std::to_string(osc) + " /lumora/sync-offset d 150",
                                    Dir.Path("oscsend"));
  ASSERT_EQ(run.Status, 0) << run.Errors;
  const double told = lamps.NowMs();
  std::this_thread::sleep_for(2500ms);
  std::vector<double> ahead;
  for (const auto& [shown, offset] : bench::FollowerOffsets(lamps.Shown(0), lamps.Shown(1))) {
    if (shown.Ms > told + 1500) ahead.push_back(offset);
  }
  ASSERT_FALSE(ahead.empty());
  std::sort(ahead.begin(), ahead.end());
  EXPECT_NEAR(ahead[ahead.size() / 2], -5, 1) << "the median offset, in frames";
  leader->Signal(SIGTERM);
  EXPECT_EQ(leader->Wait(10000), 0);
  // The leader's end blanks the follower: it stops, its lamps go dark.
  EXPECT_TRUE(waitFor([&] {
    const auto last = lamps.Last(1);
    return last && last->Red == 0 && last->Green == 0 && last->Blue == 0;
  }));
  follower->Signal(SIGTERM);
  EXPECT_EQ(follower->Wait(10000), 0);
}

TEST_F(LumoraPlaySync, OscMovesTheEntryAndDimsTheLamps) {
  Dir.Write("a.tol", bench::FrameShowTol(600, 10));
  Dir.Write("b.tol", bench::FrameShowTol(600, 20));
  const std::string list = Dir.WriteText("show.lst", "a.tol\nb.tol\n");
  bench::TLampWatch lamps(1);
  sync::TUdpReceiver feedback;
  ASSERT_EQ(feedback.Open(output::kLoopbackAddress, 0), "");
  const auto player = play("osc", {list, "--patch", patch("osc", lamps.Port(0)), "--osc", "127.0.0.1:0",
                                   "--osc-feedback", "127.0.0.1:" + std::to_string(feedback.Port())});
  const std::uint16_t port = saidPort("osc", "OSC at");
  ASSERT_NE(port, 0);
  const auto mark = [&] { return lamps.Last(0) ? lamps.Last(0)->Blue : 0; };
  ASSERT_TRUE(waitFor([&] { return mark() == 10 && lamps.Last(0)->Frame >= 5; })) << "the first entry plays";
  const auto oscsend = [&](const std::string& message) {
    const auto run = test::RunProgram("oscsend 127.0.0.1 " + std::to_string(port) + " " + message, Dir.Path("oscsend"));
    EXPECT_EQ(run.Status, 0) << run.Errors;
  };
  oscsend("/lumora/next");
  EXPECT_TRUE(waitFor([&] { return mark() == 20; }, 2s)) << "the second entry plays";
  oscsend("/lumora/brightness f 0.5");
  EXPECT_TRUE(waitFor([&] { return mark() == 10; }, 2s)) << "20 at 50 %";

  // The status came back: the entry as it changed, and every frame.
  std::vector<std::uint8_t> buffer(sync::kMaxDatagram);
  std::vector<std::string> entries;
  int frames = 0;
  std::string error;
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (entries.size() < 2 && std::chrono::steady_clock::now() < until) {
    const auto got = feedback.Receive(buffer, 200, error);
    if (!got) continue;
    for (const sync::TOscMessage& m : sync::ParseOscPacket({buffer.data(), got->Size}, error)) {
      frames += m.Address == "/lumora/status/frame";
      if (m.Address != "/lumora/status/entry") continue;
      entries.push_back(std::to_string(std::get<std::int64_t>(m.Arguments[0])) + "/" +
                        std::to_string(std::get<std::int64_t>(m.Arguments[1])));
    }
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"1/2", "2/2"}));
  EXPECT_GE(frames, 5) << "every frame is told";
  player->Signal(SIGTERM);
  EXPECT_EQ(player->Wait(10000), 0);
}

TEST_F(LumoraPlaySync, TimecodeGoesOutWithTheShowsHour) {
  const std::string shortShow = Dir.Write("short.tol", bench::FrameShowTol(34, 1));
  sync::TUdpReceiver desk;
  ASSERT_EQ(desk.Open(output::kLoopbackAddress, 0), "");
  const std::string wav = Dir.Path("short.wav");
  const auto player = play("out", {shortShow, "--once", "--timecode-hour", "2", "--timecode-out", "ltc:" + wav,
                                   "--timecode-out", "artnet:127.0.0.1:" + std::to_string(desk.Port()) + ",25"});
  ASSERT_EQ(player->Wait(10000), 0) << test::ReadText(Dir.Path("out.err"));
  std::vector<std::string> sent;
  std::vector<std::uint8_t> buffer(sync::kMaxDatagram);
  std::string error;
  while (const auto got = desk.Receive(buffer, 100, error)) {
    const auto packet = sync::ParseArtTimeCode({buffer.data(), got->Size}, error);
    ASSERT_TRUE(packet) << error;
    sent.push_back(sync::FormatTimecode(packet->Timecode));
  }
  // 34 frames of 30 ms: 25 frames of timecode at 25 a second, each once.
  ASSERT_GE(sent.size(), 24u);
  EXPECT_EQ(sent.front(), "02:00:00:00");
  EXPECT_EQ(sent[23], "02:00:00:23");
  const std::vector<sync::TLtcFrame> ltc = sync::ReadLtcFromWav(wav, sync::TTimecodeRate::Ebu25);
  ASSERT_GE(ltc.size(), 24u);
  for (std::size_t i = 0; i < 24; ++i) {
    EXPECT_EQ(ltc[i].Timecode, (sync::TTimecode{2, 0, 0, static_cast<std::uint8_t>(i), sync::TTimecodeRate::Ebu25}));
  }
}

TEST_F(LumoraPlaySync, FollowsArtNetTimecode) {
  bench::TLampWatch lamps(1);
  const auto player = play("in", {Show, "--patch", patch("in", lamps.Port(0)), "--timecode-in", "artnet:127.0.0.1:0"});
  const std::uint16_t port = saidPort("in", "following timecode: artnet");
  ASSERT_NE(port, 0);
  ASSERT_TRUE(waitFor([&] { return lamps.Last(0).has_value(); }));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(lamps.Last(0)->Frame, 0) << "it waits for the timecode on its first frame";
  sync::TUdpReceiver desk;
  ASSERT_EQ(desk.Open(output::kLoopbackAddress, 0), "");
  // Twenty seconds in, then on for a second at 25 frames a second.
  const auto began = std::chrono::steady_clock::now();
  for (int frame = 0; frame < 25; ++frame) {
    const auto packet = sync::EncodeArtTimeCode(sync::TimecodeAt(20 + frame / 25.0, sync::TTimecodeRate::Ebu25));
    ASSERT_EQ(desk.SendTo(packet, {output::kLoopbackAddress, port}), "");
    std::this_thread::sleep_until(began + std::chrono::milliseconds(40 * (frame + 1)));
  }
  const double seconds = 21;
  const auto shown = lamps.Last(0);
  ASSERT_TRUE(shown);
  EXPECT_NEAR(shown->Frame, seconds / 0.03, 3) << "frame 700 at 21 s";
  player->Signal(SIGTERM);
  EXPECT_EQ(player->Wait(10000), 0);
}

// The configuration file's "sync" object stands for the options; an option
// on the command line takes precedence over its key, and a bad key names
// the file.
TEST_F(LumoraPlaySync, ConfigurationFileSettings) {
  const std::string config =
      Dir.WriteText("player.json", R"({"shows": ".", "control": "127.0.0.1:0", "schedule": "schedule.json",
                                       "sync": {"osc": "nowhere", "timecode-out": ["artnet:127.0.0.1:9"]}})");
  const auto player = play("configured", {"--config", config, "--osc", "127.0.0.1:0"});
  EXPECT_NE(saidPort("configured", "OSC at"), 0);
  EXPECT_NE(test::ReadText(Dir.Path("configured.out")).find("timecode out: artnet 127.0.0.1:9"), std::string::npos)
      << test::ReadText(Dir.Path("configured.out"));
  player->Signal(SIGTERM);
  EXPECT_EQ(player->Wait(10000), 0);

  const std::string bad = Dir.WriteText("bad.json", R"({"shows": ".", "sync": {"osc": "127.0.0.1:0", "lead": 5}})");
  const test::TProgramRun run =
      test::RunProgram("QT_QPA_PLATFORM=offscreen " + playProgram() + " --config " + bad, Dir.Path("usage"));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Errors.find(bad + ": \"sync\".lead must be"), std::string::npos) << run.Errors;
}

TEST_F(LumoraPlaySync, UsageFaultsAreNamed) {
  const struct {
    std::string Arguments;
    std::string Error;
  } faults[] = {
      {"--sync-follow", "--sync-follow needs --shows DIR, or a FILE in that folder"},
      {"--osc 0 --timecode-in osc", "--timecode-in needs the FILE whose time it follows"},
      {"--clock-rate 1.02", "FILE is required without --control, --schedule, --config, --sync-follow or --osc"},
      {Show + " --sync-lead 10.0.0.5 --sync-follow", "--sync-lead and --sync-follow cannot be given together"},
      {Show + " --osc 9000 --osc-allow everyone", "--osc-allow \"everyone\": the address \"everyone\" is not a numeric IPv4 address"},
  };
  for (const auto& f : faults) {
    const test::TProgramRun run =
        test::RunProgram("QT_QPA_PLATFORM=offscreen " + playProgram() + " " + f.Arguments, Dir.Path("usage"));
    EXPECT_EQ(run.Status, 2) << f.Arguments;
    EXPECT_EQ(run.Errors, "lumora-play: " + f.Error + "\nRun with --help for more information.\n") << f.Arguments;
  }
}

}  // namespace
}  // namespace lumora

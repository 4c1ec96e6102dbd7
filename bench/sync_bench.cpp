// lumora-sync-bench: a leader and two followers, three lumora-play
// processes on loopback, the followers' clocks run 2 % fast and 2 % slow by
// the test-only clock rate. Each shows a frame-counting show on its own
// sACN port of 127.0.0.1; the bench reads all three and measures each
// follower frame's offset from the leader's. Halfway through, the fast
// follower is killed and started again, and the bench measures how long it
// takes to be back in step. Prints a summary in Markdown, and writes every
// offset to offsets.csv in the folder.
//
//   lumora-sync-bench [MINUTES] [FOLDER]     (10 minutes; a temporary folder)
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench/child_process.h"
#include "bench/frame_probe.h"
#include "sync/udp_receiver.h"

namespace {

using lumora::bench::TChildProcess;
using lumora::bench::TShown;

constexpr std::int32_t kShowFrames = 3000;
constexpr double kHoldMs = 1000;
// Frames shown this long before the restart may be the killed player's last.
constexpr double kKillMargin = 100;

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::unique_ptr<TChildProcess> startPlayer(const std::filesystem::path& folder, const std::string& name,
                                           std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), LUMORA_PLAY_PROGRAM);
  for (const std::string& a : {std::string("--no-music"), std::string("--threads"), std::string("1")}) arguments.push_back(a);
  const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (folder / "config").string()};
  return std::make_unique<TChildProcess>(arguments, environment, (folder / (name + ".out")).string(),
                                         (folder / (name + ".err")).string());
}

std::vector<std::string> followerArguments(const std::filesystem::path& folder, std::uint16_t syncPort,
                                           std::uint16_t lampPort, const char* rate) {
  const std::string patch = (folder / ("lamps-" + std::to_string(lampPort) + ".json")).string();
  writeFile(patch, lumora::bench::FrameShowPatch(lampPort));
  return {"--shows", folder.string(), "--patch", patch, "--sync-follow", "127.0.0.1:" + std::to_string(syncPort),
          "--clock-rate", rate};
}

void printSummary(const char* name, const std::vector<double>& offsets) {
  const lumora::bench::TOffsetSummary s = lumora::bench::Summarize(offsets);
  const double ms = lumora::bench::kFrameMs;
  std::printf("| %s | %zu | %+.2f (%+.1f ms) | %.2f (%.1f ms) | %.2f (%.1f ms) | %.2f (%.1f ms) | %.3f %% |\n", name,
              s.Count, s.Mean, s.Mean * ms, s.P50, s.P50 * ms, s.P99, s.P99 * ms, s.Max, s.Max * ms, 100 * s.WithinOne);
}

// Offsets after the first seconds, leaving out the restart from the kill
// until the follower is back in step.
std::vector<double> steadyOffsets(const std::vector<std::pair<TShown, double>>& offsets, double skipUntil,
                                  double gapFrom = 0, double gapTo = 0) {
  std::vector<double> out;
  for (const auto& [shown, offset] : offsets) {
    if (shown.Ms < skipUntil || (shown.Ms >= gapFrom && shown.Ms < gapTo)) continue;
    out.push_back(offset);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::stod(argv[1]) : 10;
  const std::filesystem::path folder =
      argc > 2 ? std::filesystem::path(argv[2])
               : std::filesystem::temp_directory_path() / ("lumora-sync-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto tol = lumora::bench::FrameShowTol(kShowFrames, 7);
  writeFile(folder / "show.tol", std::string(tol.begin(), tol.end()));

  // Players 0, 1 and 2: the leader, the fast follower, the slow one.
  lumora::bench::TLampWatch lamps(3);
  lumora::sync::TUdpReceiver fastProbe, slowProbe;
  fastProbe.Open(0x7F000001, 0);
  slowProbe.Open(0x7F000001, 0);
  const std::uint16_t fastSync = fastProbe.Port();
  const std::uint16_t slowSync = slowProbe.Port();
  fastProbe.Close();
  slowProbe.Close();

  const auto fastArgs = followerArguments(folder, fastSync, lamps.Port(1), "1.02");
  auto fastPlayer = startPlayer(folder, "fast", fastArgs);
  auto slowPlayer = startPlayer(folder, "slow", followerArguments(folder, slowSync, lamps.Port(2), "0.98"));
  writeFile(folder / "leader.json", lumora::bench::FrameShowPatch(lamps.Port(0)));
  auto leaderPlayer = startPlayer(folder, "leader",
                                  {(folder / "show.tol").string(), "--patch", (folder / "leader.json").string(),
                                   "--sync-lead", "127.0.0.1:" + std::to_string(fastSync) + ",127.0.0.1:" + std::to_string(slowSync)});

  const double totalMs = minutes * 60000;
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(totalMs / 2));
  fastPlayer->Signal(SIGKILL);
  fastPlayer->Wait(5000);
  const double restartAt = lamps.NowMs();
  fastPlayer = startPlayer(folder, "fast-again", fastArgs);
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(totalMs - restartAt));
  for (TChildProcess* p : {leaderPlayer.get(), fastPlayer.get(), slowPlayer.get()}) p->Signal(SIGTERM);
  for (TChildProcess* p : {leaderPlayer.get(), fastPlayer.get(), slowPlayer.get()}) p->Wait(10000);

  const std::vector<TShown> leader = lamps.Shown(0);
  const auto fastOffsets = lumora::bench::FollowerOffsets(leader, lamps.Shown(1));
  const auto slowOffsets = lumora::bench::FollowerOffsets(leader, lamps.Shown(2));
  const auto back = lumora::bench::BackInStepAt(fastOffsets, restartAt, kHoldMs);
  std::printf("%.1f minutes; the leader showed %zu frames\n\n", minutes, leader.size());
  std::printf("| follower | frames compared | mean (signed) | p50 | p99 | max | within ±1 frame |\n"
              "|---|---|---|---|---|---|---|\n");
  printSummary("clock 2 % fast (restart left out)", steadyOffsets(fastOffsets, 2000, restartAt - kKillMargin, back.value_or(totalMs)));
  printSummary("clock 2 % slow", steadyOffsets(slowOffsets, 2000));
  std::ofstream csv(folder / "offsets.csv");
  csv << "follower,ms,frame,offset\n";
  for (const auto& [name, offsets] : {std::pair{"fast", &fastOffsets}, std::pair{"slow", &slowOffsets}}) {
    for (const auto& [shown, offset] : *offsets) csv << name << ',' << shown.Ms << ',' << shown.Frame << ',' << offset << '\n';
  }
  for (const auto& [name, offsets] : {std::pair{"fast", &fastOffsets}, std::pair{"slow", &slowOffsets}}) {
    int listed = 0;
    for (const auto& [shown, offset] : *offsets) {
      if (std::abs(offset) <= 1 || shown.Ms < 2000 || listed++ >= 10) continue;
      std::printf("\n%s follower off by %+.2f frames at %.1f s (frame %d)", name, offset, shown.Ms / 1000, shown.Frame);
    }
  }
  std::printf("\n");
  if (back) {
    std::printf("\nrestarted follower back in step (±1 frame, held for 1 s) %.0f ms after it was started again\n",
                *back - restartAt);
  } else {
    std::printf("\nthe restarted follower did not get back in step\n");
  }
  return 0;
}

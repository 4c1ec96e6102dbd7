#include "bench/frame_probe.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "output/sacn_packet.h"
#include "tools/demo_show.h"

namespace lumora::bench {

namespace {

constexpr std::int32_t kBase = 250;
// Only a leader's frame this near in time counts as the same frame (the
// show loops in far longer).
constexpr double kWindowMs = 5000;

}  // namespace

std::vector<std::uint8_t> FrameShowTol(std::int32_t frames, std::uint8_t mark) {
  const auto cell = [mark](std::int32_t f, std::int32_t, std::int32_t) {
    return static_cast<TWinColor>((f % kBase) | (f / kBase % kBase) << 8 | mark << 16);
  };
  return GridAnimation(cell, 1, 1, std::clamp(frames, 1, kFramesCounted), 4, 4)->SaveToTol();
}

std::string FrameShowPatch(std::uint16_t port) {
  return R"({"fixtures": [{"name": "frame", "source": "grid", "layer": 0, "colours": "RGB", "start": 1}],
             "outputs": [{"protocol": "sacn", "channels": [1, 3], "universe": 1, "host": "127.0.0.1", "port": )" +
         std::to_string(port) + "}]}";
}

std::optional<TShownFrame> ReadShownFrame(std::span<const std::uint8_t> packet) {
  constexpr std::size_t kUniverseAt = 113;
  if (packet.size() < output::kSacnDataHeaderSize + 3 || packet[kUniverseAt] != 0 || packet[kUniverseAt + 1] != 1) {
    return std::nullopt;
  }
  const std::uint8_t* slots = packet.data() + output::kSacnDataHeaderSize;
  return TShownFrame{slots[0] + kBase * slots[1], slots[2], slots[0], slots[1], slots[2]};
}

TLampWatch::TLampWatch(std::size_t players) {
  for (std::size_t i = 0; i < players; ++i) {
    fPlayers.push_back(std::make_unique<TPlayer>());
    fPlayers.back()->Socket.Open(output::kLoopbackAddress, 0);
  }
  fReader = std::jthread([this](std::stop_token stop) { read(stop); });
}

TLampWatch::~TLampWatch() {
  fReader.request_stop();
  fReader.join();
}

double TLampWatch::NowMs() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - fStart).count();
}

std::vector<TShown> TLampWatch::Shown(std::size_t player) const {
  const std::lock_guard lock(fPlayers[player]->Lock);
  return fPlayers[player]->Shown;
}

std::optional<TShownFrame> TLampWatch::Last(std::size_t player) const {
  const std::lock_guard lock(fPlayers[player]->Lock);
  return fPlayers[player]->Last;
}

// Each socket is emptied in turn, a millisecond apart at most.
void TLampWatch::read(std::stop_token stop) {
  std::vector<std::uint8_t> buffer(sync::kMaxDatagram);
  while (!stop.stop_requested()) {
    for (const auto& player : fPlayers) {
      std::string error;
      while (const auto got = player->Socket.Receive(buffer, 0, error)) {
        const auto frame = ReadShownFrame({buffer.data(), got->Size});
        if (!frame) continue;
        const std::lock_guard lock(player->Lock);
        player->Shown.push_back({frame->Frame, NowMs()});
        player->Last = frame;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::vector<std::pair<TShown, double>> FollowerOffsets(const std::vector<TShown>& leader,
                                                       const std::vector<TShown>& follower) {
  std::map<std::int32_t, std::vector<double>> times;
  for (const TShown& shown : leader) times[shown.Frame].push_back(shown.Ms);
  std::vector<std::pair<TShown, double>> out;
  for (const TShown& shown : follower) {
    const auto found = times.find(shown.Frame);
    if (found == times.end()) continue;
    const std::vector<double>& at = found->second;
    const auto nearest = std::min_element(at.begin(), at.end(), [&](double a, double b) {
      return std::abs(a - shown.Ms) < std::abs(b - shown.Ms);
    });
    if (std::abs(*nearest - shown.Ms) <= kWindowMs) out.emplace_back(shown, (shown.Ms - *nearest) / kFrameMs);
  }
  return out;
}

TOffsetSummary Summarize(const std::vector<double>& offsets) {
  TOffsetSummary summary;
  summary.Count = offsets.size();
  if (offsets.empty()) return summary;
  std::vector<double> sizes;
  for (const double o : offsets) {
    sizes.push_back(std::abs(o));
    summary.Mean += o / static_cast<double>(offsets.size());
  }
  std::sort(sizes.begin(), sizes.end());
  const auto at = [&](double share) {
    return sizes[std::min(sizes.size() - 1, static_cast<std::size_t>(share * static_cast<double>(sizes.size())))];
  };
  summary.P50 = at(0.5);
  summary.P99 = at(0.99);
  summary.Max = sizes.back();
  summary.WithinOne = static_cast<double>(std::count_if(sizes.begin(), sizes.end(), [](double s) { return s <= 1; })) /
                      static_cast<double>(sizes.size());
  return summary;
}

std::optional<double> BackInStepAt(const std::vector<std::pair<TShown, double>>& offsets, double fromMs,
                                   double holdMs) {
  std::optional<double> start;
  for (const auto& [shown, offset] : offsets) {
    if (shown.Ms < fromMs) continue;
    if (std::abs(offset) > 1) {
      start.reset();
      continue;
    }
    if (!start) start = shown.Ms;
    if (shown.Ms - *start >= holdMs) return start;
  }
  return std::nullopt;
}

}  // namespace lumora::bench

#include "sync/leader_link.h"

#include <algorithm>
#include <stdexcept>

namespace lumora::sync {

namespace {

constexpr int kWaitMs = 100;

std::pair<std::uint32_t, std::uint16_t> keyOf(const output::TEndpoint& e) { return {e.Address, e.Port}; }

}  // namespace

TLeaderLink::TLeaderLink(const TLeaderTargets& targets, TSendThread& sender, TRealClock clock,
                         std::function<void(const std::string&)> said)
    : fLeader(targets), fSender(sender), fClock(std::move(clock)), fSaid(std::move(said)) {
  if (const std::string error = fLeader.Open(); !error.empty()) throw std::runtime_error("MultiSync: " + error);
  fListener = std::jthread([this](std::stop_token stop) { listen(stop); });
}

TLeaderLink::~TLeaderLink() {
  fListener.request_stop();
  fListener.join();
}

void TLeaderLink::note(const std::string& error) {
  if (error == fLastError) return;
  fLastError = error;
  if (!error.empty()) fSaid("MultiSync: " + error);
}

void TLeaderLink::Update(const TLeaderProgress& progress) {
  if (progress == fLast) return;
  fLast = progress;
  fSender.Post([this, progress] { note(fLeader.Update(progress)); });
}

void TLeaderLink::Resync(const TLeaderProgress& progress) {
  fLast = progress;
  fSender.Post([this, progress] { note(fLeader.Resync(progress)); });
}

void TLeaderLink::Blank() {
  fSender.Post([this] { note(fLeader.Blank()); });
}

void TLeaderLink::Finish() {
  Update(TLeaderProgress{});
  Blank();
  fSender.Flush();
}

void TLeaderLink::listen(std::stop_token stop) {
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  while (!stop.stop_requested()) {
    std::string error;
    const auto received = fLeader.Socket().Receive(buffer, kWaitMs, error);
    if (!received) continue;
    const auto report = ParseFollowerReport({buffer.data(), received->Size}, error);
    if (!report) continue;
    const std::lock_guard lock(fLock);
    if (!fSeen.contains(keyOf(received->From)) && fSeen.size() >= kMaxFollowersSeen) {
      fSeen.erase(std::min_element(fSeen.begin(), fSeen.end(), [](const auto& a, const auto& b) {
        return a.second.second < b.second.second;
      }));
    }
    fSeen[keyOf(received->From)] = {*report, fClock()};
  }
}

std::vector<TFollowerSeen> TLeaderLink::Followers() const {
  const TSyncTime now = fClock();
  const auto ago = [&](TSyncTime at) { return std::chrono::duration<double>(now - at).count(); };
  std::vector<TFollowerSeen> out;
  const std::lock_guard lock(fLock);
  std::vector<std::pair<std::uint32_t, std::uint16_t>> listed;
  for (const output::TEndpoint& to : Destinations()) {
    if (to.Address == kMultiSyncMulticastAddress || to.Address == output::kLimitedBroadcast) continue;
    const auto seen = fSeen.find(keyOf(to));
    listed.push_back(keyOf(to));
    if (seen == fSeen.end()) {
      out.push_back({to, std::nullopt, 0});
    } else {
      out.push_back({to, seen->second.first, ago(seen->second.second)});
    }
  }
  for (const auto& [key, seen] : fSeen) {
    if (std::find(listed.begin(), listed.end(), key) != listed.end()) continue;
    out.push_back({{key.first, key.second}, seen.first, ago(seen.second)});
  }
  return out;
}

}  // namespace lumora::sync

#include "sync/follower_link.h"

#include <cmath>
#include <stdexcept>

#include "sync/follower_report.h"

namespace lumora::sync {

namespace {

constexpr int kWaitMs = 100;

}  // namespace

TFollowerLink::TFollowerLink(TFollowerSettings settings, std::optional<output::TEndpoint> listen, TShowLookup lookup,
                             TRealClock clock)
    : fClock(std::move(clock)), fFollower(settings, std::move(lookup)) {
  if (!listen) return;
  if (const std::string error = fSocket.Open(listen->Address, listen->Port); !error.empty()) {
    throw std::runtime_error("MultiSync: " + error);
  }
  fListener = std::jthread([this](std::stop_token stop) { this->listen(stop); });
}

TFollowerLink::~TFollowerLink() {
  fListener.request_stop();
  if (fListener.joinable()) fListener.join();
}

void TFollowerLink::listen(std::stop_token stop) {
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  while (!stop.stop_requested()) {
    std::string error;
    const auto received = fSocket.Receive(buffer, kWaitMs, error);
    if (!received) continue;
    if (const auto message = ParseMultiSync({buffer.data(), received->Size}, error)) heard(*message, received->From);
  }
}

// Each frame sync of the show is answered, from the port it came to.
void TFollowerLink::heard(const TMultiSyncMessage& message, const output::TEndpoint& from) {
  const TSyncTime at = fClock();
  std::vector<std::uint8_t> answer;
  {
    const std::lock_guard lock(fLock);
    if (message.Type == TMultiSyncType::Blank) fFollower.HeardBlank(at);
    if (!message.Sync) return;
    fFollower.Heard(*message.Sync, at);
    if (message.Sync->FileType == TSyncFileType::Sequence && message.Sync->Action != TSyncAction::Stop) {
      answer = EncodeFollowerReport(fReport);
    }
  }
  if (!answer.empty()) fSocket.SendTo(answer, from);
}

void TFollowerLink::HeardTimecode(const TTimecodeHeard& heard) {
  const std::lock_guard lock(fLock);
  if (heard.Stopped) {
    fFollower.TimecodeStopped();
    return;
  }
  fFollower.HeardTimecode(heard.Seconds, heard.At);
  fLastTimecode = heard.Timecode;
}

void TFollowerLink::SetOffsetMs(double offsetMs) {
  const std::lock_guard lock(fLock);
  fFollower.SetOffsetMs(offsetMs);
}

TFollowerDecision TFollowerLink::Decide(const TFollowerLocal& local) {
  const TSyncTime now = fClock();
  const std::lock_guard lock(fLock);
  const TFollowerDecision decision = fFollower.Decide(local, now);
  const TFollowerStatus& status = fFollower.Status();
  const double aheadMs = -status.ErrorFrames * local.FrameSeconds * 1000 + fFollower.Settings().OffsetMs;
  fReport = {local.Playing, status.InStep, aheadMs, static_cast<std::uint32_t>(std::max(0.0, std::round(local.Position)))};
  return decision;
}

TMusicDecision TFollowerLink::DecideMusic(double localMusicSeconds) const {
  const TSyncTime now = fClock();
  const std::lock_guard lock(fLock);
  return fFollower.DecideMusic(localMusicSeconds, now);
}

TFollowerStatus TFollowerLink::Status() const {
  const std::lock_guard lock(fLock);
  return fFollower.Status();
}

std::optional<TTimecode> TFollowerLink::LastTimecode() const {
  const std::lock_guard lock(fLock);
  return fLastTimecode;
}

}  // namespace lumora::sync

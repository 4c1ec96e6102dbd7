#include "output/output_sender.h"

#include <pthread.h>

#include <algorithm>
#include <csignal>

namespace lumora::output {

namespace {

// A daemon that goes away mid-write must fail the write, not end the player.
void ignoreBrokenPipesOnThisThread() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

}  // namespace

TOutputSender::TOutputSender(std::vector<std::unique_ptr<TLightOutput>> outputs, std::uint32_t channelCount,
                             TSenderOptions options)
    : fOutputs(std::move(outputs)), fStates(fOutputs.size()), fOptions(std::move(options)),
      fHealth(fOutputs.size()), fLastErrors(fOutputs.size()), fDrawing(channelCount, 0),
      fSending(channelCount, 0), fPending(channelCount, 0) {
  for (std::size_t i = 0; i < fOutputs.size(); ++i) {
    fHealth[i].PacketsPerFrame = std::max<std::size_t>(1, fOutputs[i]->Destinations().size());
  }
  fThread = std::jthread([this](std::stop_token stop) { run(stop); });
}

TOutputSender::~TOutputSender() {
  fThread.request_stop();
  fThread.join();
}

void TOutputSender::Submit() {
  {
    std::lock_guard lock(fLock);
    std::swap(fDrawing, fPending);
    fHasPending = true;
  }
  fWake.notify_one();
}

void TOutputSender::Blackout() {
  {
    std::lock_guard lock(fLock);
    fHasPending = false;
    fBlackoutPending = true;
  }
  fWake.notify_one();
}

void TOutputSender::EndStreams() {
  {
    std::lock_guard lock(fLock);
    fEndPending = true;
  }
  fWake.notify_one();
}

void TOutputSender::SetControls(const TLightControls& controls) {
  {
    std::lock_guard lock(fLock);
    if (controls == fControls) return;
    fControls = controls;
    fControlsChanged = true;
  }
  fWake.notify_one();
}

void TOutputSender::SetTestFrame(std::optional<std::vector<std::uint8_t>> frame) {
  {
    std::lock_guard lock(fLock);
    // Ending no test pattern changes nothing: before a show's first frame
    // it would send the empty channels, a dark flash.
    if (!frame && !fTest) return;
    if (frame) frame->resize(fSending.size(), 0);
    fTest = frame ? std::make_shared<const std::vector<std::uint8_t>>(std::move(*frame)) : nullptr;
    fControlsChanged = true;
  }
  fWake.notify_one();
}

std::vector<TOutputHealth> TOutputSender::Health() const {
  std::vector<TOutputHealth> health;
  const std::lock_guard lock(fErrorLock);
  for (std::size_t i = 0; i < fOutputs.size(); ++i) {
    health.push_back({fOutputs[i]->Name(), fHealth[i].Packets.load(), fHealth[i].Failed.load(), fLastErrors[i]});
  }
  return health;
}

void TOutputSender::Flush() {
  std::unique_lock lock(fLock);
  fIdle.wait(lock, [this] {
    return !fHasPending && !fBlackoutPending && !fEndPending && !fControlsChanged && !fBusy;
  });
}

// Under fLock. A turn that nothing woke resends the frame while resend is
// set; a blackout or an end stops the resending.
TOutputSender::TRound TOutputSender::takeRound(bool woken, bool& resend) {
  TRound round;
  if (fBlackoutPending) {
    std::fill(fSending.begin(), fSending.end(), std::uint8_t{0});
    fBlackoutPending = false;
    resend = false;
    round.Send = true;
  } else if (fHasPending) {
    std::swap(fPending, fSending);
    fHasPending = false;
    resend = true;
    round.Send = true;
  } else if (fControlsChanged) {
    round.Send = true;
  } else if (!woken) {
    round.Send = resend || fTest != nullptr || fControls.Blackout;
  }
  fControlsChanged = false;
  if (fEndPending) {
    fEndPending = false;
    resend = false;
    round.End = true;
  }
  return round;
}

void TOutputSender::run(std::stop_token stop) {
  ignoreBrokenPipesOnThisThread();
  bool resend = false;
  std::unique_lock lock(fLock);
  while (!stop.stop_requested()) {
    const bool woken = fWake.wait_for(lock, stop, fOptions.Refresh, [this] {
      return fHasPending || fBlackoutPending || fEndPending || fControlsChanged;
    });
    if (stop.stop_requested()) break;
    const TRound round = takeRound(woken, resend);
    if (!round.Send && !round.End) continue;
    fBusy = true;
    const TLightControls controls = fControls;
    const std::shared_ptr<const std::vector<std::uint8_t>> test = fTest;
    lock.unlock();
    const std::vector<std::uint8_t>* out = round.Send ? outgoing(controls, test.get()) : nullptr;
    if (out != nullptr) sendToAll(*out);
    if (round.End) endAll(fSending);
    lock.lock();
    fBusy = false;
    fIdle.notify_all();
  }
}

// On the sender thread, which alone writes fSending between rounds.
const std::vector<std::uint8_t>* TOutputSender::outgoing(const TLightControls& controls,
                                                          const std::vector<std::uint8_t>* test) {
  const std::vector<std::uint8_t>& base = test != nullptr ? *test : fSending;
  fOutgoing.resize(base.size());
  if (!controls.Enabled || controls.Blackout) {
    std::fill(fOutgoing.begin(), fOutgoing.end(), std::uint8_t{0});
  } else {
    const unsigned master = controls.Master;
    std::transform(base.begin(), base.end(), fOutgoing.begin(),
                   [master](std::uint8_t v) { return static_cast<std::uint8_t>((v * master + 127) / 255); });
  }
  if (controls.Enabled) {
    fDarkWhileOff = false;
    return &fOutgoing;
  }
  if (fDarkWhileOff) return nullptr;
  fDarkWhileOff = true;
  return &fOutgoing;
}

void TOutputSender::sendToAll(const std::vector<std::uint8_t>& frame) {
  TReportGroups reports;
  for (std::size_t i = 0; i < fOutputs.size(); ++i) sendTo(i, frame, reports);
  report(reports);
}

void TOutputSender::sendTo(std::size_t index, const std::vector<std::uint8_t>& frame, TReportGroups& reports) {
  using std::chrono::steady_clock;
  TOutputState& state = fStates[index];
  const steady_clock::time_point now = steady_clock::now();
  if (state.Failed && now < state.NextTry) return;
  const std::string error = fOutputs[index]->Send(frame, fScratch);
  noteHealth(index, error);
  std::string told;
  if (!error.empty()) {
    if (!state.Failed) told = error + "; will keep trying";
    state = {true, now + fOptions.Retry, {}, false};
  } else if (state.Failed && !state.Clean) {
    state.Clean = true;
    state.CleanSince = now;
  } else if (state.Failed && now - state.CleanSince >= fOptions.Retry) {
    state = {};
    told = "sending again";
  }
  if (told.empty()) return;
  TReportGroup& group = reports[told];
  if (group.Count++ == 0) group.FirstName = fOutputs[index]->Name();
}

void TOutputSender::noteHealth(std::size_t index, const std::string& error) {
  THealthCounter& health = fHealth[index];
  health.Failed = !error.empty();
  if (error.empty()) {
    health.Packets += health.PacketsPerFrame;
    return;
  }
  const std::lock_guard lock(fErrorLock);
  fLastErrors[index] = error;
}

// Outputs whose stream ends fail no more after it: their errors are not
// told.
void TOutputSender::endAll(const std::vector<std::uint8_t>& frame) {
  for (std::size_t i = 0; i < fOutputs.size(); ++i) {
    if (!fStates[i].Failed) fOutputs[i]->Terminate(frame, fScratch);
  }
}

void TOutputSender::report(const TReportGroups& reports) const {
  if (!fOptions.Report) return;
  for (const auto& [what, group] : reports) {
    const std::string others =
        group.Count > 1 ? " and " + std::to_string(group.Count - 1) + " more output" + (group.Count > 2 ? "s" : "") : "";
    fOptions.Report(group.FirstName + others + ": " + what);
  }
}

}  // namespace lumora::output

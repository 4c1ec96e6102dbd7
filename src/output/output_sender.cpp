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
      fDrawing(channelCount, 0), fSending(channelCount, 0), fPending(channelCount, 0),
      fThread([this](std::stop_token stop) { run(stop); }) {}

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

void TOutputSender::Flush() {
  std::unique_lock lock(fLock);
  fIdle.wait(lock, [this] { return !fHasPending && !fBlackoutPending && !fEndPending && !fBusy; });
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
  } else if (!woken) {
    round.Send = resend;
  }
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
    const bool woken =
        fWake.wait_for(lock, stop, fOptions.Refresh, [this] { return fHasPending || fBlackoutPending || fEndPending; });
    if (stop.stop_requested()) break;
    const TRound round = takeRound(woken, resend);
    if (!round.Send && !round.End) continue;
    fBusy = true;
    lock.unlock();
    if (round.Send) sendToAll(fSending);
    if (round.End) endAll(fSending);
    lock.lock();
    fBusy = false;
    fIdle.notify_all();
  }
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

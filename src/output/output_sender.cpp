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

void TOutputSender::Flush() {
  std::unique_lock lock(fLock);
  fIdle.wait(lock, [this] { return !fHasPending && !fBlackoutPending && !fBusy; });
}

void TOutputSender::run(std::stop_token stop) {
  ignoreBrokenPipesOnThisThread();
  bool resend = false;
  std::unique_lock lock(fLock);
  while (!stop.stop_requested()) {
    const bool woken = fWake.wait_for(lock, stop, fOptions.Refresh, [this] { return fHasPending || fBlackoutPending; });
    if (stop.stop_requested()) break;
    if (!woken && !resend) continue;
    if (fBlackoutPending) {
      std::fill(fSending.begin(), fSending.end(), std::uint8_t{0});
      fBlackoutPending = false;
      resend = false;
    } else if (fHasPending) {
      std::swap(fPending, fSending);
      fHasPending = false;
      resend = true;
    }
    fBusy = true;
    lock.unlock();
    sendToAll(fSending);
    lock.lock();
    fBusy = false;
    fIdle.notify_all();
  }
}

void TOutputSender::sendToAll(const std::vector<std::uint8_t>& frame) {
  for (std::size_t i = 0; i < fOutputs.size(); ++i) sendTo(i, frame);
}

void TOutputSender::sendTo(std::size_t index, const std::vector<std::uint8_t>& frame) {
  using std::chrono::steady_clock;
  TOutputState& state = fStates[index];
  const steady_clock::time_point now = steady_clock::now();
  if (state.Failed && now < state.NextTry) return;
  const std::string error = fOutputs[index]->Send(frame);
  const std::string& name = fOutputs[index]->Name();
  if (!error.empty()) {
    if (!state.Failed && fOptions.Report) fOptions.Report(name + ": " + error + "; will keep trying");
    state = {true, now + fOptions.Retry, {}, false};
  } else if (state.Failed && !state.Clean) {
    state.Clean = true;
    state.CleanSince = now;
  } else if (state.Failed && now - state.CleanSince >= fOptions.Retry) {
    state = {};
    if (fOptions.Report) fOptions.Report(name + ": sending again");
  }
}

}  // namespace lumora::output

#include "output/live_output.h"

namespace lumora::output {

TLiveOutput::TLiveOutput(TChannelPatch patch, TLiveSettings settings)
    : fMap(std::move(patch.Fixtures), patch.ChannelCount), fBlackout(patch.Blackout) {
  std::vector<std::unique_ptr<TLightOutput>> outputs;
  for (const TOutputRoute& route : patch.Outputs) {
    outputs.push_back(MakeLightOutput(route, settings.Cid));
    fNames.push_back(outputs.back()->Name());
  }
  fSender = std::make_unique<TOutputSender>(std::move(outputs), patch.ChannelCount,
                                            TSenderOptions{settings.Refresh, settings.Retry, std::move(settings.Report)});
}

TLiveOutput::TLiveOutput(const std::string& patchPath, const TMovieShape& movie, TLiveSettings settings)
    : TLiveOutput(LoadChannelPatch(patchPath, movie), std::move(settings)) {}

TLiveOutput::~TLiveOutput() {
  Stop();
  fSender->Flush();
}

void TLiveOutput::ShowFrame(const TFrameView& frame) {
  fMap.Fill(frame, fSender->NextFrame());
  fSender->Submit();
  fShown = true;
}

void TLiveOutput::Stop() {
  if (fShown.exchange(false) && fBlackout) fSender->Blackout();
}

}  // namespace lumora::output

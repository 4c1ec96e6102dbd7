#include "output/live_output.h"

namespace lumora::output {

TLiveOutput::TLiveOutput(TPatchDefinition patch, TLiveSettings settings) : fPatch(std::move(patch)) {
  std::vector<std::unique_ptr<TLightOutput>> outputs;
  for (const TOutputRoute& route : fPatch.Outputs) {
    outputs.push_back(MakeLightOutput(route, settings.Cid));
    fNames.push_back(outputs.back()->Name());
  }
  fSender = std::make_unique<TOutputSender>(std::move(outputs), fPatch.SentCount,
                                            TSenderOptions{settings.Refresh, settings.Retry, std::move(settings.Report)});
}

TLiveOutput::~TLiveOutput() {
  Stop();
  if (fStreaming.exchange(false)) fSender->EndStreams();
  fSender->Flush();
}

void TLiveOutput::BindShow(const TMovieShape& movie) {
  fBound = false;
  fBoundFixtures.clear();
  try {
    TChannelPatch bound = BindChannelPatch(fPatch, movie);
    for (const TFixture& fixture : bound.Fixtures) {
      fBoundFixtures.push_back({fixture.Name, fixture.First, fixture.ChannelCount()});
    }
    if (!bound.Fixtures.empty()) {
      fMap = TChannelMap(std::move(bound.Fixtures), bound.ChannelCount);
      fBound = true;
    }
  } catch (const EPatchError&) {
    goDark();
    throw;
  }
  if (!fBound) goDark();
}

void TLiveOutput::ShowFrame(const TFrameView& frame) {
  if (!fBound) return;
  fMap.Fill(frame, fSender->NextFrame());
  fSender->Submit();
  fLit = true;
  fStreaming = true;
}

void TLiveOutput::goDark() {
  if (fLit.exchange(false)) fSender->Blackout();
}

void TLiveOutput::Stop() {
  if (!fPatch.Blackout) return;
  goDark();
  if (fStreaming.exchange(false)) fSender->EndStreams();
}

}  // namespace lumora::output

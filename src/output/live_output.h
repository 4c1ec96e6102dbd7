// TLiveOutput: what the show engine holds to light real lamps: the patch
// bound to the movie playing, its channel map filled on the drawing thread,
// and the outputs fed from a sender thread of their own.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "output/channel_map.h"
#include "output/channel_patch.h"
#include "output/component_id.h"
#include "output/output_sender.h"

namespace lumora::output {

struct TLiveSettings {
  // The sACN CID: made once with NewComponentId and kept in user settings.
  TComponentId Cid{};
  // Failures and recoveries of outputs, from the sender thread.
  TOutputReport Report;
  std::chrono::milliseconds Refresh{1000};
  std::chrono::milliseconds Retry{1000};
};

// Where one fixture of the bound patch sits among the channels.
struct TFixtureChannels {
  std::string Name;
  // Index of the first channel, and how many.
  std::uint32_t First = 0;
  std::uint32_t Count = 0;
};

class TLiveOutput {
 public:
  // Outputs open on first use, so nothing is sent before the first frame;
  // no movie is bound yet.
  TLiveOutput(TPatchDefinition patch, TLiveSettings settings);
  // A blackout first when the patch asks for one and a frame is lit, then
  // the end of the streams.
  ~TLiveOutput();
  TLiveOutput(const TLiveOutput&) = delete;
  TLiveOutput& operator=(const TLiveOutput&) = delete;

  // Drawing thread: the frames to come are of this movie. Raises
  // EPatchError when the patch cannot drive it. Until a movie the patch
  // lights is bound, the lamps go dark once and nothing more is sent.
  void BindShow(const TMovieShape& movie);
  // Drawing thread, once for every frame drawn: fills the channels and
  // hands them over without waiting for the network. Stop may come from
  // another thread.
  void ShowFrame(const TFrameView& frame);
  // The show stopped: when the patch asks for a blackout, all channels 0
  // once and the end of the streams; otherwise the last frame goes on being
  // refreshed.
  void Stop();
  // Waits until every frame handed over has been sent.
  void Flush() { fSender->Flush(); }

  std::vector<std::string> OutputNames() const { return fNames; }

  // The master level, blackout and outputs on or off, and a test frame in
  // place of the show's: any thread, in effect at once.
  void SetControls(const TLightControls& controls) { fSender->SetControls(controls); }
  void SetTestFrame(std::optional<std::vector<std::uint8_t>> frame) { fSender->SetTestFrame(std::move(frame)); }
  std::vector<TOutputHealth> Health() const { return fSender->Health(); }
  const TPatchDefinition& Patch() const { return fPatch; }
  // Drawing thread: the fixtures as bound to the movie playing, with their
  // channels; none until a movie is bound.
  const std::vector<TFixtureChannels>& BoundFixtures() const { return fBoundFixtures; }

 private:
  void goDark();

  TPatchDefinition fPatch;
  TChannelMap fMap;
  // Whether fMap lights the movie playing.
  bool fBound = false;
  std::vector<TFixtureChannels> fBoundFixtures;
  // A frame other than the dark one went out since the last dark one.
  std::atomic<bool> fLit = false;
  // Something went out since the streams last ended.
  std::atomic<bool> fStreaming = false;
  std::vector<std::string> fNames;
  std::unique_ptr<TOutputSender> fSender;
};

}  // namespace lumora::output

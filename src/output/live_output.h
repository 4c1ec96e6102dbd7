// TLiveOutput: what the show engine holds to light real lamps: the patch's
// channel map filled on the drawing thread, and the outputs fed from a
// sender thread of their own.
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

class TLiveOutput {
 public:
  // Outputs open on first use, so nothing is sent before the first frame.
  TLiveOutput(TChannelPatch patch, TLiveSettings settings);
  // The same from a patch file, checked against the movie; EPatchError
  // when it cannot drive it.
  TLiveOutput(const std::string& patchPath, const TMovieShape& movie, TLiveSettings settings);
  // A blackout first when the patch asks for one and a frame was shown.
  ~TLiveOutput();
  TLiveOutput(const TLiveOutput&) = delete;
  TLiveOutput& operator=(const TLiveOutput&) = delete;

  // Drawing thread, once for every frame drawn: fills the channels and
  // hands them over without waiting for the network. Stop may come from
  // another thread.
  void ShowFrame(const TFrameView& frame);
  // The show stopped: all channels 0 once when the patch asks for a
  // blackout; otherwise the last frame goes on being refreshed.
  void Stop();
  // Waits until every frame handed over has been sent.
  void Flush() { fSender->Flush(); }

  std::vector<std::string> OutputNames() const { return fNames; }

 private:
  TChannelMap fMap;
  bool fBlackout = true;
  std::atomic<bool> fShown = false;
  std::vector<std::string> fNames;
  std::unique_ptr<TOutputSender> fSender;
};

}  // namespace lumora::output

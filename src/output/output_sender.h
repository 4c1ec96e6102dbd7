// TOutputSender: the thread that sends frames to the light outputs, so that
// drawing never waits on the network, and that keeps receivers fed while the
// show is paused.
#pragma once

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "output/light_output.h"

namespace lumora::output {

// Called on the sender thread; whoever shows the message to a person
// passes it on to their own thread.
using TOutputReport = std::function<void(const std::string& message)>;

struct TSenderOptions {
  // An unchanged frame is sent again this often: receivers let a source go
  // after 2.5 s of silence.
  std::chrono::milliseconds Refresh{1000};
  // A failing output is tried again this often, and counts as working again
  // once it has sent without error for as long.
  std::chrono::milliseconds Retry{1000};
  // Told once when an output fails, and once when it works again; outputs
  // that fail alike at once are told of in one message that counts them.
  TOutputReport Report;
};

// What a person running the show sets for every output at once.
struct TLightControls {
  // Every channel is scaled by Master / 255: a master dimmer.
  std::uint8_t Master = 255;
  // Every channel 0, and kept so, until it is lifted.
  bool Blackout = false;
  // Off: the channels go dark once and nothing more is sent.
  bool Enabled = true;
  friend bool operator==(const TLightControls&, const TLightControls&) = default;
};

// One output as the sender saw it last.
struct TOutputHealth {
  std::string Name;
  // Packets sent since the output was made.
  std::uint64_t Packets = 0;
  bool Failed = false;
  std::string LastError;
};

class TOutputSender {
 public:
  TOutputSender(std::vector<std::unique_ptr<TLightOutput>> outputs, std::uint32_t channelCount,
                TSenderOptions options);
  // Stops the thread; what is still pending is dropped.
  ~TOutputSender();
  TOutputSender(const TOutputSender&) = delete;
  TOutputSender& operator=(const TOutputSender&) = delete;

  // The drawing thread's buffer for the next frame; its content is stale
  // until the caller fills it.
  std::vector<std::uint8_t>& NextFrame() { return fDrawing; }
  // Hands NextFrame() over; a frame the sender has not taken yet is replaced.
  void Submit();
  // Sends every channel as 0 once, in place of any frame not yet taken, and
  // stops resending until the next frame.
  void Blackout();
  // The source stops: after what was handed over, the outputs announce it
  // where their protocol can (sACN's stream-terminated packets); resending
  // stops until the next frame.
  void EndStreams();
  // Waits until everything handed over has been sent.
  void Flush();
  // Takes effect at once: what was last sent goes out again under them.
  void SetControls(const TLightControls& controls);
  // Channels sent in place of the show's frames, and kept up, while set
  // (a test pattern); none: the show's frames again.
  void SetTestFrame(std::optional<std::vector<std::uint8_t>> frame);
  // Any thread.
  std::vector<TOutputHealth> Health() const;

 private:
  struct TOutputState {
    bool Failed = false;
    std::chrono::steady_clock::time_point NextTry;
    std::chrono::steady_clock::time_point CleanSince;
    bool Clean = false;
  };

  // What one turn of the thread does.
  struct TRound {
    bool Send = false;
    bool End = false;
  };
  // What the outputs are told, apart from the sender thread's state.
  struct THealthCounter {
    std::atomic<std::uint64_t> Packets = 0;
    std::atomic<bool> Failed = false;
    std::uint64_t PacketsPerFrame = 1;
  };
  // Outputs told of with the same words in one round, by those words.
  struct TReportGroup {
    std::string FirstName;
    std::size_t Count = 0;
  };
  using TReportGroups = std::map<std::string, TReportGroup>;

  void run(std::stop_token stop);
  TRound takeRound(bool woken, bool& resend);
  // The channels that go out: the test frame or the show's, under the
  // controls; none while the outputs are off and already dark.
  const std::vector<std::uint8_t>* outgoing(const TLightControls& controls, const std::vector<std::uint8_t>* test);
  void sendToAll(const std::vector<std::uint8_t>& frame);
  void sendTo(std::size_t index, const std::vector<std::uint8_t>& frame, TReportGroups& reports);
  void noteHealth(std::size_t index, const std::string& error);
  void endAll(const std::vector<std::uint8_t>& frame);
  void report(const TReportGroups& reports) const;

  std::vector<std::unique_ptr<TLightOutput>> fOutputs;
  std::vector<TOutputState> fStates;
  TSenderOptions fOptions;
  // The sender thread's alone.
  TSendScratch fScratch;
  std::vector<std::uint8_t> fOutgoing;
  bool fDarkWhileOff = false;
  std::vector<THealthCounter> fHealth;
  mutable std::mutex fErrorLock;
  // Under fErrorLock.
  std::vector<std::string> fLastErrors;

  std::vector<std::uint8_t> fDrawing;
  std::vector<std::uint8_t> fSending;
  std::mutex fLock;
  std::condition_variable_any fWake;
  std::condition_variable_any fIdle;
  // Under fLock.
  std::vector<std::uint8_t> fPending;
  bool fHasPending = false;
  bool fBlackoutPending = false;
  bool fEndPending = false;
  bool fBusy = false;
  TLightControls fControls;
  // Shared with the sender thread, which reads it without the lock.
  std::shared_ptr<const std::vector<std::uint8_t>> fTest;
  bool fControlsChanged = false;

  // Last, so that it stops before anything it uses goes.
  std::jthread fThread;
};

}  // namespace lumora::output

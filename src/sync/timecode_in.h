// A timecode a player follows, read on a thread of its own: Art-Net
// timecode from a UDP port, MIDI timecode from the ALSA sequencer, or LTC
// from a WAV file (played in real time) or an audio input. Each position
// heard goes to the sink as seconds into the show, the show's fixed hour
// taken off, with the time it was heard; a source that stops says so. OSC
// timecode comes through the OSC server instead.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "sync/player_clock.h"
#include "sync/sync_options.h"
#include "sync/timecode.h"

namespace lumora::sync {

struct TTimecodeHeard {
  TTimecode Timecode;
  double Seconds = 0;
  TSyncTime At{};
  // The source stopped (MIDI stop, the end of a WAV file).
  bool Stopped = false;
};

using TTimecodeSink = std::function<void(const TTimecodeHeard&)>;
// The fixed hour of the show playing; asked from the reading thread.
using THourOf = std::function<std::optional<int>()>;

// "artnet 0.0.0.0:6454", "mtc", "ltc show.wav", "ltc audio default", "osc".
std::string TimecodeInName(const TTimecodeInSource& source);

class TTimecodeInput {
 public:
  // Opens the source and starts reading; raises std::runtime_error naming
  // what cannot be opened. Not for OSC.
  TTimecodeInput(const TTimecodeInSource& source, TTimecodeSink sink, THourOf hour, TRealClock clock);
  ~TTimecodeInput();
  TTimecodeInput(const TTimecodeInput&) = delete;
  TTimecodeInput& operator=(const TTimecodeInput&) = delete;

  // Art-Net: the port it listens on.
  std::uint16_t Port() const;

 private:
  struct TReader;
  std::unique_ptr<TReader> fReader;
  std::jthread fThread;
};

}  // namespace lumora::sync

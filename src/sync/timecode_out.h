// Where a player sends the show's timecode: Art-Net, MIDI timecode through
// the ALSA sequencer, or LTC to a WAV file or an audio output. Each is told
// after every frame where the show stands, and says what it sent last; all
// of them run on the sender thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sync/sync_options.h"
#include "sync/timecode.h"

namespace lumora::sync {

struct TTimecodeProgress {
  bool Playing = false;
  // Seconds into the show or list entry playing.
  double Seconds = 0;
  // Its fixed hour.
  std::optional<int> Hour;
  friend bool operator==(const TTimecodeProgress&, const TTimecodeProgress&) = default;
};

class ITimecodeOut {
 public:
  virtual ~ITimecodeOut() = default;
  // Empty on success, else why not; the next call tries again.
  virtual std::string Update(const TTimecodeProgress& progress) = 0;
  virtual std::optional<TTimecode> LastSent() const = 0;
};

// "artnet 10.0.0.9:6454", "mtc", "ltc timecode.wav", "ltc audio default".
std::string TimecodeOutName(const TTimecodeOutTarget& target);

// Opens what the target names; raises std::runtime_error saying why not
// (no sequencer, a device or file that cannot be opened).
std::unique_ptr<ITimecodeOut> OpenTimecodeOut(const TTimecodeOutTarget& target);

}  // namespace lumora::sync

// What a player is told about sync, timecode and OSC, as the command line
// and the configuration file write it (TSyncOptions, text), and the same
// checked and typed (TSyncSetup). Every fault names the option and what is
// wrong with it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/network_address.h"
#include "sync/leader_schedule.h"
#include "sync/timecode.h"

namespace lumora::sync {

class ESyncOptions : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct TSyncOptions {
  // --sync-lead HOST[:PORT][,HOST…], and the group or broadcast address
  // besides (only when asked).
  std::string Lead;
  bool Multicast = false;
  bool Broadcast = false;
  // --sync-follow [ADDRESS][:PORT]; empty text: every local address, the
  // MultiSync port.
  std::optional<std::string> Follow;
  // --sync-offset: milliseconds this player plays ahead of its leader.
  double OffsetMs = 0;
  // --timecode-out, once for each: artnet:HOST[:PORT][,fps],
  // mtc[:CLIENT:PORT][,fps], ltc:FILE.wav[,fps], ltc:audio[:DEVICE][,fps].
  std::vector<std::string> TimecodeOut;
  // --timecode-hour H, or NAME=H and ENTRY=H by show file or list entry.
  std::string TimecodeHour;
  // --timecode-in artnet[:ADDRESS[:PORT]], mtc[:CLIENT:PORT],
  // ltc:FILE.wav[,fps], ltc:audio[:DEVICE][,fps] or osc.
  std::string TimecodeIn;
  // --osc [ADDRESS:]PORT, --osc-allow ADDRESS[/BITS][,…] and
  // --osc-feedback HOST:PORT.
  std::string Osc;
  std::string OscAllow;
  std::string OscFeedback;
  // --clock-rate, for tests: the player's clock runs this much fast or slow.
  double ClockRate = 1;
};

enum class TTimecodeOutKind : std::uint8_t { ArtNet, Mtc, LtcFile, LtcAudio };

struct TTimecodeOutTarget {
  TTimecodeOutKind Kind = TTimecodeOutKind::ArtNet;
  output::TEndpoint To;
  // The WAV file, the ALSA PCM device, or the sequencer port to connect to.
  std::string Name;
  TTimecodeRate Rate = TTimecodeRate::Ebu25;
};

enum class TTimecodeInKind : std::uint8_t { ArtNet, Mtc, LtcFile, LtcAudio, Osc };

struct TTimecodeInSource {
  TTimecodeInKind Kind = TTimecodeInKind::ArtNet;
  output::TEndpoint Listen;
  std::string Name;
  TTimecodeRate Rate = TTimecodeRate::Ebu25;
};

// The hour a show's timecode starts at: by show file name, by list entry
// (from 1), or for every show.
struct THourTable {
  std::optional<int> Every;
  std::map<std::string, int> ByName;
  std::map<std::int64_t, int> ByEntry;
  // The entry counts first, then the name, then the hour for all.
  std::optional<int> For(const std::string& showName, std::optional<std::size_t> entry) const;
};

// An address and how many of its leading bits must match.
struct TAddressRange {
  std::uint32_t Address = 0;
  int Bits = 32;
  bool Contains(std::uint32_t address) const;
};

struct TSyncSetup {
  std::optional<TLeaderTargets> Lead;
  std::optional<output::TEndpoint> Follow;
  double OffsetMs = 0;
  std::vector<TTimecodeOutTarget> TimecodeOut;
  THourTable Hours;
  std::optional<TTimecodeInSource> TimecodeIn;
  std::optional<output::TEndpoint> Osc;
  // Who besides this machine may send OSC.
  std::vector<TAddressRange> OscAllow;
  std::optional<output::TEndpoint> OscFeedback;
  double ClockRate = 1;
  // Whether anything of sync, timecode or OSC is asked for.
  bool Active() const;
};

inline constexpr double kMaxOffsetMs = 10000;
inline constexpr double kMinClockRate = 0.5;
inline constexpr double kMaxClockRate = 2;

// Raises ESyncOptions naming the option at fault. Host names are looked up
// here, once, where resolve is set.
TSyncSetup ParseSyncOptions(const TSyncOptions& options, bool resolve = true);

// Whether the address may send OSC: this machine always, others when an
// allowed range holds them.
bool OscAllowed(const TSyncSetup& setup, std::uint32_t address);

}  // namespace lumora::sync

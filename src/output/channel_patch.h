// TChannelPatch: which lamp channels a frame fills and where they are sent,
// read from a patch file (JSON) and checked against the movie it drives.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "output/frame_input.h"
#include "render/geometry.h"

namespace lumora::output {

// Channel numbers run from 1 to this, as lighting tools count them.
inline constexpr std::uint32_t kMaxChannels = std::uint32_t{1} << 24;
// Larger patch files are refused unread.
inline constexpr std::uint64_t kMaxPatchBytes = std::uint64_t{16} << 20;
// Points, cells and lamps sampled by all fixtures together, and channels
// sent by all outputs together: what one frame may cost.
inline constexpr std::uint64_t kMaxPatchSamples = std::uint64_t{1} << 24;
inline constexpr std::uint64_t kMaxSentChannels = std::uint64_t{1} << 25;

// A patch that cannot drive the movie: "<file>: <json path>: <what>".
class EPatchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TFixtureSource : std::uint8_t { Grid, Pixels, Lamps };

// The channels a sample fills, in order; Intensity is one channel holding
// the brightest of red, green and blue.
enum class TColourOrder : std::uint8_t { RGB, RBG, GRB, GBR, BRG, BGR, Intensity };

inline constexpr std::uint32_t ChannelsPerSample(TColourOrder order) {
  return order == TColourOrder::Intensity ? 1 : 3;
}

struct TFixture {
  std::string Name;
  TFixtureSource Source = TFixtureSource::Grid;
  // The grid layer, or the layer of the lamps' graphic.
  std::int32_t Layer = 0;
  std::int32_t Graphic = 0;
  // In channel order: grid cells as (column, row), or movie points; lamps
  // are asked for each frame and LampCount of them are patched.
  TPoints Samples;
  std::int32_t LampCount = 0;
  TColourOrder Colours = TColourOrder::RGB;
  // Index of the first channel (channel number − 1).
  std::uint32_t First = 0;
  double Brightness = 100;
  double Gamma = 1;

  std::uint32_t SampleCount() const {
    return Source == TFixtureSource::Lamps ? static_cast<std::uint32_t>(LampCount)
                                           : static_cast<std::uint32_t>(Samples.size());
  }
  std::uint32_t ChannelCount() const { return SampleCount() * ChannelsPerSample(Colours); }
};

enum class TProtocol : std::uint8_t { Sacn, ArtNet, Ddp, Ola };

// "sACN", "Art-Net", "DDP", "OLA": for people.
const char* ProtocolName(TProtocol protocol);
// "sacn", "artnet", "ddp", "ola": for patch files.
const char* ProtocolKey(TProtocol protocol);
inline constexpr TProtocol kProtocols[] = {TProtocol::Sacn, TProtocol::ArtNet, TProtocol::Ddp, TProtocol::Ola};

// A range of the frame's channels and the destination it goes to.
struct TOutputRoute {
  TProtocol Protocol = TProtocol::Sacn;
  // Index of the first channel sent, and how many.
  std::uint32_t First = 0;
  std::uint32_t Count = 0;
  // sACN 1–63999, Art-Net port-address 0–32767, OLA universe id; the
  // channels fill consecutive universes of UniverseSize slots.
  std::uint32_t Universe = 0;
  std::uint32_t UniverseSize = 510;
  // The host as written and its IPv4 address (host byte order); no host
  // means multicast (sACN) or broadcast (Art-Net).
  std::string Host;
  std::uint32_t Address = 0;
  // Local IPv4 address to send from; 0 lets the system choose.
  std::uint32_t Interface = 0;
  // UDP port of the receivers, or OLA's RPC port.
  std::uint16_t Port = 0;
  std::uint8_t Priority = 100;
  bool Sync = false;
  std::uint16_t SyncUniverse = 0;
  // DDP: byte offset of the first channel in the receiver's buffer.
  std::uint32_t DdpOffset = 0;

  std::uint32_t UniverseCount() const { return Count == 0 ? 0 : (Count - 1) / UniverseSize + 1; }
};

struct TChannelPatch {
  std::vector<TFixture> Fixtures;
  std::vector<TOutputRoute> Outputs;
  // All channels sent as 0 once when the show stops.
  bool Blackout = true;
  // One past the highest channel index any fixture or output uses.
  std::uint32_t ChannelCount = 0;
};

// Reads a patch file; EPatchError names the file, the JSON path and what is
// wrong, and a file over kMaxPatchBytes is refused unread.
TChannelPatch LoadChannelPatch(const std::string& path, const TMovieShape& movie);
// The same for text held in memory; source names it in errors.
TChannelPatch ParseChannelPatch(std::string_view text, const std::string& source, const TMovieShape& movie);

}  // namespace lumora::output

// The channel patch: which lamp channels a frame fills and where they are
// sent, read once from a patch file (JSON) and bound to each movie it drives.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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

// Past these a patch is refused before anything is built for it: values
// of its JSON (objects, lists, numbers, strings, keys), fixtures, outputs.
inline constexpr std::uint64_t kMaxPatchValues = std::uint64_t{1} << 20;
inline constexpr std::size_t kMaxPatchFixtures = std::size_t{1} << 16;
inline constexpr std::size_t kMaxPatchOutputs = 512;

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

// A fixture bound to one movie: the samples it reads of each frame.
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

enum class TScanOrder : std::uint8_t { Rows, Columns };
enum class TPixelShape : std::uint8_t { Points, Line, Rectangle };

// A fixture as its patch writes it, before it meets a movie: what it names
// of a movie (grid cells, points, a graphic's lamps) is checked against
// each movie it is bound to.
struct TFixtureDefinition {
  // Everything but the samples and the lamp count.
  TFixture Look;
  // "fixtures[3]", for the messages of a bind.
  std::string Path;
  // The file name of the one movie it lights; empty: every movie.
  std::string Movie;
  // Grid: [first, last] rows and columns; none: all the layer has.
  std::optional<std::pair<std::int32_t, std::int32_t>> Rows;
  std::optional<std::pair<std::int32_t, std::int32_t>> Columns;
  // Grid and rectangle: the order of the scan.
  TScanOrder Order = TScanOrder::Rows;
  bool Serpentine = false;
  // Pixels: the points, or a line's or rectangle's two ends; a line's
  // count, a rectangle's columns and rows.
  TPixelShape Shape = TPixelShape::Points;
  TPoints Points;
  std::int32_t Count = 0;
  std::int32_t ShapeColumns = 0;
  std::int32_t ShapeRows = 0;
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
  // The host as written and its IPv4 address (host byte order); none sends
  // to each universe's multicast group (sACN) or broadcasts (Art-Net).
  std::string Host;
  std::optional<std::uint32_t> Address;
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

// A patch as read from its file, once: its outputs with their hosts
// resolved, and its fixtures as written, to be bound to each movie played.
struct TPatchDefinition {
  // The file, as errors name it.
  std::string Source;
  std::vector<TFixtureDefinition> Fixtures;
  std::vector<TOutputRoute> Outputs;
  // All channels sent as 0 once when the show stops.
  bool Blackout = true;
  // One past the highest channel index an output sends.
  std::uint32_t SentCount = 0;
};

// A patch bound to one movie.
struct TChannelPatch {
  // The fixtures that light this movie, in patch order.
  std::vector<TFixture> Fixtures;
  std::vector<TOutputRoute> Outputs;
  bool Blackout = true;
  // One past the highest channel index any fixture or output uses.
  std::uint32_t ChannelCount = 0;
};

// Reads a patch file and resolves its hosts; EPatchError names the file,
// the JSON path and what is wrong, and a file over kMaxPatchBytes is
// refused unread.
TPatchDefinition ReadPatchDefinition(const std::string& path);
// The same for text held in memory; source names it in errors.
TPatchDefinition ParsePatchDefinition(std::string_view text, const std::string& source);
// The patch as it lights the movie: every cell, point and lamp its fixtures
// name checked against it; EPatchError when it cannot drive it. Fixtures
// of another movie are left out. Reads no file and resolves no host.
TChannelPatch BindChannelPatch(const TPatchDefinition& patch, const TMovieShape& movie);

// Read and bound at once, for a single movie.
TChannelPatch LoadChannelPatch(const std::string& path, const TMovieShape& movie);
TChannelPatch ParseChannelPatch(std::string_view text, const std::string& source, const TMovieShape& movie);

}  // namespace lumora::output

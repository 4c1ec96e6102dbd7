#include "output/patch_generator.h"

#include <nlohmann/json.hpp>

namespace lumora::output {

namespace {

using TJson = nlohmann::ordered_json;

// 170 RGB pixels a universe: no pixel is split between two universes.
constexpr std::uint32_t kUniverseSize = 510;

[[noreturn]] void fail(const std::string& what) { throw EPatchError("starting patch: " + what); }

TJson fixtureLook(std::uint64_t start) {
  return {{"colours", "RGB"}, {"start", start}, {"brightness", 100}, {"gamma", 1.0}};
}

TJson gridFixtures(const TMovieShape& movie, std::uint64_t& next) {
  TJson fixtures = TJson::array();
  for (std::size_t layer = 0; layer < movie.GridLayers.size(); ++layer) {
    const TGridLayerShape& shape = movie.GridLayers[layer];
    if (shape.Rows <= 0 || shape.Columns <= 0) continue;
    TJson fixture = {{"name", "grid layer " + std::to_string(layer)}, {"source", "grid"}, {"layer", layer},
                     {"rows", {0, shape.Rows - 1}}, {"columns", {0, shape.Columns - 1}}, {"order", "rows"},
                     {"serpentine", false}};
    fixture.update(fixtureLook(next + 1));
    fixtures.push_back(std::move(fixture));
    next += std::uint64_t{3} * static_cast<std::uint64_t>(shape.Rows) * static_cast<std::uint64_t>(shape.Columns);
  }
  return fixtures;
}

TJson lampFixtures(const TMovieShape& movie, std::uint64_t& next) {
  TJson fixtures = TJson::array();
  for (const TLampGraphicShape& graphic : movie.LampGraphics) {
    if (graphic.LampCount <= 0) continue;
    TJson fixture = {{"name", graphic.ClassName + " " + std::to_string(graphic.Graphic) + " on layer " +
                                  std::to_string(graphic.Layer)},
                     {"source", "lamps"}, {"layer", graphic.Layer}, {"graphic", graphic.Graphic}};
    fixture.update(fixtureLook(next + 1));
    fixtures.push_back(std::move(fixture));
    next += std::uint64_t{3} * static_cast<std::uint64_t>(graphic.LampCount);
  }
  return fixtures;
}

TJson output(const TStartingPatchOptions& options, std::uint64_t channels) {
  TJson result = {{"protocol", ProtocolKey(options.Protocol)}, {"channels", {1, channels}}};
  if (options.Protocol != TProtocol::Ddp) {
    result["universe"] = options.Protocol == TProtocol::ArtNet ? 0 : 1;
    result["universe_size"] = kUniverseSize;
  }
  if (!options.Host.empty()) result["host"] = options.Host;
  return result;
}

}  // namespace

std::string MakeStartingPatch(const TMovieShape& movie, const TStartingPatchOptions& options) {
  if (options.Protocol == TProtocol::Ddp && options.Host.empty()) fail("DDP sends to one controller: name its host");
  if (options.Protocol == TProtocol::Ola && !options.Host.empty()) fail("OLA runs on this machine: it takes no host");
  std::uint64_t channels = 0;
  const bool grid = options.Source == TStartingSource::Grid;
  TJson fixtures = grid ? gridFixtures(movie, channels) : lampFixtures(movie, channels);
  if (fixtures.empty()) fail(grid ? "the movie has no grid cells" : "the movie has no lamps");
  if (channels > kMaxChannels) {
    fail("the movie needs " + std::to_string(channels) + " channels, more than " + std::to_string(kMaxChannels));
  }
  const std::uint64_t universes = (channels + kUniverseSize - 1) / kUniverseSize;
  const std::uint64_t mostUniverses = options.Protocol == TProtocol::Sacn ? 63999 : 32768;
  if (options.Protocol != TProtocol::Ddp && universes > mostUniverses) {
    fail("the movie needs " + std::to_string(universes) + " universes, more than " + ProtocolName(options.Protocol) +
         " has");
  }
  const TJson patch = {{"fixtures", std::move(fixtures)}, {"outputs", {output(options, channels)}}, {"blackout", true}};
  return patch.dump(2, ' ', false, TJson::error_handler_t::replace) + "\n";
}

}  // namespace lumora::output

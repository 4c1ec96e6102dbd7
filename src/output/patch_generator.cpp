#include "output/patch_generator.h"

#include <algorithm>
#include <map>

#include <nlohmann/json.hpp>

namespace lumora::output {

namespace {

using TJson = nlohmann::ordered_json;

// 170 RGB pixels a universe: no pixel is split between two universes.
constexpr std::uint32_t kUniverseSize = 510;
// What LED pixels look right with.
constexpr double kPixelGamma = 2.2;

[[noreturn]] void fail(const std::string& what) { throw EPatchError("starting patch: " + what); }

// The fixtures being laid out one after another from channel 1.
class TLayout {
 public:
  // A fixture of samples RGB pixels at the next free channel.
  void Add(TJson fixture, std::uint64_t samples) {
    fixture.update({{"colours", "RGB"}, {"start", fNext + 1}, {"brightness", 100}, {"gamma", kPixelGamma}});
    fFixtures.push_back(std::move(fixture));
    fNext += 3 * samples;
  }
  TJson& Fixtures() { return fFixtures; }
  std::uint64_t Channels() const { return fNext; }

 private:
  TJson fFixtures = TJson::array();
  std::uint64_t fNext = 0;
};

std::string cellsText(const TGridLayerShape& shape) {
  return std::to_string(shape.Rows) + " × " + std::to_string(shape.Columns) + " cells";
}

std::uint64_t cellCount(const TGridLayerShape& shape) {
  return static_cast<std::uint64_t>(shape.Rows) * static_cast<std::uint64_t>(shape.Columns);
}

// The name first, then the movie it is for, if only one.
TJson named(const std::string& name, const std::string& movie) {
  TJson fixture = {{"name", name}};
  if (!movie.empty()) fixture["movie"] = movie;
  return fixture;
}

TJson gridFixture(std::size_t layer, const std::string& name, const std::string& movie = "") {
  TJson fixture = named(name, movie);
  fixture.update({{"source", "grid"}, {"layer", layer}});
  return fixture;
}

TJson withCells(TJson fixture, const TGridLayerShape& shape) {
  fixture.update({{"rows", {0, shape.Rows - 1}}, {"columns", {0, shape.Columns - 1}}, {"order", "rows"},
                  {"serpentine", false}});
  return fixture;
}

// The movies holding this grid layer with cells, by index.
std::vector<std::size_t> gridHolders(const std::vector<TMovieShape>& movies, std::size_t layer) {
  std::vector<std::size_t> holders;
  for (std::size_t i = 0; i < movies.size(); ++i) {
    const auto& layers = movies[i].GridLayers;
    if (layer < layers.size() && cellCount(layers[layer]) > 0) holders.push_back(i);
  }
  return holders;
}

void gridLayer(const std::vector<TMovieShape>& movies, std::size_t layer, TLayout& layout) {
  const std::vector<std::size_t> holders = gridHolders(movies, layer);
  if (holders.empty()) return;
  const std::string name = "grid layer " + std::to_string(layer);
  if (holders.size() < movies.size()) {
    for (const std::size_t i : holders) {
      const TGridLayerShape& shape = movies[i].GridLayers[layer];
      const std::string& movie = movies[i].File;
      layout.Add(withCells(gridFixture(layer, name + " of " + movie + ", " + cellsText(shape), movie), shape),
                 cellCount(shape));
    }
    return;
  }
  const TGridLayerShape* largest = &movies[0].GridLayers[layer];
  bool alike = true;
  for (const TMovieShape& movie : movies) {
    const TGridLayerShape& shape = movie.GridLayers[layer];
    alike = alike && shape.Rows == largest->Rows && shape.Columns == largest->Columns;
    if (cellCount(shape) > cellCount(*largest)) largest = &shape;
  }
  if (alike) {
    layout.Add(withCells(gridFixture(layer, name + ", " + cellsText(*largest)), *largest), cellCount(*largest));
  } else {
    // All cells of whichever movie plays, row by row from the first channel.
    layout.Add(gridFixture(layer, name + ", up to " + cellsText(*largest)), cellCount(*largest));
  }
}

std::string lampsText(const TLampGraphicShape& graphic, bool upTo) {
  const std::string count = (upTo ? "up to " : "") + std::to_string(graphic.LampCount);
  switch (graphic.Kind) {
    case TLampKind::LightStrip:
      return "light strip of " + count + " lamps";
    case TLampKind::LedMatrix:
      return "LED matrix of " + count + " cells";
    case TLampKind::SwingingLight:
      break;
  }
  return "swinging light";
}

TJson lampFixture(const TLampGraphicShape& graphic, bool upTo, const std::string& movie) {
  TJson fixture = named(lampsText(graphic, upTo) + ", layer " + std::to_string(graphic.Layer) + ", graphic " +
                            std::to_string(graphic.Graphic) + (movie.empty() ? "" : " of " + movie),
                        movie);
  fixture.update({{"source", "lamps"}, {"layer", graphic.Layer}, {"graphic", graphic.Graphic}});
  return fixture;
}

void lampGraphic(const std::vector<const TLampGraphicShape*>& held, const std::vector<TMovieShape>& movies,
                 TLayout& layout) {
  if (std::count(held.begin(), held.end(), nullptr) == 0) {
    const TLampGraphicShape* largest = held[0];
    bool alike = true;
    for (const TLampGraphicShape* g : held) {
      alike = alike && g->LampCount == largest->LampCount;
      if (g->LampCount > largest->LampCount) largest = g;
    }
    layout.Add(lampFixture(*largest, !alike, ""), static_cast<std::uint64_t>(largest->LampCount));
    return;
  }
  for (std::size_t i = 0; i < held.size(); ++i) {
    if (held[i] != nullptr) {
      layout.Add(lampFixture(*held[i], false, movies[i].File), static_cast<std::uint64_t>(held[i]->LampCount));
    }
  }
}

void lampFixtures(const std::vector<TMovieShape>& movies, TLayout& layout) {
  // By layer and graphic, the graphic each movie has there (or none).
  std::map<std::pair<std::int32_t, std::int32_t>, std::vector<const TLampGraphicShape*>> graphics;
  for (std::size_t i = 0; i < movies.size(); ++i) {
    for (const TLampGraphicShape& g : movies[i].LampGraphics) {
      if (g.LampCount <= 0) continue;
      auto& held = graphics[{g.Layer, g.Graphic}];
      held.resize(movies.size(), nullptr);
      held[i] = &g;
    }
  }
  for (const auto& [place, held] : graphics) lampGraphic(held, movies, layout);
}

void gridFixtures(const std::vector<TMovieShape>& movies, TLayout& layout) {
  std::size_t layers = 0;
  for (const TMovieShape& movie : movies) layers = std::max(layers, movie.GridLayers.size());
  for (std::size_t layer = 0; layer < layers; ++layer) gridLayer(movies, layer, layout);
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

void checkFits(const TStartingPatchOptions& options, std::uint64_t channels) {
  if (channels > kMaxChannels) {
    fail("the movie needs " + std::to_string(channels) + " channels, more than " + std::to_string(kMaxChannels));
  }
  const std::uint64_t universes = (channels + kUniverseSize - 1) / kUniverseSize;
  const std::uint64_t mostUniverses = options.Protocol == TProtocol::Sacn ? 63999 : 32768;
  if (options.Protocol != TProtocol::Ddp && universes > mostUniverses) {
    fail("the movie needs " + std::to_string(universes) + " universes, more than " + ProtocolName(options.Protocol) +
         " has");
  }
}

}  // namespace

std::string MakeStartingPatch(const std::vector<TMovieShape>& movies, const TStartingPatchOptions& options) {
  if (options.Protocol == TProtocol::Ddp && options.Host.empty()) fail("DDP sends to one controller: name its host");
  if (options.Protocol == TProtocol::Ola && !options.Host.empty()) fail("OLA runs on this machine: it takes no host");
  const bool grid = options.Source == TStartingSource::Grid;
  TLayout layout;
  grid ? gridFixtures(movies, layout) : lampFixtures(movies, layout);
  if (layout.Fixtures().empty()) fail(grid ? "the movie has no grid cells" : "the movie has no lamps");
  checkFits(options, layout.Channels());
  const TJson patch = {
      {"fixtures", std::move(layout.Fixtures())}, {"outputs", {output(options, layout.Channels())}}, {"blackout", true}};
  return patch.dump(2, ' ', false, TJson::error_handler_t::replace) + "\n";
}

}  // namespace lumora::output

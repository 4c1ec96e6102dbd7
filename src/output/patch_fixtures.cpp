#include <algorithm>
#include <string>

#include "output/patch_parts_p.h"

namespace lumora::output::patch {

namespace {

enum class TScanOrder : std::uint8_t { Rows, Columns };

struct TScan {
  std::int32_t Columns = 0;
  std::int32_t Rows = 0;
  TScanOrder Order = TScanOrder::Rows;
  bool Serpentine = false;
};

// (column, row) of every cell of a columns × rows block in scan order: line
// by line, every other line reversed when serpentine.
TPoints scanCells(const TScan& scan) {
  const bool byRows = scan.Order == TScanOrder::Rows;
  const std::int32_t lines = byRows ? scan.Rows : scan.Columns;
  const std::int32_t along = byRows ? scan.Columns : scan.Rows;
  TPoints cells;
  cells.reserve(static_cast<std::size_t>(lines) * static_cast<std::size_t>(along));
  for (std::int32_t line = 0; line < lines; ++line) {
    const bool reversed = scan.Serpentine && line % 2 == 1;
    for (std::int32_t k = 0; k < along; ++k) {
      const std::int32_t step = reversed ? along - 1 - k : k;
      cells.push_back(byRows ? TPoint{step, line} : TPoint{line, step});
    }
  }
  return cells;
}

void readScanOrder(const TPatchObject& object, TScan& scan) {
  if (const auto order = object.Optional("order")) {
    scan.Order = static_cast<TScanOrder>(order->Choice({"rows", "columns"}, "order"));
  }
  if (const auto serpentine = object.Optional("serpentine")) scan.Serpentine = serpentine->Boolean();
}

// The i-th of count evenly spaced values from a to b, rounded to nearest.
std::int32_t evenlySpaced(std::int32_t a, std::int32_t b, std::int64_t i, std::int64_t count) {
  if (count < 2) return a;
  const std::int64_t span = (std::int64_t{b} - a) * i;
  const std::int64_t d = count - 1;
  const std::int64_t rounded = span >= 0 ? (2 * span + d) / (2 * d) : -((-2 * span + d) / (2 * d));
  return static_cast<std::int32_t>(a + rounded);
}

void checkBudget(const TPatchValue& where, std::uint64_t count, std::uint64_t budget) {
  if (count > budget) {
    where.Fail("the fixtures sample more than " + std::to_string(kMaxPatchSamples) + " points, cells and lamps in all");
  }
}

TPoint moviePoint(const TPatchValue& value, const TMovieShape& movie) {
  const TPoint p = value.Point(INT32_MIN, INT32_MAX);
  if (p.X < 0 || p.Y < 0 || p.X >= movie.Width || p.Y >= movie.Height) {
    value.Fail("point (" + std::to_string(p.X) + ", " + std::to_string(p.Y) + ") lies outside the movie's " +
               std::to_string(movie.Width) + " × " + std::to_string(movie.Height) + " pixels");
  }
  return p;
}

void readGrid(const TPatchObject& object, const TMovieShape& movie, std::uint64_t budget, TFixture& fixture) {
  const TPatchValue layerValue = object.Required("layer");
  const std::int64_t layer = layerValue.Integer(0, INT32_MAX);
  const auto layers = static_cast<std::int64_t>(movie.GridLayers.size());
  if (layer >= layers) {
    layerValue.Fail("the movie has no grid layer " + std::to_string(layer) + " (it has " +
                    (layers == 0 ? std::string("none") : std::to_string(layers)) + ")");
  }
  const TGridLayerShape& shape = movie.GridLayers[static_cast<std::size_t>(layer)];
  if (shape.Rows <= 0 || shape.Columns <= 0) layerValue.Fail("grid layer " + std::to_string(layer) + " has no cells");
  std::pair<std::int64_t, std::int64_t> rows{0, shape.Rows - 1};
  std::pair<std::int64_t, std::int64_t> columns{0, shape.Columns - 1};
  if (const auto value = object.Optional("rows")) rows = value->Range(0, shape.Rows - 1);
  if (const auto value = object.Optional("columns")) columns = value->Range(0, shape.Columns - 1);
  TScan scan{static_cast<std::int32_t>(columns.second - columns.first + 1),
             static_cast<std::int32_t>(rows.second - rows.first + 1)};
  readScanOrder(object, scan);
  checkBudget(layerValue, std::uint64_t(scan.Columns) * std::uint64_t(scan.Rows), budget);
  fixture.Layer = static_cast<std::int32_t>(layer);
  fixture.Samples = scanCells(scan);
  for (TPoint& cell : fixture.Samples) {
    cell.X += static_cast<std::int32_t>(columns.first);
    cell.Y += static_cast<std::int32_t>(rows.first);
  }
}

TPoints readPointList(const TPatchValue& list, const TMovieShape& movie, std::uint64_t budget) {
  const std::vector<TPatchValue> points = list.Elements();
  checkBudget(list, points.size(), budget);
  TPoints samples;
  samples.reserve(points.size());
  for (const TPatchValue& point : points) samples.push_back(moviePoint(point, movie));
  return samples;
}

TPoints readLine(const TPatchObject& line, const TMovieShape& movie, std::uint64_t budget) {
  line.OnlyKeys({"from", "to", "count"});
  const TPoint from = moviePoint(line.Required("from"), movie);
  const TPoint to = moviePoint(line.Required("to"), movie);
  const TPatchValue countValue = line.Required("count");
  const std::int64_t count = countValue.Integer(1, kMaxPatchSamples);
  checkBudget(countValue, count, budget);
  TPoints samples;
  samples.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    samples.push_back({evenlySpaced(from.X, to.X, i, count), evenlySpaced(from.Y, to.Y, i, count)});
  }
  return samples;
}

TPoints readRectangle(const TPatchObject& rectangle, const TMovieShape& movie, std::uint64_t budget) {
  rectangle.OnlyKeys({"from", "to", "columns", "rows", "order", "serpentine"});
  const TPoint from = moviePoint(rectangle.Required("from"), movie);
  const TPoint to = moviePoint(rectangle.Required("to"), movie);
  TScan scan{static_cast<std::int32_t>(rectangle.Required("columns").Integer(1, kMaxPatchSamples)),
             static_cast<std::int32_t>(rectangle.Required("rows").Integer(1, kMaxPatchSamples))};
  readScanOrder(rectangle, scan);
  checkBudget(rectangle.Required("rows"), std::uint64_t(scan.Columns) * std::uint64_t(scan.Rows), budget);
  TPoints samples = scanCells(scan);
  for (TPoint& p : samples) {
    p = {evenlySpaced(from.X, to.X, p.X, scan.Columns), evenlySpaced(from.Y, to.Y, p.Y, scan.Rows)};
  }
  return samples;
}

void readPixels(const TPatchObject& object, const TMovieShape& movie, std::uint64_t budget, TFixture& fixture) {
  const int shapes = int{object.Has("points")} + int{object.Has("line")} + int{object.Has("rectangle")};
  if (shapes != 1) object.Fail("pixels need exactly one of \"points\", \"line\" or \"rectangle\"");
  if (const auto points = object.Optional("points")) fixture.Samples = readPointList(*points, movie, budget);
  if (const auto line = object.Optional("line")) fixture.Samples = readLine(line->Object(), movie, budget);
  if (const auto rectangle = object.Optional("rectangle")) {
    fixture.Samples = readRectangle(rectangle->Object(), movie, budget);
  }
}

void readLamps(const TPatchObject& object, const TMovieShape& movie, std::uint64_t budget, TFixture& fixture) {
  const auto layer = static_cast<std::int32_t>(object.Required("layer").Integer(0, INT32_MAX));
  const TPatchValue graphicValue = object.Required("graphic");
  const auto graphic = static_cast<std::int32_t>(graphicValue.Integer(0, INT32_MAX));
  const TLampGraphicShape* shape = movie.FindLampGraphic(layer, graphic);
  if (shape == nullptr) {
    graphicValue.Fail("layer " + std::to_string(layer) + " has no graphic " + std::to_string(graphic) + " with lamps");
  }
  checkBudget(graphicValue, static_cast<std::uint64_t>(std::max(shape->LampCount, 0)), budget);
  fixture.Layer = layer;
  fixture.Graphic = graphic;
  fixture.LampCount = std::max(shape->LampCount, 0);
}

const std::vector<std::string_view> kCommonKeys = {"name", "source", "start", "colours", "brightness", "gamma"};

std::vector<std::string_view> keysOf(TFixtureSource source) {
  std::vector<std::string_view> keys = kCommonKeys;
  switch (source) {
    case TFixtureSource::Grid:
      keys.insert(keys.end(), {"layer", "rows", "columns", "order", "serpentine"});
      break;
    case TFixtureSource::Pixels:
      keys.insert(keys.end(), {"points", "line", "rectangle"});
      break;
    case TFixtureSource::Lamps:
      keys.insert(keys.end(), {"layer", "graphic"});
      break;
  }
  return keys;
}

void readLook(const TPatchObject& object, TFixture& fixture) {
  if (const auto name = object.Optional("name")) fixture.Name = name->String();
  if (const auto colours = object.Optional("colours")) {
    fixture.Colours = static_cast<TColourOrder>(
        colours->Choice({"RGB", "RBG", "GRB", "GBR", "BRG", "BGR", "intensity"}, "colours"));
  }
  if (const auto brightness = object.Optional("brightness")) fixture.Brightness = brightness->Number(0, 100);
  if (const auto gamma = object.Optional("gamma")) fixture.Gamma = gamma->Number(0.1, 10);
}

}  // namespace

TFixture ReadFixture(const TPatchObject& object, const TMovieShape& movie, std::uint64_t sampleBudget) {
  TFixture fixture;
  fixture.Source = static_cast<TFixtureSource>(object.Required("source").Choice({"grid", "pixels", "lamps"}, "source"));
  object.OnlyKeys(keysOf(fixture.Source));
  readLook(object, fixture);
  const TPatchValue start = object.Required("start");
  fixture.First = static_cast<std::uint32_t>(start.Integer(1, kMaxChannels) - 1);
  switch (fixture.Source) {
    case TFixtureSource::Grid:
      readGrid(object, movie, sampleBudget, fixture);
      break;
    case TFixtureSource::Pixels:
      readPixels(object, movie, sampleBudget, fixture);
      break;
    case TFixtureSource::Lamps:
      readLamps(object, movie, sampleBudget, fixture);
      break;
  }
  if (std::uint64_t{fixture.First} + fixture.ChannelCount() > kMaxChannels) {
    start.Fail("its " + std::to_string(fixture.ChannelCount()) + " channels run past channel " +
               std::to_string(kMaxChannels));
  }
  return fixture;
}

}  // namespace lumora::output::patch

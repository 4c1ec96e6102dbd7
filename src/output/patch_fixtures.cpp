#include <algorithm>
#include <string>

#include "output/patch_parts_p.h"

namespace lumora::output::patch {

namespace {

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

// The i-th of count evenly spaced values from a to b, rounded to nearest.
std::int32_t evenlySpaced(std::int32_t a, std::int32_t b, std::int64_t i, std::int64_t count) {
  if (count < 2) return a;
  const std::int64_t span = (std::int64_t{b} - a) * i;
  const std::int64_t d = count - 1;
  const std::int64_t rounded = span >= 0 ? (2 * span + d) / (2 * d) : -((-2 * span + d) / (2 * d));
  return static_cast<std::int32_t>(a + rounded);
}

void readScanOrder(const TPatchObject& object, TFixtureDefinition& fixture) {
  if (const auto order = object.Optional("order")) {
    fixture.Order = static_cast<TScanOrder>(order->Choice({"rows", "columns"}, "order"));
  }
  if (const auto serpentine = object.Optional("serpentine")) fixture.Serpentine = serpentine->Boolean();
}

std::optional<std::pair<std::int32_t, std::int32_t>> readCellRange(const TPatchObject& object, const char* key) {
  const auto value = object.Optional(key);
  if (!value) return std::nullopt;
  const auto [first, last] = value->Range(0, INT32_MAX);
  return std::pair(static_cast<std::int32_t>(first), static_cast<std::int32_t>(last));
}

void readGrid(const TPatchObject& object, TFixtureDefinition& fixture) {
  fixture.Look.Layer = static_cast<std::int32_t>(object.Required("layer").Integer(0, INT32_MAX));
  fixture.Rows = readCellRange(object, "rows");
  fixture.Columns = readCellRange(object, "columns");
  readScanOrder(object, fixture);
}

TPoint readPoint(const TPatchValue& value) { return value.Point(INT32_MIN, INT32_MAX); }

void readPixels(const TPatchObject& object, TFixtureDefinition& fixture) {
  const int shapes = int{object.Has("points")} + int{object.Has("line")} + int{object.Has("rectangle")};
  if (shapes != 1) object.Fail("pixels need exactly one of \"points\", \"line\" or \"rectangle\"");
  if (const auto points = object.Optional("points")) {
    fixture.Shape = TPixelShape::Points;
    const std::size_t count = points->Count();
    fixture.Points.reserve(count);
    for (std::size_t i = 0; i < count; ++i) fixture.Points.push_back(readPoint(points->At(i)));
  } else if (const auto line = object.Optional("line")) {
    const TPatchObject l = line->Object();
    l.OnlyKeys({"from", "to", "count"});
    fixture.Shape = TPixelShape::Line;
    fixture.Points = {readPoint(l.Required("from")), readPoint(l.Required("to"))};
    fixture.Count = static_cast<std::int32_t>(l.Required("count").Integer(1, kMaxPatchSamples));
  } else {
    const TPatchObject r = object.Required("rectangle").Object();
    r.OnlyKeys({"from", "to", "columns", "rows", "order", "serpentine"});
    fixture.Shape = TPixelShape::Rectangle;
    fixture.Points = {readPoint(r.Required("from")), readPoint(r.Required("to"))};
    fixture.ShapeColumns = static_cast<std::int32_t>(r.Required("columns").Integer(1, kMaxPatchSamples));
    fixture.ShapeRows = static_cast<std::int32_t>(r.Required("rows").Integer(1, kMaxPatchSamples));
    readScanOrder(r, fixture);
  }
}

void readLamps(const TPatchObject& object, TFixtureDefinition& fixture) {
  fixture.Look.Layer = static_cast<std::int32_t>(object.Required("layer").Integer(0, INT32_MAX));
  fixture.Look.Graphic = static_cast<std::int32_t>(object.Required("graphic").Integer(0, INT32_MAX));
}

const std::vector<std::string_view> kCommonKeys = {"name", "source", "movie", "start", "colours", "brightness", "gamma"};

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

void readLook(const TPatchObject& object, TFixtureDefinition& fixture) {
  TFixture& look = fixture.Look;
  if (const auto name = object.Optional("name")) look.Name = name->String();
  if (const auto movie = object.Optional("movie")) {
    fixture.Movie = movie->String();
    if (fixture.Movie.empty() || fixture.Movie.find('/') != std::string::npos) {
      movie->Fail("must be the file name of a movie, without a folder");
    }
  }
  if (const auto colours = object.Optional("colours")) {
    look.Colours = static_cast<TColourOrder>(
        colours->Choice({"RGB", "RBG", "GRB", "GBR", "BRG", "BGR", "intensity"}, "colours"));
  }
  if (const auto brightness = object.Optional("brightness")) look.Brightness = brightness->Number(0, 100);
  if (const auto gamma = object.Optional("gamma")) look.Gamma = gamma->Number(0.1, 10);
}

// Binding: what the fixture names, checked against the movie. Each failure
// names the place in the patch as reading it would have.
class TBinder {
 public:
  TBinder(const TFixtureDefinition& fixture, const TMovieShape& movie, const std::string& source,
          std::uint64_t budget)
      : fFixture(fixture), fMovie(movie), fSource(source), fBudget(budget) {}

  TFixture Bind();

 private:
  [[noreturn]] void fail(const std::string& key, const std::string& what) const {
    FailAt(fSource, fFixture.Path + key, what);
  }
  void checkBudget(const std::string& key, std::uint64_t count) const;
  std::pair<std::int32_t, std::int32_t> cellRange(const char* key, std::int32_t size) const;
  TPoint moviePoint(const std::string& key, TPoint p) const;
  void bindGrid(TFixture& fixture) const;
  void bindPixels(TFixture& fixture) const;
  void bindLamps(TFixture& fixture) const;

  const TFixtureDefinition& fFixture;
  const TMovieShape& fMovie;
  const std::string& fSource;
  std::uint64_t fBudget;
};

void TBinder::checkBudget(const std::string& key, std::uint64_t count) const {
  if (count > fBudget) {
    fail(key, "the fixtures sample more than " + std::to_string(kMaxPatchSamples) + " points, cells and lamps in all");
  }
}

std::pair<std::int32_t, std::int32_t> TBinder::cellRange(const char* key, std::int32_t size) const {
  const auto& range = std::string_view(key) == "rows" ? fFixture.Rows : fFixture.Columns;
  if (!range) return {0, size - 1};
  const auto [first, last] = *range;
  if (first >= size || last >= size) {
    fail("." + std::string(key) + (first >= size ? "[0]" : "[1]"),
         "must be a whole number from 0 to " + std::to_string(size - 1));
  }
  return *range;
}

TPoint TBinder::moviePoint(const std::string& key, TPoint p) const {
  if (p.X < 0 || p.Y < 0 || p.X >= fMovie.Width || p.Y >= fMovie.Height) {
    fail(key, "point (" + std::to_string(p.X) + ", " + std::to_string(p.Y) + ") lies outside the movie's " +
                  std::to_string(fMovie.Width) + " × " + std::to_string(fMovie.Height) + " pixels");
  }
  return p;
}

void TBinder::bindGrid(TFixture& fixture) const {
  const auto layers = static_cast<std::int64_t>(fMovie.GridLayers.size());
  if (fixture.Layer >= layers) {
    fail(".layer", "the movie has no grid layer " + std::to_string(fixture.Layer) + " (it has " +
                       (layers == 0 ? std::string("none") : std::to_string(layers)) + ")");
  }
  const TGridLayerShape& shape = fMovie.GridLayers[static_cast<std::size_t>(fixture.Layer)];
  if (shape.Rows <= 0 || shape.Columns <= 0) fail(".layer", "grid layer " + std::to_string(fixture.Layer) + " has no cells");
  const auto rows = cellRange("rows", shape.Rows);
  const auto columns = cellRange("columns", shape.Columns);
  const TScan scan{columns.second - columns.first + 1, rows.second - rows.first + 1, fFixture.Order, fFixture.Serpentine};
  checkBudget(".layer", std::uint64_t(scan.Columns) * std::uint64_t(scan.Rows));
  fixture.Samples = scanCells(scan);
  for (TPoint& cell : fixture.Samples) {
    cell.X += columns.first;
    cell.Y += rows.first;
  }
}

void TBinder::bindPixels(TFixture& fixture) const {
  const TPoints& points = fFixture.Points;
  switch (fFixture.Shape) {
    case TPixelShape::Points:
      checkBudget(".points", points.size());
      for (std::size_t i = 0; i < points.size(); ++i) moviePoint(".points[" + std::to_string(i) + "]", points[i]);
      fixture.Samples = points;
      return;
    case TPixelShape::Line: {
      const TPoint from = moviePoint(".line.from", points[0]);
      const TPoint to = moviePoint(".line.to", points[1]);
      checkBudget(".line.count", static_cast<std::uint64_t>(fFixture.Count));
      fixture.Samples.reserve(static_cast<std::size_t>(fFixture.Count));
      for (std::int64_t i = 0; i < fFixture.Count; ++i) {
        fixture.Samples.push_back({evenlySpaced(from.X, to.X, i, fFixture.Count), evenlySpaced(from.Y, to.Y, i, fFixture.Count)});
      }
      return;
    }
    case TPixelShape::Rectangle: {
      const TPoint from = moviePoint(".rectangle.from", points[0]);
      const TPoint to = moviePoint(".rectangle.to", points[1]);
      const TScan scan{fFixture.ShapeColumns, fFixture.ShapeRows, fFixture.Order, fFixture.Serpentine};
      checkBudget(".rectangle.rows", std::uint64_t(scan.Columns) * std::uint64_t(scan.Rows));
      fixture.Samples = scanCells(scan);
      for (TPoint& p : fixture.Samples) {
        p = {evenlySpaced(from.X, to.X, p.X, scan.Columns), evenlySpaced(from.Y, to.Y, p.Y, scan.Rows)};
      }
      return;
    }
  }
}

void TBinder::bindLamps(TFixture& fixture) const {
  const TLampGraphicShape* shape = fMovie.FindLampGraphic(fixture.Layer, fixture.Graphic);
  if (shape == nullptr) {
    fail(".graphic", "layer " + std::to_string(fixture.Layer) + " has no graphic " + std::to_string(fixture.Graphic) +
                         " with lamps");
  }
  checkBudget(".graphic", static_cast<std::uint64_t>(std::max(shape->LampCount, 0)));
  fixture.LampCount = std::max(shape->LampCount, 0);
}

TFixture TBinder::Bind() {
  TFixture fixture = fFixture.Look;
  switch (fixture.Source) {
    case TFixtureSource::Grid:
      bindGrid(fixture);
      break;
    case TFixtureSource::Pixels:
      bindPixels(fixture);
      break;
    case TFixtureSource::Lamps:
      bindLamps(fixture);
      break;
  }
  if (std::uint64_t{fixture.First} + fixture.ChannelCount() > kMaxChannels) {
    fail(".start", "its " + std::to_string(fixture.ChannelCount()) + " channels run past channel " +
                       std::to_string(kMaxChannels));
  }
  return fixture;
}

}  // namespace

TFixtureDefinition ReadFixture(const TPatchObject& object) {
  TFixtureDefinition fixture;
  fixture.Path = object.Path();
  TFixture& look = fixture.Look;
  look.Source = static_cast<TFixtureSource>(object.Required("source").Choice({"grid", "pixels", "lamps"}, "source"));
  object.OnlyKeys(keysOf(look.Source));
  readLook(object, fixture);
  look.First = static_cast<std::uint32_t>(object.Required("start").Integer(1, kMaxChannels) - 1);
  switch (look.Source) {
    case TFixtureSource::Grid:
      readGrid(object, fixture);
      break;
    case TFixtureSource::Pixels:
      readPixels(object, fixture);
      break;
    case TFixtureSource::Lamps:
      readLamps(object, fixture);
      break;
  }
  return fixture;
}

TFixture BindFixture(const TFixtureDefinition& fixture, const TMovieShape& movie, const std::string& source,
                     std::uint64_t sampleBudget) {
  return TBinder(fixture, movie, source, sampleBudget).Bind();
}

}  // namespace lumora::output::patch

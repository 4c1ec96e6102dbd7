#include "output/channel_map.h"

#include <algorithm>
#include <array>

#include "render/color32.h"

namespace lumora::output {

namespace {

// Which component (0 red, 1 green, 2 blue) each channel of a sample takes.
constexpr std::array<std::array<std::uint8_t, 3>, 6> kComponentOrder = {{
    {0, 1, 2},  // RGB
    {0, 2, 1},  // RBG
    {1, 0, 2},  // GRB
    {1, 2, 0},  // GBR
    {2, 0, 1},  // BRG
    {2, 1, 0},  // BGR
}};

// Writes the sample's channels: the components in the fixture's order, or
// the brightest of them for one intensity channel, through the levels.
inline std::uint8_t* writeSample(std::uint8_t* out, TColor32 colour, TColourOrder order, const TLevelTable& levels) {
  const std::array<std::uint8_t, 3> rgb = {RedComponent(colour), GreenComponent(colour), BlueComponent(colour)};
  if (order == TColourOrder::Intensity) {
    *out = levels[std::max({rgb[0], rgb[1], rgb[2]})];
    return out + 1;
  }
  const std::array<std::uint8_t, 3>& component = kComponentOrder[static_cast<std::size_t>(order)];
  out[0] = levels[rgb[component[0]]];
  out[1] = levels[rgb[component[1]]];
  out[2] = levels[rgb[component[2]]];
  return out + 3;
}

// The pixel under a point of the bitmap; black outside it or without one.
inline TColor32 pixelAt(const TBitmap32* bitmap, std::int64_t x, std::int64_t y) {
  if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->Width() || y >= bitmap->Height()) return 0;
  return bitmap->ReadPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
}

}  // namespace

TChannelMap::TChannelMap(std::vector<TFixture> fixtures, std::uint32_t channelCount) : fChannelCount(channelCount) {
  fFixtures.reserve(fixtures.size());
  for (TFixture& fixture : fixtures) {
    const TLevelTable levels = MakeLevelTable(fixture.Brightness, fixture.Gamma);
    fFixtures.push_back({std::move(fixture), levels});
  }
}

void TChannelMap::Fill(const TFrameView& frame, std::vector<std::uint8_t>& channels) {
  channels.resize(fChannelCount);
  std::fill(channels.begin(), channels.end(), std::uint8_t{0});
  for (const TPatchedFixture& patched : fFixtures) {
    std::uint8_t* out = channels.data() + patched.Fixture.First;
    switch (patched.Fixture.Source) {
      case TFixtureSource::Grid:
        fillGrid(patched, frame.Grid, out);
        break;
      case TFixtureSource::Pixels:
        fillPixels(patched, frame, out);
        break;
      case TFixtureSource::Lamps:
        fillLamps(patched, frame, out);
        break;
    }
  }
}

void TChannelMap::fillGrid(const TPatchedFixture& patched, const TGridCells* grid, std::uint8_t* out) const {
  const TFixture& fixture = patched.Fixture;
  const std::int32_t rows = grid != nullptr ? grid->Rows(fixture.Layer) : 0;
  const std::int32_t columns = grid != nullptr ? grid->Columns(fixture.Layer) : 0;
  for (const TPoint& cell : fixture.Samples) {
    const bool inside = cell.Y < rows && cell.X < columns;
    const TColor32 colour = inside ? Color32FromWinColor(grid->CellColor(fixture.Layer, cell.Y, cell.X)) : 0;
    out = writeSample(out, colour, fixture.Colours, patched.Levels);
  }
}

void TChannelMap::fillPixels(const TPatchedFixture& patched, const TFrameView& frame, std::uint8_t* out) const {
  const TFixture& fixture = patched.Fixture;
  for (const TPoint& point : fixture.Samples) {
    const TColor32 colour = pixelAt(frame.Bitmap, std::int64_t{point.X} + frame.Offset.X, std::int64_t{point.Y} + frame.Offset.Y);
    out = writeSample(out, colour, fixture.Colours, patched.Levels);
  }
}

void TChannelMap::fillLamps(const TPatchedFixture& patched, const TFrameView& frame, std::uint8_t* out) {
  const TFixture& fixture = patched.Fixture;
  fCentres.clear();
  if (frame.Lamps != nullptr) frame.Lamps->LampCentres(fixture.Layer, fixture.Graphic, fCentres);
  for (std::size_t i = 0; i < static_cast<std::size_t>(fixture.LampCount); ++i) {
    const TColor32 colour = i < fCentres.size() ? pixelAt(frame.Bitmap, fCentres[i].X, fCentres[i].Y) : 0;
    out = writeSample(out, colour, fixture.Colours, patched.Levels);
  }
}

}  // namespace lumora::output
